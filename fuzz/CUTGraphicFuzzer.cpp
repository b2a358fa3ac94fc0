// Dr. Halo CUT pictures, run-length rows of palette indices.
#include "FuzzHarness.h"
#include "formats/CUTGraphic.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return pennacrow::fuzz::FuzzDecode(pennacrow::TCUTGraphic::ClassInfo, data, size);
}
