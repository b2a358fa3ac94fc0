#include "formats/PixelRows.h"

namespace pennacrow {

void Expand2To4(std::uint8_t* row, std::uint32_t width) {
  for (std::uint32_t x = width; x-- > 0;) {
    const unsigned v = (row[x >> 2] >> (6 - 2 * (x & 3))) & 3;
    std::uint8_t& out = row[x >> 1];
    out = (x & 1) ? static_cast<std::uint8_t>((out & 0xF0) | v)
                  : static_cast<std::uint8_t>((out & 0x0F) | (v << 4));
  }
}

}  // namespace pennacrow
