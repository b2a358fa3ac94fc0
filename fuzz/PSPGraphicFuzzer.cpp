// Paint Shop Pro files, their blocks and compressed channels.
#include "FuzzHarness.h"
#include "formats/PSPGraphic.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return pennacrow::fuzz::FuzzDecode(pennacrow::TPSPGraphic::ClassInfo, data, size);
}
