// Windows icons: the directory, then bitmap or PNG images.
#include "FuzzHarness.h"
#include "picture/Icon.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return pennacrow::fuzz::FuzzDecode(pennacrow::TIcon::ClassInfo, data, size);
}
