// DOS EPS files and their TIFF preview.
#include "FuzzHarness.h"
#include "formats/EPSGraphic.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return pennacrow::fuzz::FuzzDecode(pennacrow::TEPSGraphic::ClassInfo, data, size);
}
