#pragma once
// TIcon: Windows icons. An icon is not a bitmap: it loads through the fallback path, drawn at
// (0, 0) onto a 24-bit working bitmap with its transparent pixels showing what was underneath.

#include "picture/Bitmap.h"

namespace pennacrow {

class TIcon : public TGraphic {
 public:
  static const TGraphicClass ClassInfo;
  const TGraphicClass& ClassType() const override { return ClassInfo; }

  void LoadFromBytes(std::span<const std::uint8_t> data) override;
  int Width() const override { return FImage.Width(); }
  int Height() const override { return FImage.Height(); }
  void Draw(TBitmap& canvas) const override;

 private:
  TBitmap FImage;              // 32-bit, alpha 0 where the icon is transparent
};

}  // namespace pennacrow
