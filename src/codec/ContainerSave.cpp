#include "codec/ContainerSave.h"
#include "base/Translate.h"

#include "codec/Container.h"
#include "picture/PictureRows.h"

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

std::string VerifySavedContainer(const TBitmap& saved, const std::string& fileName,
                                 const TFileFormatsList& formats,
                                 const TGraphicClass* pictureClass) {
  const std::optional<THiddenText> expected = FindHiddenText(saved);
  if (!expected) return {};
  const std::string wayOut = Tr("要保留隐藏的文本，请保存为 BMP 文件。");
  // Only the rows the container occupies are read back: the check then costs what the
  // container costs, not a second copy of the picture.
  TPictureFileRows reloaded(formats, fileName, pictureClass);
  try {
    ContainerRows(reloaded, expected->Format);
  } catch (const std::exception& e) {
    return TrF("保存的文件没有保住隐藏的文本：无法读回这个文件（%1）。", {e.what()}) + wayOut;
  }
  const std::optional<THiddenText> found = FindHiddenText(reloaded);
  const TBitmap& back = reloaded.Rows(1);
  if (found == expected) return {};
  std::string reason = Tr("读回的隐藏文本与图片中的不一致。");
  if (back.BitsPerPixel() != saved.BitsPerPixel()) {
    reason = TrF("保存时图片从 %1 位转换成了 %2 位，存放隐藏文本的字节已经改变。",
                 {std::to_string(saved.BitsPerPixel()), std::to_string(back.BitsPerPixel())});
  }
  return TrF("保存的文件没有保住隐藏的文本：%1", {reason}) + wayOut;
}

TWriteOptions ContainerCheckedWrite(const TBitmap& saved, const TFileFormatsList& formats) {
  TWriteOptions options;
  options.Check = [&saved, &formats](const std::string& written, const std::string& target) {
    const std::string problem = VerifySavedContainer(
        saved, written, formats, formats.ClassForExtension(ExtractExtension(target)));
    if (!problem.empty()) throw EPennacrowError(problem);
  };
  return options;
}

}  // namespace pennacrow
