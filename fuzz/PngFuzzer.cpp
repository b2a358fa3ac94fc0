// PNG files through libpng.
#include "FuzzHarness.h"
#include "formats/PNGGraphic.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return pennacrow::fuzz::FuzzDecode(pennacrow::TPNGGraphic::ClassInfo, data, size);
}
