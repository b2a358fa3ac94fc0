#pragma once
// TFractalProperties: what the picture control paints next, the region of the escape-time kinds
// and the iteration count. The kind is written only through ChangeFractalType, which also sets
// the iteration count a kind needs.

#include <cstdint>
#include <optional>

#include "picture/FractalTypes.h"

namespace pennacrow {

class TFractalProperties {
 public:
  TFractalTypes FractalType() const { return FFractalType; }
  // Nothing if value is the current kind. Between Mandelbrot and Julia the iteration count is
  // kept (the same region and depth suit both); any other change sets the count the new kind
  // needs: 4 ring passes for the moiré, 16 iterations for the escape-time kinds, 30000 points
  // for the chaos game and the iterated function systems.
  void ChangeFractalType(TFractalTypes value);

  double X0 = -2.25;  // real part at the left edge
  double Y0 = -1.5;   // imaginary part at the top edge
  double X1 = 0.75;   // real part at the right edge
  double Y1 = 1.5;    // imaginary part at the bottom edge
  // Iteration limit (escape time), ring passes (moiré) or generated points (the rest).
  std::int32_t NumberOfIterations = 16;
  // How often a painter would let the window refresh while refreshing is on. The core paints
  // without refreshing, as the desktop program does; the field is kept as a setting.
  bool LineIncremental = true;

  // The random generator's state at the start of a chaos-game or IFS paint. Unset (as in the
  // desktop program) it comes from the time of day, so every paint differs; the command-line
  // tool and the tests set it to make a paint reproducible.
  std::optional<std::uint32_t> Seed;

 private:
  TFractalTypes FFractalType = ftMandelBrot;
};

// The iteration count that choosing a kind sets.
std::int32_t DefaultIterationsFor(TFractalTypes type);

}  // namespace pennacrow
