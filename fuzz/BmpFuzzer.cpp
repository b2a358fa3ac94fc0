// BMP files, uncompressed, bit-field, RLE and OS/2, through TBitmap.
#include "FuzzHarness.h"
#include "picture/Bitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return pennacrow::fuzz::FuzzDecode(pennacrow::TBitmap::ClassInfo, data, size);
}
