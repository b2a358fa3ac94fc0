#include "picture/Errors.h"

namespace pennacrow {

std::string InvalidFormatMessage(const std::string& format) {
  return "无法加载图像，无效或非预期的" + format + "图像格式。";
}

std::string UnsupportedMessage(const std::string& format, const std::string& what) {
  return "无法加载图像，不支持" + format + "的" + what + "。";
}

std::string InvalidPaletteMessage(const std::string& format) {
  return "无法加载图像，文件" + format + "的调色板为无效。";
}

}  // namespace pennacrow
