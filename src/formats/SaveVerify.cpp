#include "formats/SaveVerify.h"

#include "codec/Container.h"
#include "picture/PictureRows.h"

namespace pennacrow {

std::string VerifySavedContainer(const TBitmap& saved, const std::string& fileName,
                                 const TFileFormatsList& formats) {
  const std::optional<THiddenText> expected = FindHiddenText(saved);
  if (!expected) return {};
  const std::string wayOut = "要保留隐藏的文本，请保存为 BMP 文件。";
  // Only the rows the container occupies are read back: the check then costs what the
  // container costs, not a second copy of the picture.
  TPictureFileRows reloaded(formats, fileName);
  try {
    ContainerRows(reloaded, expected->Format);
  } catch (const std::exception& e) {
    return "保存的文件没有保住隐藏的文本：无法读回这个文件（" + std::string(e.what()) + "）。" +
           wayOut;
  }
  const std::optional<THiddenText> found = FindHiddenText(reloaded);
  const TBitmap& back = reloaded.Rows(1);
  if (found == expected) return {};
  std::string reason = "读回的隐藏文本与图片中的不一致。";
  if (back.BitsPerPixel() != saved.BitsPerPixel()) {
    reason = "保存时图片从 " + std::to_string(saved.BitsPerPixel()) + " 位转换成了 " +
             std::to_string(back.BitsPerPixel()) + " 位，存放隐藏文本的字节已经改变。";
  }
  return "保存的文件没有保住隐藏的文本：" + reason + wayOut;
}

}  // namespace pennacrow
