#pragma once
// The one place that decides whether a picture is too large to hold in memory.
// Every decoder, ours and the library wrappers, asks here before it allocates pixels, so that a
// file declaring absurd dimensions is refused with a message instead of exhausting memory.
// The limits travel with the picture being decoded (TGraphic::Limits), never in a global, so
// that pictures decoded on several threads at once share nothing that changes.

#include <cstdint>
#include <string>

namespace pennacrow {

struct TPixelLimits {
  // 2^28 pixels (a 16384 x 16384 picture) and 1 GiB of pixel rows by default.
  std::uint64_t MaxPixels = std::uint64_t{1} << 28;
  std::uint64_t MaxBytes = std::uint64_t{1} << 30;
};

// No limit at all: for asking whether a header makes sense, whatever size it declares.
inline constexpr TPixelLimits kNoPixelLimits{~std::uint64_t{0}, ~std::uint64_t{0}};

// The largest picture file read: the byte limit of its rows and room for the headers, palettes
// and metadata a file may hold beside them.
std::uint64_t MaxPictureFileBytes(const TPixelLimits& limits);

// Bytes of one padded row: ((width x bits + 31) div 32) x 4, computed without overflow.
std::uint64_t RowLengthFor(std::uint64_t width, int bitsPerPixel);

// Throws EInvalidGraphicFormat naming the format, the size and the limit when a picture of
// width x height at bitsPerPixel is negative, overflowing or beyond the limits.
void CheckPictureSize(const TPixelLimits& limits, const std::string& format, std::int64_t width,
                      std::int64_t height, int bitsPerPixel);
// The same against the program's own limits.
void CheckPictureSize(const std::string& format, std::int64_t width, std::int64_t height,
                      int bitsPerPixel);

}  // namespace pennacrow
