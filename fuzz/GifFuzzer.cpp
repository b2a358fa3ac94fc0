// The first frame of GIF files through giflib.
#include "FuzzHarness.h"
#include "formats/GIFImage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return pennacrow::fuzz::FuzzDecode(pennacrow::TGIFImage::ClassInfo, data, size);
}
