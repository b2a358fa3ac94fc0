#pragma once
// What the hand-written decoders read their files with: a cursor over the file's bytes that
// never reads past the end. Running out of bytes is one failure with one message (the format's
// "file incomplete"), so no decoder ever pads a short file with zeros and calls it a picture.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "picture/Bitmap.h"

namespace pennacrow {

class TBoundedReader {
 public:
  TBoundedReader(std::span<const std::uint8_t> data, std::string format)
      : FData(data), FFormat(std::move(format)) {}

  std::size_t Position() const { return FPos; }
  std::size_t Remaining() const { return FData.size() - FPos; }
  std::size_t Size() const { return FData.size(); }

  // Moves to an absolute position; a position beyond the end is a truncated file.
  void Seek(std::uint64_t position);
  void Skip(std::uint64_t count);

  std::uint8_t U8() {
    if (FPos >= FData.size()) Truncated();
    return FData[FPos++];
  }
  std::uint16_t U16LE();
  std::uint16_t U16BE();
  std::uint32_t U32LE();
  std::uint32_t U32BE();
  // The next count bytes, in place.
  std::span<const std::uint8_t> Bytes(std::uint64_t count);

  [[noreturn]] void Truncated() const;

 private:
  std::span<const std::uint8_t> FData;
  std::string FFormat;
  std::size_t FPos = 0;
};

// ceil(a / b) for the size checks, in 64 bits.
inline std::uint64_t CeilDiv(std::uint64_t a, std::uint64_t b) {
  return (a + b - 1) / b;
}

// Refuses a picture whose pixels the remaining bytes cannot possibly fill: `needed` is the least
// number of bytes that could encode it (the compression's best ratio already applied). Runs
// before the pixels are allocated, so that a tiny file cannot make us allocate a huge picture.
void RequireBytes(const TBoundedReader& in, std::uint64_t needed);

// 256 grey levels, for grey pictures held as 8-bit indices.
std::vector<TRGBQuad> GreyPalette();

}  // namespace pennacrow
