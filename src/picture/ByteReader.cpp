#include "picture/ByteReader.h"

#include <algorithm>
#include <cstring>

namespace pennacrow {

namespace {

// Large enough that the system calls do not show beside the decoding; small beside a picture.
constexpr std::uint64_t kBufferBytes = 256 << 10;
// A read at least this large (a row of a photograph) goes from the file to its place at once.
constexpr std::size_t kDirectBytes = 4096;

}  // namespace

TByteReader::TByteReader(const TPictureFile& file, EInvalidGraphicFormat atEnd)
    : FSize(file.Size()), FFile(&file), FAtEnd(std::move(atEnd)) {}

void TByteReader::Fill(std::uint64_t count) {
  // Memory is all in the window; only a file gets here, and only for bytes inside its size.
  if (FFile == nullptr) Truncated();
  const auto length =
      static_cast<std::size_t>(std::min(std::max(count, kBufferBytes), Remaining()));
  FBuffer.resize(length);
  const std::size_t got = FFile->ReadSome(FFileStart + FPos, FBuffer.data(), length);
  FWindow = std::span<const std::uint8_t>(FBuffer).first(got);
  FWindowStart = FPos;
  if (got < count) Truncated();  // the file shrank since it was opened
}

void TByteReader::ReadInto(std::uint8_t* out, std::size_t count) {
  if (count > Remaining()) Truncated();
  // What the window holds is copied from there; the rest of a large read comes from the file
  // directly rather than through the buffer.
  if (FPos >= FWindowStart && FPos - FWindowStart < FWindow.size()) {
    const auto at = static_cast<std::size_t>(FPos - FWindowStart);
    const std::size_t held = std::min(count, FWindow.size() - at);
    if (held > 0) std::memcpy(out, FWindow.data() + at, held);
    out += held;
    count -= held;
    FPos += held;
  }
  if (count == 0) return;
  if (FFile == nullptr || count < kDirectBytes) {
    const auto part = Bytes(count);
    std::memcpy(out, part.data(), count);
    return;
  }
  if (!FFile->ReadInto(FFileStart + FPos, out, count)) Truncated();
  FPos += count;
}

std::span<const std::uint8_t> TByteReader::Next(std::size_t maxBytes) {
  const std::uint64_t count = std::min<std::uint64_t>(maxBytes, Remaining());
  if (count == 0) return {};
  if (FPos < FWindowStart || FPos >= FWindowStart + FWindow.size()) Fill(1);
  const auto at = static_cast<std::size_t>(FPos - FWindowStart);
  const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(count), FWindow.size() - at);
  FPos += n;
  return FWindow.subspan(at, n);
}

bool TByteReader::ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t length) const {
  if (offset > FSize || length > FSize - offset) return false;
  if (FFile != nullptr) return FFile->ReadInto(FFileStart + offset, out, length);
  if (length > 0) std::memcpy(out, FWindow.data() + offset, length);
  return true;
}

TByteReader TByteReader::Part(std::uint64_t offset, std::uint64_t length) const {
  if (offset > FSize || length > FSize - offset) Truncated();
  if (FFile == nullptr) {
    return TByteReader(
        FWindow.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(length)),
        FAtEnd);
  }
  TByteReader part(*FFile, FAtEnd);
  part.FFileStart = FFileStart + offset;
  part.FSize = length;
  return part;
}

}  // namespace pennacrow
