#pragma once
// TJPEGImage: JPEG/JFIF files through libjpeg. Not a bitmap itself: it decodes into a bitmap of
// its own, at full size, with block smoothing and the floating-point inverse transform.
// Colour files (YCbCr, RGB, CMYK, YCCK) give 24 bits; single-component (greyscale) files give
// 8 bits with a grey palette of kJpegGreyLevels entries.

#include "picture/Bitmap.h"

namespace pennacrow {

class TJPEGImage : public TGraphic {
 public:
  static const TGraphicClass ClassInfo;
  const TGraphicClass& ClassType() const override { return ClassInfo; }

  // Decodes at once, so that a damaged file is reported by the load itself and not swallowed
  // by the picture control's fallback to drawing.
  void LoadFromBytes(std::span<const std::uint8_t> data) override;
  // Reads the file as it decodes, holding no copy of it beside the bitmap.
  void LoadFromFile(const std::string& fileName) override;
  std::optional<int> LoadFirstRows(const std::string& fileName, int rowCount) override;
  int Width() const override { return FBitmap.Width(); }
  int Height() const override { return FBitmap.Height(); }
  const TBitmap* GetBitmap() override { return &FBitmap; }
  bool TakeBitmap(TBitmap& into) override {
    into = std::move(FBitmap);
    return true;
  }
  void Draw(TBitmap& canvas) const override { FBitmap.Draw(canvas); }

  bool Grayscale() const { return FBitmap.BitsPerPixel() == 8; }

 private:
  TBitmap FBitmap;
};

// A greyscale JPEG is shown with at most 236 grey levels, the colours an 8-bit display palette
// has left after the system's 20. The levels are spread evenly over 0 .. 255 (level i is
// round(i x 255 / 235)); a sample takes the nearest level, round(v x 235 / 255), so black and
// white stay exact and no two neighbouring samples differ by more than one level.
inline constexpr int kJpegGreyLevels = 236;
std::uint8_t JpegGreyIndex(std::uint8_t sample);

}  // namespace pennacrow
