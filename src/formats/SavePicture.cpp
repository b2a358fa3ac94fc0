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

bool SaveDropsAlpha(const TBitmap& bitmap, TSaveKind kind) {
  if (kind != TSaveKind::Png || bitmap.BitsPerPixel() != 32 || bitmap.Empty()) return false;
  const std::uint8_t first = bitmap.ConstRowAt(0)[3];
  // One alpha all over is transparency too, unless it is 0 (the unused fourth byte of a 32-bit
  // BMP) or 255 (opaque).
  if (first != 0 && first != 255) return true;
  for (int y = 0; y < bitmap.Height(); ++y) {
    const std::uint8_t* row = bitmap.ConstRowAt(y);
    for (int x = 0; x < bitmap.Width(); ++x) {
      if (row[4 * x + 3] != first) return true;
    }
  }
  return false;
}

}  // namespace pennacrow
