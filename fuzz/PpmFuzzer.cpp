// PBM, PGM and PPM files through libnetpbm.
#include "FuzzHarness.h"
#include "formats/PPMGraphic.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return pennacrow::fuzz::FuzzDecode(pennacrow::TPPMGraphic::ClassInfo, data, size);
}
