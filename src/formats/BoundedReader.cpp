#include "formats/BoundedReader.h"

#include "formats/DecoderErrors.h"
#include "picture/Errors.h"

namespace pennacrow {

void TBoundedReader::Seek(std::uint64_t position) {
  if (position > FData.size()) Truncated();
  FPos = static_cast<std::size_t>(position);
}

void TBoundedReader::Skip(std::uint64_t count) {
  if (count > Remaining()) Truncated();
  FPos += static_cast<std::size_t>(count);
}

std::uint16_t TBoundedReader::U16LE() {
  const auto b = Bytes(2);
  return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}

std::uint16_t TBoundedReader::U16BE() {
  const auto b = Bytes(2);
  return static_cast<std::uint16_t>((b[0] << 8) | b[1]);
}

std::uint32_t TBoundedReader::U32LE() {
  const auto b = Bytes(4);
  return std::uint32_t{b[0]} | (std::uint32_t{b[1]} << 8) | (std::uint32_t{b[2]} << 16) |
         (std::uint32_t{b[3]} << 24);
}

std::uint32_t TBoundedReader::U32BE() {
  const auto b = Bytes(4);
  return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) |
         std::uint32_t{b[3]};
}

std::span<const std::uint8_t> TBoundedReader::Bytes(std::uint64_t count) {
  if (count > Remaining()) Truncated();
  const auto result = FData.subspan(FPos, static_cast<std::size_t>(count));
  FPos += static_cast<std::size_t>(count);
  return result;
}

void TBoundedReader::Truncated() const {
  throw EInvalidGraphicFormat(TruncatedMessage(FFormat));
}

void RequireBytes(const TBoundedReader& in, std::uint64_t needed) {
  if (needed > in.Remaining()) in.Truncated();
}

std::vector<TRGBQuad> GreyPalette() {
  std::vector<TRGBQuad> palette(256);
  for (int i = 0; i < 256; ++i) {
    const auto v = static_cast<std::uint8_t>(i);
    palette[static_cast<std::size_t>(i)] = RGB(v, v, v);
  }
  return palette;
}

}  // namespace pennacrow
