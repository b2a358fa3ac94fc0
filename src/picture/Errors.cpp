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

std::string TruncatedMessage(const std::string& format) {
  return "无法加载图像，" + format + "图像文件不完整。";
}

std::string DamagedMessage(const std::string& format, const std::string& detail) {
  if (detail.empty()) return "无法加载图像，" + format + "图像数据已损坏。";
  return "无法加载图像，" + format + "图像数据已损坏（" + detail + "）。";
}

EInvalidGraphicFormat InvalidFormatError(const std::string& format) {
  return {TGraphicFault::NotThisFormat, InvalidFormatMessage(format)};
}

EInvalidGraphicFormat UnsupportedError(const std::string& format, const std::string& what) {
  return {TGraphicFault::Unsupported, UnsupportedMessage(format, what)};
}

EInvalidGraphicFormat InvalidPaletteError(const std::string& format) {
  return {TGraphicFault::BadPalette, InvalidPaletteMessage(format)};
}

EInvalidGraphicFormat TruncatedError(const std::string& format) {
  return {TGraphicFault::Truncated, TruncatedMessage(format)};
}

EInvalidGraphicFormat DamagedError(const std::string& format, const std::string& detail) {
  return {TGraphicFault::Damaged, DamagedMessage(format, detail)};
}

EInvalidGraphicFormat InvalidSizeError(const std::string& format, const std::string& size) {
  return {TGraphicFault::Damaged, "无法加载图像，" + format + "图像的尺寸 " + size + " 无效。"};
}

EInvalidGraphicFormat TooLargeError(const std::string& format, const std::string& size,
                                    std::uint64_t maxPixels, std::uint64_t maxBytes) {
  return {TGraphicFault::TooLarge, "无法加载图像，" + format + "图像的尺寸 " + size +
                                       " 超出限制（最多 " + std::to_string(maxPixels) +
                                       " 个像素、" + std::to_string(maxBytes) +
                                       " 字节的像素数据）。"};
}

EInvalidGraphicFormat PlaybackBudgetError(const std::string& format) {
  return {TGraphicFault::TooLarge, "无法加载图像，" + format + "图像的绘制量超出限制。"};
}

}  // namespace pennacrow
