#include "formats/SavePicture.h"

#include "formats/PngWriter.h"

namespace pennacrow {

TSaveKind SaveKindFor(const std::string& fileName) {
  const std::string extension = UpperAscii(ExtractExtension(fileName));
  if (extension == "BMP") return TSaveKind::Bmp;
  if (extension == "PNG") return TSaveKind::Png;
  return TSaveKind::None;
}

TSaveKind SavePictureFile(TFractalImage& picture, const std::string& fileName) {
  const TSaveKind kind = SaveKindFor(fileName);
  if (kind == TSaveKind::Bmp) picture.SaveToFile(fileName);
  if (kind == TSaveKind::Png) SaveAsPNG(picture.PictureBitmap(), fileName);
  return kind;
}

}  // namespace pennacrow
