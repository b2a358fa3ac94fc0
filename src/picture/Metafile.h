#pragma once
// TMetafile: Windows metafiles (wmf, emf), played into a 24-bit working bitmap of their size
// through the fallback path.

#include "picture/Bitmap.h"

namespace pennacrow {

class TMetafile : public TGraphic {
 public:
  static const TGraphicClass ClassInfo;
  const TGraphicClass& ClassType() const override { return ClassInfo; }

  void LoadFromBytes(std::span<const std::uint8_t> data) override;
  int Width() const override { return FImage.Width(); }
  int Height() const override { return FImage.Height(); }
  void Draw(TBitmap& canvas) const override;

 private:
  TBitmap FImage;  // the played picture, 32-bit, alpha 0 where nothing was drawn
};

}  // namespace pennacrow
