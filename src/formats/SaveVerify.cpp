#include "formats/SaveVerify.h"

#include "codec/Container.h"
#include "picture/FractalImage.h"

namespace pennacrow {

std::optional<THiddenText> ReadHiddenText(const TBitmap& bitmap) {
  const std::uint8_t probed = DetectDataFormat(&bitmap);
  if (probed != kFormatPlain && probed != kFormatEncrypted && probed != kFormatVersion1 &&
      probed != kFormatSealed) {
    return std::nullopt;
  }
  THiddenText hidden;
  hidden.Format = probed;
  try {
    hidden.Text = ReadContainer(bitmap, hidden.Format);
  } catch (const std::exception&) {
    return std::nullopt;
  }
  return hidden;
}

std::string VerifySavedContainer(const TBitmap& saved, const std::string& fileName,
                                 const TFileFormatsList& formats) {
  const std::optional<THiddenText> expected = ReadHiddenText(saved);
  if (!expected) return {};
  const std::string wayOut = "要保留隐藏的文本，请保存为 BMP 文件。";
  TFractalImage reloaded(formats);
  try {
    reloaded.LoadPictureFile(fileName);
  } catch (const std::exception& e) {
    return "保存的文件没有保住隐藏的文本：无法读回这个文件（" + std::string(e.what()) + "）。" +
           wayOut;
  }
  const TBitmap& back = reloaded.PictureBitmap();
  if (ReadHiddenText(back) == expected) return {};
  std::string reason = "读回的隐藏文本与图片中的不一致。";
  if (back.BitsPerPixel() != saved.BitsPerPixel()) {
    reason = "保存时图片从 " + std::to_string(saved.BitsPerPixel()) + " 位转换成了 " +
             std::to_string(back.BitsPerPixel()) + " 位，存放隐藏文本的字节已经改变。";
  }
  return "保存的文件没有保住隐藏的文本：" + reason + wayOut;
}

}  // namespace pennacrow
