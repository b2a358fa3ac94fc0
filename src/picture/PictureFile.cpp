#include "picture/PictureFile.h"

namespace pennacrow {

namespace {
constexpr const char* kPictureFile = N_("图片文件");
}  // namespace

std::vector<std::uint8_t> ReadPictureFile(const std::string& fileName, bool allowStream,
                                          const TPixelLimits& limits) {
  const std::uint64_t maxBytes = MaxPictureFileBytes(limits);
  return allowStream ? ReadWholeFile(fileName, maxBytes, kPictureFile)
                     : ReadRegularFile(fileName, maxBytes, kPictureFile);
}

TPictureFile::TPictureFile(const std::string& fileName, const TPixelLimits& limits)
    : TFileReader(fileName, MaxPictureFileBytes(limits), kPictureFile) {}

}  // namespace pennacrow
