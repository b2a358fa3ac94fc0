#include "formats/DecoderErrors.h"

namespace pennacrow {

std::string TruncatedMessage(const std::string& format) {
  return "无法加载图像，" + format + "图像文件不完整。";
}

std::string DamagedMessage(const std::string& format, const std::string& detail) {
  if (detail.empty()) return "无法加载图像，" + format + "图像数据已损坏。";
  return "无法加载图像，" + format + "图像数据已损坏（" + detail + "）。";
}

}  // namespace pennacrow
