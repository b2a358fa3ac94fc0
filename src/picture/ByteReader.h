#pragma once
// TByteReader: what every hand-written decoder reads its file with, a cursor over bytes held in
// memory that never steps past their end. Running out of bytes is one failure with one message
// (the format's "file incomplete"), so no decoder counts bytes by hand or pads a short file with
// zeros and calls it a picture.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "picture/Bitmap.h"
#include "picture/Errors.h"

namespace pennacrow {

class TByteReader {
 public:
  // format names the file type in the truncation message ("PCX", "Kodak Photo-CD").
  TByteReader(std::span<const std::uint8_t> data, const std::string& format)
      : TByteReader(data, TruncatedError(format)) {}
  // For a part of a file whose end means something else, such as a palette cut short.
  TByteReader(std::span<const std::uint8_t> data, EInvalidGraphicFormat atEnd)
      : FData(data), FAtEnd(std::move(atEnd)) {}

  std::size_t Position() const { return FPos; }
  std::size_t Size() const { return FData.size(); }
  std::size_t Remaining() const { return FData.size() - FPos; }
  bool AtEnd() const { return FPos >= FData.size(); }

  // Moves to an absolute position; a position beyond the end is a truncated file.
  void Seek(std::uint64_t position) {
    if (position > FData.size()) Truncated();
    FPos = static_cast<std::size_t>(position);
  }
  void Skip(std::uint64_t count) { Bytes(count); }
  // The next count bytes, in place.
  std::span<const std::uint8_t> Bytes(std::uint64_t count) {
    if (count > Remaining()) Truncated();
    const auto result = FData.subspan(FPos, static_cast<std::size_t>(count));
    FPos += static_cast<std::size_t>(count);
    return result;
  }

  std::uint8_t U8() {
    if (FPos >= FData.size()) Truncated();
    return FData[FPos++];
  }
  std::uint16_t U16LE() {
    const auto b = Bytes(2);
    return static_cast<std::uint16_t>(b[0] | b[1] << 8);
  }
  std::uint16_t U16BE() {
    const auto b = Bytes(2);
    return static_cast<std::uint16_t>(b[0] << 8 | b[1]);
  }
  std::uint32_t U32LE() {
    const auto b = Bytes(4);
    return std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 | std::uint32_t{b[2]} << 16 |
           std::uint32_t{b[3]} << 24;
  }
  std::uint32_t U32BE() {
    const auto b = Bytes(4);
    return std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 |
           std::uint32_t{b[3]};
  }
  std::int16_t S16LE() { return static_cast<std::int16_t>(U16LE()); }
  std::int16_t S16BE() { return static_cast<std::int16_t>(U16BE()); }
  std::int32_t S32LE() { return static_cast<std::int32_t>(U32LE()); }

  [[noreturn]] void Truncated() const { throw FAtEnd; }

 private:
  std::span<const std::uint8_t> FData;
  EInvalidGraphicFormat FAtEnd;
  std::size_t FPos = 0;
};

// ceil(a / b) for the size checks, in 64 bits.
inline std::uint64_t CeilDiv(std::uint64_t a, std::uint64_t b) {
  return (a + b - 1) / b;
}

// Refuses a picture whose pixels the remaining bytes cannot possibly fill: `needed` is the least
// number of bytes that could encode it (the compression's best ratio already applied). Runs
// before the pixels are allocated, so that a tiny file cannot make us allocate a huge picture.
inline void RequireBytes(const TByteReader& in, std::uint64_t needed) {
  if (needed > in.Remaining()) in.Truncated();
}

// 256 grey levels, for grey pictures held as 8-bit indices.
std::vector<TRGBQuad> GreyPalette();

}  // namespace pennacrow
