#include "formats/SavePicture.h"

#include "formats/PngWriter.h"

namespace pennacrow {

TSaveKind SaveKindFor(const std::string& fileName) {
  const std::string extension = UpperAscii(ExtractExtension(fileName));
  if (extension == "BMP") return TSaveKind::Bmp;
  if (extension == "PNG") return TSaveKind::Png;
  return TSaveKind::None;
}

std::string WithSaveExtension(const std::string& fileName, int chosenFilter) {
  if (!ExtractExtension(fileName).empty()) return fileName;
  return fileName + (chosenFilter == 1 ? ".png" : ".bmp");
}

std::string SaveNameFor(const std::string& fileName) {
  if (fileName.empty() || SaveKindFor(fileName) != TSaveKind::None) return fileName;
  const std::string extension = ExtractExtension(fileName);
  const bool dotted = !extension.empty() || fileName.back() == '.';
  const std::string stem =
      dotted ? fileName.substr(0, fileName.size() - extension.size() - 1) : fileName;
  return stem + ".bmp";
}

EEmptyPicture::EEmptyPicture() : EPennacrowError(Tr("图片是空的（0 × 0），没有可保存的内容")) {}

std::string UnsavableExtensionMessage(const std::string& fileName) {
  return TrF("无法保存为 %1：只能保存为位图（.bmp）或可移植的网络图片（.png）", {fileName});
}

TSaveKind SavePictureFile(TFractalImage& picture, const std::string& fileName,
                          const TWriteOptions& options) {
  const TSaveKind kind = SaveKindFor(fileName);
  if (kind == TSaveKind::None) return kind;
  if (picture.PictureWidth() == 0 || picture.PictureHeight() == 0) throw EEmptyPicture();
  if (kind == TSaveKind::Bmp) picture.SaveToFile(fileName, options);
  if (kind == TSaveKind::Png) SaveAsPNG(picture.PictureBitmap(), fileName, options);
  return kind;
}

std::vector<std::uint8_t> PictureFileBytes(TFractalImage& picture, TSaveKind kind) {
  if (picture.PictureWidth() == 0 || picture.PictureHeight() == 0) throw EEmptyPicture();
  if (kind == TSaveKind::Png) return PngBytes(picture.PictureBitmap());
  return picture.PictureBitmap().SaveToBytes();
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
  return TrF(
      "这幅图片是 %1 位的。保存为 PNG 时会转换为 24 位，图片里隐藏的文本将会丢失。\n"
      "要保留隐藏的文本，请保存为 BMP。\n\n仍然保存为 PNG 吗？",
      {std::to_string(bitmap.BitsPerPixel())});
}

}  // namespace pennacrow
