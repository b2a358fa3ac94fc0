#include "picture/PixelLimits.h"

#include "picture/Errors.h"

namespace pennacrow {

std::uint64_t MaxPictureFileBytes(const TPixelLimits& limits) {
  return limits.MaxBytes + (std::uint64_t{16} << 20);
}

std::uint64_t RowLengthFor(std::uint64_t width, int bitsPerPixel) {
  // 15-bit pixels are stored in 16-bit words.
  const std::uint64_t bits = bitsPerPixel == 15 ? 16 : static_cast<std::uint64_t>(bitsPerPixel);
  return ((width * bits + 31) / 32) * 4;
}

void CheckPictureSize(const TPixelLimits& limits, const std::string& format, std::int64_t width,
                      std::int64_t height, int bitsPerPixel) {
  const std::string size = std::to_string(width) + "x" + std::to_string(height);
  if (width < 0 || height < 0) {
    throw InvalidSizeError(format, size);
  }
  const auto w = static_cast<std::uint64_t>(width);
  const auto h = static_cast<std::uint64_t>(height);
  // Both factors fit in 31 bits in every caller, but a 64-bit product of two int64 can still
  // overflow, so compare by division first.
  const bool tooManyPixels = (w != 0 && h > limits.MaxPixels / w);
  const bool tooManyBytes =
      !tooManyPixels && w > 0 && h > 0 && RowLengthFor(w, bitsPerPixel) > limits.MaxBytes / h;
  if (tooManyPixels || tooManyBytes) {
    throw TooLargeError(format, size, limits.MaxPixels, limits.MaxBytes);
  }
}

void CheckPictureSize(const std::string& format, std::int64_t width, std::int64_t height,
                      int bitsPerPixel) {
  CheckPictureSize(TPixelLimits{}, format, width, height, bitsPerPixel);
}

}  // namespace pennacrow
