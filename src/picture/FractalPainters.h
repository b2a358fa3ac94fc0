#pragma once
// The fractal painters. Each paints a whole bitmap of any depth pixel by pixel through
// TBitmap::SetPixel, so pixels outside the bitmap are dropped and a paletted bitmap takes the
// nearest entry of its own colour table. The bitmap's size is the size painted (the picture
// control resizes it to the control first).

#include <array>
#include <cstdint>

#include "picture/Bitmap.h"
#include "picture/FractalProperties.h"

namespace pennacrow {

// The 16 colours the painters use.
extern const std::array<TRGBQuad, 16> FractalPalette;
// FractalPalette[index]; any index outside 0 .. 15 gives white.
TRGBQuad GetFractalColor(int index);

// One affine map of an iterated function system: (x, y) -> (a x + b y + e, c x + d y + f),
// chosen with probability p.
struct TIFSMap {
  double a, b, c, d, e, f, p;
};
using TIFSTable = std::array<TIFSMap, 4>;
// Fern, leaf, curl and Koch, in the order of ftFern .. ftKoch.
extern const std::array<TIFSTable, 4> IFSTable;
// Cumulative thresholds out of 100: round(100 p1), then each adds round(100 pm).
std::array<int, 4> IFSThresholds(const TIFSTable& table);

enum class TEscapeTimeMode { Mandelbrot, Julia };

// Escape time over the region (X0, Y0) .. (X1, Y1) of the properties, the top-left pixel exactly
// at (X0, Y0), imaginary part growing downward. The colour is the escape step scaled to 16
// colours; points that do not escape within NumberOfIterations steps are black.
void DrawEscapeTime(TBitmap& bitmap, const TFractalProperties& properties, TEscapeTimeMode mode);

// Alternating black and white lines across the bitmap, then `passes` passes of rings over the
// square of side 2R + 1 around the centre (R = half the height).
void DrawMoire(TBitmap& bitmap, std::int32_t passes);

// The chaos game on a white bitmap: points - 1 black points.
void DrawSierpinski(TBitmap& bitmap, std::int32_t points, std::uint32_t seed);

// The iterated function system table (0 .. 3) on a white bitmap: points - 1 black points.
void DrawIFS(TBitmap& bitmap, int table, std::int32_t points, std::uint32_t seed);

// The painter of the properties' current kind. A chaos-game or IFS paint takes its seed from
// the properties, else from the time of day.
void DrawFractal(TBitmap& bitmap, const TFractalProperties& properties);

}  // namespace pennacrow
