#pragma once
// TMetafile: Windows metafiles (wmf, emf), played into a 24-bit working bitmap of their size
// through the fallback path. The player draws the basic records (pens, brushes, lines,
// polygons, rectangles, ellipses) and skips the rest, text included.

#include "picture/Bitmap.h"

namespace pennacrow {

class TMetafile : public TGraphic {
 public:
  static const TGraphicClass ClassInfo;
  const TGraphicClass& ClassType() const override { return ClassInfo; }

  void LoadFromBytes(std::span<const std::uint8_t> data) override;
  int Width() const override { return FImage.Width(); }
  int Height() const override { return FImage.Height(); }
  // Draws what the records painted; where nothing was drawn the canvas stays as it was.
  void Draw(TBitmap& canvas) const override;

  const TBitmap& Image() const { return FImage; }

 private:
  TBitmap FImage;  // the played picture, 32-bit, alpha 0 where nothing was drawn
};

}  // namespace pennacrow
