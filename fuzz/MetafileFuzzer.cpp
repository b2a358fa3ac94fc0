// WMF and EMF metafiles, played back onto a bitmap.
#include "FuzzHarness.h"
#include "picture/Metafile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return pennacrow::fuzz::FuzzDecode(pennacrow::TMetafile::ClassInfo, data, size);
}
