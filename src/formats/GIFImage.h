#pragma once
// TGIFImage: the first frame of a GIF file; giflib reads the records, our own LZW decoder the
// frame. A 1-bit frame stays 1-bit with the file's two colours; deeper frames are rendered at 24
// bits. A frame without any colour table shows its indices as grey levels. A frame with a
// transparent colour marks the bitmap transparent with that colour.

#include "picture/Bitmap.h"

namespace pennacrow {

class TGIFImage : public TGraphic {
 public:
  static const TGraphicClass ClassInfo;
  const TGraphicClass& ClassType() const override { return ClassInfo; }

  void LoadFromBytes(std::span<const std::uint8_t> data) override;
  int Width() const override { return FBitmap.Width(); }
  int Height() const override { return FBitmap.Height(); }
  const TBitmap* GetBitmap() override { return &FBitmap; }
  bool TakeBitmap(TBitmap& into) override {
    into = std::move(FBitmap);
    return true;
  }
  void Draw(TBitmap& canvas) const override { FBitmap.Draw(canvas); }

 private:
  TBitmap FBitmap;
};

}  // namespace pennacrow
