#pragma once
// Row conversions shared by the library-based decoders.

#include <cstdint>

namespace pennacrow {

// Widens a row of 2-bit pixels to 4-bit pixels in place. The row holds the 2-bit pixels at its
// start and is long enough for the 4-bit ones; it is rewritten right to left, so no pixel is
// overwritten before it has been read.
void Expand2To4(std::uint8_t* row, std::uint32_t width);

}  // namespace pennacrow
