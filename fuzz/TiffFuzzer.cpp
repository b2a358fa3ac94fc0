// TIFF files through libtiff.
#include "FuzzHarness.h"
#include "formats/TIFFGraphic.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return pennacrow::fuzz::FuzzDecode(pennacrow::TTIFFGraphic::ClassInfo, data, size);
}
