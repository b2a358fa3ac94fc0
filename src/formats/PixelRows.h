#pragma once
// Row conversions shared by the library-based decoders.

#include <cstdint>

namespace pennacrow {

// Widens a row of 2-bit pixels to 4-bit pixels in place. The row holds the 2-bit pixels at its
// start and is long enough for the 4-bit ones; it is rewritten right to left, so no pixel is
// overwritten before it has been read.
void Expand2To4(std::uint8_t* row, std::uint32_t width);

// A 16-bit sample reduced to 8 bits, round(v x 255 / 65535).
inline std::uint8_t Scale16To8(std::uint32_t v) {
  return static_cast<std::uint8_t>((v * 255 + 32767) / 65535);
}

}  // namespace pennacrow
