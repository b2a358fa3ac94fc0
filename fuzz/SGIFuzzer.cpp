// SGI images, verbatim and run-length.
#include "FuzzHarness.h"
#include "formats/SGIGraphic.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return pennacrow::fuzz::FuzzDecode(pennacrow::TSGIGraphic::ClassInfo, data, size);
}
