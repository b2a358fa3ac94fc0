// JPEG files through libjpeg.
#include "FuzzHarness.h"
#include "formats/JPEGImage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return pennacrow::fuzz::FuzzDecode(pennacrow::TJPEGImage::ClassInfo, data, size);
}
