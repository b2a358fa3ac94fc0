#pragma once
// TIcon: Windows icons. An icon is not a bitmap: it loads through the fallback path, drawn at
// (0, 0) onto a 24-bit working bitmap with its transparent pixels showing what was underneath.

#include "picture/Bitmap.h"

namespace pennacrow {

class TIcon : public TGraphic {
 public:
  static const TGraphicClass ClassInfo;
  const TGraphicClass& ClassType() const override { return ClassInfo; }

  // Decodes the largest image of the file (the deepest among equally large ones). Images may be
  // device-independent bitmaps of 1, 4, 8, 24 or 32 bits with their AND mask, or PNG streams.
  void LoadFromBytes(std::span<const std::uint8_t> data) override;
  int Width() const override { return FImage.Width(); }
  int Height() const override { return FImage.Height(); }
  // Transparent pixels leave the canvas as it was; partly transparent ones are blended over it.
  void Draw(TBitmap& canvas) const override;

  // The decoded image, 32-bit, alpha 0 where the icon is transparent.
  const TBitmap& Image() const { return FImage; }

 private:
  TBitmap FImage;  // 32-bit, alpha 0 where the icon is transparent
};

}  // namespace pennacrow
