#pragma once
// TByteReader: reads the numbers of a file held in memory without ever stepping past its end.
// Every read that would cross the end raises EInvalidGraphicFormat with the message the decoder
// chose for a file that ends too early, so no decoder has to count bytes by hand.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>

#include "picture/Errors.h"

namespace pennacrow {

class TByteReader {
 public:
  TByteReader(std::span<const std::uint8_t> data, std::string truncatedMessage)
      : FData(data), FTruncated(std::move(truncatedMessage)) {}

  std::size_t Position() const { return FPos; }
  std::size_t Size() const { return FData.size(); }
  std::size_t Remaining() const { return FData.size() - FPos; }
  bool AtEnd() const { return FPos >= FData.size(); }

  void Seek(std::uint64_t position) {
    if (position > FData.size()) Fail();
    FPos = static_cast<std::size_t>(position);
  }
  void Skip(std::uint64_t count) {
    if (count > Remaining()) Fail();
    FPos += static_cast<std::size_t>(count);
  }
  std::span<const std::uint8_t> Bytes(std::uint64_t count) {
    if (count > Remaining()) Fail();
    const auto result = FData.subspan(FPos, static_cast<std::size_t>(count));
    FPos += static_cast<std::size_t>(count);
    return result;
  }

  std::uint8_t U8() { return Bytes(1)[0]; }
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

  [[noreturn]] void Fail() const { throw EInvalidGraphicFormat(FTruncated); }

 private:
  std::span<const std::uint8_t> FData;
  std::size_t FPos = 0;
  std::string FTruncated;
};

}  // namespace pennacrow
