#include "picture/PrintFit.h"

#include <cmath>
#include <cstdlib>
#include <limits>

namespace pennacrow {

std::int32_t MulDiv(std::int32_t a, std::int32_t b, std::int32_t c) {
  if (c == 0) return -1;
  const std::int64_t product = std::int64_t{a} * b;
  std::int64_t quotient = product / c;
  const std::int64_t remainder = product % c;
  // |remainder| < |c| <= 2^31, so doubling it cannot overflow.
  if (2 * std::llabs(remainder) >= std::llabs(c)) quotient += ((product < 0) != (c < 0)) ? -1 : 1;
  if (quotient < std::numeric_limits<std::int32_t>::min() ||
      quotient > std::numeric_limits<std::int32_t>::max()) {
    return -1;
  }
  return static_cast<std::int32_t>(quotient);
}

std::optional<TPrintSize> FitToPage(std::int32_t pictureWidth, std::int32_t pictureHeight,
                                    std::int32_t pageWidth, std::int32_t pageHeight) {
  if (pictureWidth <= 0 || pictureHeight <= 0 || pageWidth <= 0 || pageHeight <= 0) {
    return std::nullopt;
  }
  const double pictureAspect = static_cast<double>(pictureWidth) / pictureHeight;
  const double pageAspect = static_cast<double>(pageWidth) / pageHeight;
  if (pictureAspect > pageAspect) {
    return TPrintSize{pageWidth, MulDiv(pictureHeight, pageWidth, pictureWidth)};
  }
  return TPrintSize{MulDiv(pictureWidth, pageHeight, pictureHeight), pageHeight};
}

TPrintSize ScalePrintSize(TPrintSize fitted, std::int32_t percent) {
  const auto scale = [percent](std::int32_t side) {
    // The product is an exact integer for every page and percent in use (below 2^53); only the
    // division rounds. Absurd percents saturate instead of overflowing.
    const double scaled = std::nearbyint(static_cast<double>(std::int64_t{side} * percent) / 100.0);
    if (scaled >= std::numeric_limits<std::int32_t>::max()) {
      return std::numeric_limits<std::int32_t>::max();
    }
    if (scaled <= std::numeric_limits<std::int32_t>::min()) {
      return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(scaled);
  };
  return {scale(fitted.Width), scale(fitted.Height)};
}

std::optional<TPrintSize> PrintTargetSize(std::int32_t pictureWidth, std::int32_t pictureHeight,
                                          std::int32_t pageWidth, std::int32_t pageHeight,
                                          std::int32_t percent) {
  const std::optional<TPrintSize> fitted =
      FitToPage(pictureWidth, pictureHeight, pageWidth, pageHeight);
  if (!fitted) return std::nullopt;
  return ScalePrintSize(*fitted, percent);
}

}  // namespace pennacrow
