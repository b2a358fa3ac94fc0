// Kodak Photo-CD base images. The smallest file (786,432 bytes) is far beyond the fuzzer's input
// length and its one picture size beyond the usual cap, so the input is repeated to a whole file
// and the cap raised to 768 x 512: the rows are decoded, not only the header checks.
#include "FuzzHarness.h"
#include "formats/PCDGraphic.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return pennacrow::fuzz::FuzzDecode(pennacrow::TPCDGraphic::ClassInfo, data, size,
                                     {.MaxPixels = 768 * 512, .ExpandTo = 786432});
}
