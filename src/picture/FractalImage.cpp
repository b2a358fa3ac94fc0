#include "picture/FractalImage.h"

#include "picture/FractalPainters.h"

namespace pennacrow {

TBitmap& TFractalImage::PictureBitmap() {
  if (!FPicture) FPicture.emplace();
  return *FPicture;
}

namespace {

// The fallback of a load: resize in place (old pixels at the top left, new area white), convert
// to 24 bits, and draw the picture at (0, 0) so that transparent pixels show what was underneath.
void DrawGraphicInto(TGraphic& graphic, TBitmap& working) {
  working.SetSize(graphic.Width(), graphic.Height());
  working.SetBitsPerPixel(24);
  graphic.Draw(working);
}

// The bitmap a picture is or renders; nullptr when it has none or fails to decode its pixels
// now. A picture that decodes late reports damage here; it then gets the same treatment as a
// picture that cannot be copied, as the earlier program did.
const TBitmap* BitmapOf(TGraphic& graphic) {
  try {
    return graphic.GetBitmap();
  } catch (const std::exception&) {
    return nullptr;
  }
}

}  // namespace

void TFractalImage::LoadPictureFile(const std::string& fileName) {
  LoadGraphic(LoadGraphicFile(FFormats, fileName));
}

void TFractalImage::LoadPictureFileOver(const std::string& fileName,
                                        const TFractalImage& previous) {
  std::unique_ptr<TGraphic> graphic = LoadGraphicFile(FFormats, fileName);
  if (BitmapOf(*graphic) == nullptr && previous.FPicture) {
    PictureBitmap().Assign(*previous.FPicture);
  }
  LoadGraphic(std::move(graphic));
}

void TFractalImage::LoadGraphic(std::unique_ptr<TGraphic> graphic) {
  // The decoded picture dies with this call, so its bitmap is taken rather than copied; the
  // result is what CopyGraphicInto's Assign gives.
  if (graphic->TakeBitmap(PictureBitmap())) return;
  DrawGraphicInto(*graphic, PictureBitmap());
}

void CopyGraphicInto(TGraphic& graphic, TBitmap& working) {
  if (const TBitmap* bitmap = BitmapOf(graphic)) {
    working.Assign(*bitmap);
    return;
  }
  DrawGraphicInto(graphic, working);
}

void TFractalImage::SaveToFile(const std::string& fileName, const TWriteOptions& options) const {
  if (!FPicture) return;
  FPicture->SaveToFile(fileName, options);
}

void TFractalImage::SetActive(bool value) {
  if (value == FActive) return;
  FActive = value;
  if (value) PaintFractal();
}

void TFractalImage::TakePicture(TFractalImage& other) {
  FPicture = std::move(other.FPicture);
  other.FPicture.reset();
  FractalProperties = other.FractalProperties;
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
