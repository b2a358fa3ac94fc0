#pragma once
// The HILL cost of changing a sample of a picture (Li, Wang, Huang and Li, 2014): the residual of
// the high-pass filter
//     -1  2 -1
//      2 -4  2
//     -1  2 -1
// in magnitude, averaged over 3 × 3 samples, inverted, and averaged again over 15 × 15 samples.
// Changes then go where the texture is fine and busy, and stay out of smooth areas and off
// edges that a predictor would see through. Outside the picture every filter sees the picture
// mirrored at its border.

#include <cstddef>
#include <cstdint>

namespace pennacrow::adaptive {

// One 8-bit plane: sample (x, y) at First[y · RowStride + x · Step].
struct TPlane {
  const std::uint8_t* First = nullptr;
  int Width = 0;
  int Height = 0;
  std::ptrdiff_t RowStride = 0;
  std::ptrdiff_t Step = 1;
};

// Where the levels of a plane's costs go: level (x, y) at First[y · RowStride + x · Step].
struct TLevelPlane {
  std::uint8_t* First = nullptr;
  std::ptrdiff_t RowStride = 0;
  std::ptrdiff_t Step = 1;
};

// Writes the cost level (adaptive/PlusMinusOne.h) of changing each sample of the plane by one,
// whichever way, for the rows [firstRow, lastRow) (all of them by default); the costs take a
// few rows of working memory, not a copy of the plane, and parts of a plane can be costed at the
// same time.
void HillLevels(const TPlane& plane, const TLevelPlane& levels, int firstRow = 0, int lastRow = -1);

}  // namespace pennacrow::adaptive
