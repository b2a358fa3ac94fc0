// Autodesk Animator cels, 8-bit with their palette.
#include "FuzzHarness.h"
#include "formats/AutodeskGraphic.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return pennacrow::fuzz::FuzzDecode(pennacrow::TAutodeskGraphic::ClassInfo, data, size);
}
