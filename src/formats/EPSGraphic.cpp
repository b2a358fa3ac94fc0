#include "formats/EPSGraphic.h"
#include "base/Translate.h"

#include <algorithm>

#include "picture/Errors.h"

namespace pennacrow {

const TGraphicClass TEPSGraphic::ClassInfo{"TEPSGraphic", &TTIFFGraphic::ClassInfo, [] {
                                             return std::unique_ptr<TGraphic>(new TEPSGraphic);
                                           }};

namespace {

std::uint32_t LittleEndian32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t{p[3]} << 24);
}

// A DOS EPS binary file: C5 D0 D3 C6, then the offsets and lengths of the PostScript part
// (bytes 4 to 11), of a Windows metafile preview (12 to 19) and of a TIFF preview (20 to 27),
// then a checksum. Only the TIFF preview is shown, so a file must have one.
void CheckHeader(std::span<const std::uint8_t> data) {
  static const std::uint8_t kMagic[] = {0xC5, 0xD0, 0xD3, 0xC6};
  if (data.size() < 30 || !std::equal(std::begin(kMagic), std::end(kMagic), data.begin())) {
    throw InvalidFormatError("EPS");
  }
  if (LittleEndian32(data.data() + 20) == 0) {
    throw UnsupportedError("EPS", Tr("无 TIFF 预览的文件"));
  }
}

}  // namespace

bool TEPSGraphic::HeaderLooksValid(std::span<const std::uint8_t> head) {
  return ReadsWithoutRefusal([head] { CheckHeader(head); });
}

void TEPSGraphic::LoadFromBytes(std::span<const std::uint8_t> data) {
  CheckHeader(data);
  const std::uint64_t offset = LittleEndian32(data.data() + 20);
  std::uint64_t length = LittleEndian32(data.data() + 24);
  if (offset >= data.size()) throw TruncatedError("EPS");
  // A length of 0 is taken as "up to the end of the file".
  if (length == 0) length = data.size() - offset;
  if (offset + length > data.size()) throw TruncatedError("EPS");
  LoadTIFF(data.subspan(offset, length), "EPS");
}

}  // namespace pennacrow
