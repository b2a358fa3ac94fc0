#pragma once
// Messages of the library-based decoders beyond the shared ones in picture/Errors.h: a file that
// ends too early and one whose data the library rejects are different failures.

#include <string>

namespace pennacrow {

// "无法加载图像，<format>图像文件不完整。": the data ends before the picture does.
std::string TruncatedMessage(const std::string& format);
// "无法加载图像，<format>图像数据已损坏（<detail>）。": the library's own reason, in its words.
std::string DamagedMessage(const std::string& format, const std::string& detail);

}  // namespace pennacrow
