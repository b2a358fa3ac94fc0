#pragma once
// Whole rows of a bitmap read as colours, for the loops that visit every pixel (depth
// conversion, the screen image): the same colours GetPixel gives, without its per-pixel checks
// and mask arithmetic.

#include <cstdint>
#include <vector>

#include "picture/Bitmap.h"

namespace pennacrow {

class TRowColors {
 public:
  // The bitmap must outlive this reader and keep its depth, colour table and masks meanwhile.
  explicit TRowColors(const TBitmap& bitmap);
  // Colours of the bitmap's Width() pixels of row (one of its rows) into out.
  void Read(const std::uint8_t* row, TRGBQuad* out) const;

 private:
  const TBitmap& FBitmap;
  std::vector<TRGBQuad> FTable;           // colour of each index or 16-bit word
  const std::uint32_t* FMasks = nullptr;  // 16-bit words of a picture too small for the table
};

}  // namespace pennacrow
