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

#include "codec/Container.h"

namespace pennacrow {

namespace {
bool PngKeepsDepth(int bpp) {
  return bpp == 1 || bpp == 4 || bpp == 8 || bpp == 24;
}
}  // namespace

void PrepareCarrierForSave(TBitmap& carrier, TSaveKind kind) {
  if (kind == TSaveKind::Png && !PngKeepsDepth(carrier.BitsPerPixel())) carrier.SetBitsPerPixel(24);
}

bool PngSaveLosesContainer(const TBitmap& bitmap) {
  if (PngKeepsDepth(bitmap.BitsPerPixel())) return false;
  const std::uint8_t format = DetectDataFormat(&bitmap);
  return format == kFormatPlain || format == kFormatEncrypted || format == kFormatVersion1 ||
         format == kFormatSealed;
}

std::string PngLossWarning(const TBitmap& bitmap) {
  return "这幅图片是 " + std::to_string(bitmap.BitsPerPixel()) +
         " 位的。保存为 PNG 时会转换为 24 位，图片里隐藏的文本将会丢失。\n"
         "要保留隐藏的文本，请保存为 BMP。\n\n仍然保存为 PNG 吗？";
}

}  // namespace pennacrow
