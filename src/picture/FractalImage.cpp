#include "picture/FractalImage.h"

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

}  // namespace pennacrow
