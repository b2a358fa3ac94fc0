#pragma once
// TByteReader: what every decoder reads its file with, ours and the library wrappers alike: a
// cursor over bytes held in memory or over a picture file read through a small buffer as the
// decoder goes, that never steps past their end. A format has one decode path over this reader,
// so every guard exists once and the fuzzers run what users run. Running out of bytes is one
// failure with one message (the format's "file incomplete"), so no decoder counts bytes by hand
// or pads a short file with zeros and calls it a picture.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "picture/Bitmap.h"
#include "picture/Errors.h"
#include "picture/PictureFile.h"

namespace pennacrow {

class TByteReader {
 public:
  // format names the file type in the truncation message ("PCX", "Kodak Photo-CD").
  TByteReader(std::span<const std::uint8_t> data, const std::string& format)
      : TByteReader(data, TruncatedError(format)) {}
  // For a part of a file whose end means something else, such as a palette cut short.
  TByteReader(std::span<const std::uint8_t> data, EInvalidGraphicFormat atEnd)
      : FWindow(data), FSize(data.size()), FAtEnd(std::move(atEnd)) {}
  // A file, read where the decoder reads: a whole load holds a buffer beside the bitmap, not the
  // file, and a read of the first rows reads little more than the bytes they take.
  TByteReader(const TPictureFile& file, const std::string& format)
      : TByteReader(file, TruncatedError(format)) {}
  TByteReader(const TPictureFile& file, EInvalidGraphicFormat atEnd);
  // A copy would hold a view of the other's buffer.
  TByteReader(const TByteReader&) = delete;
  TByteReader& operator=(const TByteReader&) = delete;
  TByteReader(TByteReader&&) = default;
  TByteReader& operator=(TByteReader&&) = default;

  std::uint64_t Position() const { return FPos; }
  std::uint64_t Size() const { return FSize; }
  std::uint64_t Remaining() const { return FSize - FPos; }
  bool AtEnd() const { return FPos >= FSize; }

  // Moves to an absolute position; a position beyond the end is a truncated file.
  void Seek(std::uint64_t position) {
    if (position > FSize) Truncated();
    FPos = position;
  }
  void Skip(std::uint64_t count) {
    if (count > Remaining()) Truncated();
    FPos += count;
  }
  // The next count bytes, in place; from a file they hold until the next read.
  std::span<const std::uint8_t> Bytes(std::uint64_t count) {
    if (count > Remaining()) Truncated();
    if (FPos < FWindowStart || FPos + count > FWindowStart + FWindow.size()) Fill(count);
    const auto result = FWindow.subspan(static_cast<std::size_t>(FPos - FWindowStart),
                                        static_cast<std::size_t>(count));
    FPos += count;
    return result;
  }
  // The next count bytes copied to out: a picture's rows go from the file straight into the
  // bitmap.
  void ReadInto(std::uint8_t* out, std::size_t count);

  // For libraries that pull their input: at most maxBytes of the next bytes, fewer where a
  // buffer ends, none at the end of the data.
  std::span<const std::uint8_t> Next(std::size_t maxBytes);
  // Exactly length bytes at offset, wherever the reader stands; false where the data ends first.
  bool ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t length) const;
  // A reader over length bytes from offset, which are its whole data (positions count from
  // there), with the same end error; a range past the end is a truncated file.
  TByteReader Part(std::uint64_t offset, std::uint64_t length) const;

  std::uint8_t U8() {
    if (FPos >= FWindowStart && FPos - FWindowStart < FWindow.size()) {
      return FWindow[static_cast<std::size_t>(FPos++ - FWindowStart)];
    }
    return Bytes(1)[0];
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
  // What the end of the data raises from here on, for a format that names the part it was in.
  void SetAtEnd(EInvalidGraphicFormat atEnd) { FAtEnd = std::move(atEnd); }

 private:
  // Reads the file from the current position into the buffer, at least count bytes.
  void Fill(std::uint64_t count);

  std::span<const std::uint8_t> FWindow;  // bytes held, from FWindowStart on
  std::uint64_t FWindowStart = 0;
  std::uint64_t FSize = 0;
  std::uint64_t FPos = 0;
  const TPictureFile* FFile = nullptr;
  std::uint64_t FFileStart = 0;  // where position 0 lies in the file
  std::vector<std::uint8_t> FBuffer;
  EInvalidGraphicFormat FAtEnd;
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

}  // namespace pennacrow
