#include "picture/Errors.h"

#include "base/Translate.h"

namespace pennacrow {

std::string InvalidFormatMessage(const std::string& format) {
  return TrF("无法加载图像，无效或非预期的%1图像格式。", {format});
}

std::string UnsupportedMessage(const std::string& format, const std::string& what) {
  return TrF("无法加载图像，不支持%1的%2。", {format, what});
}

std::string InvalidPaletteMessage(const std::string& format) {
  return TrF("无法加载图像，文件%1的调色板为无效。", {format});
}

std::string TruncatedMessage(const std::string& format) {
  return TrF("无法加载图像，%1图像文件不完整。", {format});
}

std::string DamagedMessage(const std::string& format, const std::string& detail) {
  if (detail.empty()) return TrF("无法加载图像，%1图像数据已损坏。", {format});
  return TrF("无法加载图像，%1图像数据已损坏（%2）。", {format, detail});
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

EInvalidGraphicFormat LibraryDamagedError(const std::string& format,
                                          const std::string& englishDetail) {
  const bool english = CurrentLanguage() == TLanguage::English;
  return DamagedError(format, english ? englishDetail : std::string());
}

EInvalidGraphicFormat InvalidSizeError(const std::string& format, const std::string& size) {
  return {TGraphicFault::Damaged, TrF("无法加载图像，%1图像的尺寸 %2 无效。", {format, size})};
}

EInvalidGraphicFormat TooLargeError(const std::string& format, const std::string& size,
                                    std::uint64_t maxPixels, std::uint64_t maxBytes) {
  return {TGraphicFault::TooLarge,
          TrF("无法加载图像，%1图像的尺寸 %2 超出限制（最多 %3 个像素、%4 字节的像素数据）。",
              {format, size, std::to_string(maxPixels), std::to_string(maxBytes)})};
}

EInvalidGraphicFormat PlaybackBudgetError(const std::string& format, std::uint64_t budget) {
  return {TGraphicFault::TooLarge,
          TrF("无法加载图像，%1图像的记录和绘制超出了每个文件 %2 个单位的预算。",
              {format, std::to_string(budget)})};
}

}  // namespace pennacrow
