// PCX pictures, run-length planes of 1 to 24 bits.
#include "FuzzHarness.h"
#include "formats/PCXGraphic.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return pennacrow::fuzz::FuzzDecode(pennacrow::TPCXGraphic::ClassInfo, data, size);
}
