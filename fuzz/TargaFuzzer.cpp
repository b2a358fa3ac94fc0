// Targa pictures, every depth and origin, raw and run-length.
#include "FuzzHarness.h"
#include "formats/TargaGraphic.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return pennacrow::fuzz::FuzzDecode(pennacrow::TTargaGraphic::ClassInfo, data, size);
}
