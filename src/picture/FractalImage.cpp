#include "picture/FractalImage.h"

#include "picture/FractalPainters.h"

namespace pennacrow {

TBitmap& TFractalImage::PictureBitmap() {
  if (!FPicture) FPicture.emplace();
  return *FPicture;
}

void TFractalImage::LoadPictureFile(const std::string& fileName) {
  std::unique_ptr<TGraphic> graphic = LoadGraphicFile(FFormats, fileName);
  CopyGraphicInto(*graphic, PictureBitmap());
}

void CopyGraphicInto(TGraphic& graphic, TBitmap& working) {
  try {
    if (const TBitmap* bitmap = graphic.GetBitmap()) {
      working.Assign(*bitmap);
      return;
    }
  } catch (const std::exception&) {
    // A picture that decodes its pixels only now reports damage here; it then gets the same
    // treatment as a picture that cannot be copied, as the earlier program did.
  }
  // Fallback: resize in place (old pixels at the top left, new area white), convert to 24 bits,
  // and draw the picture at (0, 0) so that transparent pixels show what was underneath.
  working.SetSize(graphic.Width(), graphic.Height());
  working.SetBitsPerPixel(24);
  graphic.Draw(working);
}

void TFractalImage::SaveToFile(const std::string& fileName) const {
  if (!FPicture) return;
  FPicture->SaveToFile(fileName);
}

void TFractalImage::SetActive(bool value) {
  if (value == FActive) return;
  FActive = value;
  if (value) PaintFractal();
}

void TFractalImage::PaintFractal() {
  // The trigger must not stay stuck at true after a failed paint, or the next SetActive(true)
  // would paint nothing.
  struct TResetActive {
    bool& Active;
    ~TResetActive() { Active = false; }
  } resetActive{FActive};
  TBitmap& bitmap = PictureBitmap();
  if (bitmap.Width() == 0 && bitmap.Height() == 0) {
    // A build without a display fixes the depth of a new picture at 24 bits, so that it
    // survives a PNG save with its container.
    bitmap = TBitmap();
  }
  bitmap.SetSize(ControlWidth, ControlHeight);
  DrawFractal(bitmap, FractalProperties);
}

}  // namespace pennacrow
