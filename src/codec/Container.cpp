#include "codec/Container.h"

namespace pennacrow {

const char* const kWriteSucceeded = " 数据写入成功！           ";
const char* const kWriteFailed = " 数据写入失败！     ";
const char* const kReadSucceeded = " 自此图像读取数据成功！  ";
const char* const kReadFailed = " 自此图像读取数据失败！       ";

std::string DataFormatText(std::uint8_t) { return "无隐藏数据或格式未知   "; }
int Capacity(int width, int height) { return width * height / 8; }
std::string CapacityText(int width, int height) {
  return "数据大小：  " + std::to_string(Capacity(width, height));
}
std::uint8_t DetectDataFormat(const TBitmap*) { return kFormatProbeFailed; }
void AddBinaryToImage(TBitmap&, const std::string&) { throw EPennacrowError("未实现"); }
std::string RemoveBinaryFromImage(const TBitmap&, std::uint8_t&) { throw EPennacrowError("未实现"); }
std::string RemoveBinaryFromOldImage(const TBitmap&, std::uint8_t&) {
  throw EPennacrowError("未实现");
}

}  // namespace pennacrow
