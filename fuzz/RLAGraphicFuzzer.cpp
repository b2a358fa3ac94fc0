// Wavefront RLA files, run-length channels per scanline.
#include "FuzzHarness.h"
#include "formats/RLAGraphic.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return pennacrow::fuzz::FuzzDecode(pennacrow::TRLAGraphic::ClassInfo, data, size);
}
