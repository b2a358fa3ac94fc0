// Photoshop files, raw and PackBits channels.
#include "FuzzHarness.h"
#include "formats/PSDGraphic.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return pennacrow::fuzz::FuzzDecode(pennacrow::TPSDGraphic::ClassInfo, data, size);
}
