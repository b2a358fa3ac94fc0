#pragma once
// TJPEGImage: JPEG/JFIF files through libjpeg. Not a bitmap itself: it decodes into a bitmap of
// its own, at full size, with block smoothing and the floating-point inverse transform.
// Colour files give 24 bits; single-component (greyscale) files give 8 bits with a grey palette
// of 236 levels.

#include "picture/Bitmap.h"

namespace pennacrow {

class TJPEGImage : public TGraphic {
 public:
  static const TGraphicClass ClassInfo;
  const TGraphicClass& ClassType() const override { return ClassInfo; }

  // Decodes at once, so that a damaged file is reported by the load itself.
  void LoadFromBytes(std::span<const std::uint8_t> data) override;
  int Width() const override { return FBitmap.Width(); }
  int Height() const override { return FBitmap.Height(); }
  const TBitmap* GetBitmap() override { return &FBitmap; }
  void Draw(TBitmap& canvas) const override { FBitmap.Draw(canvas); }

  bool Grayscale() const { return FBitmap.BitsPerPixel() == 8; }

 private:
  TBitmap FBitmap;
};

}  // namespace pennacrow
