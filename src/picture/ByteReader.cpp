#include "picture/ByteReader.h"

namespace pennacrow {

std::vector<TRGBQuad> GreyPalette() {
  std::vector<TRGBQuad> palette(256);
  for (int i = 0; i < 256; ++i) {
    const auto v = static_cast<std::uint8_t>(i);
    palette[static_cast<std::size_t>(i)] = RGB(v, v, v);
  }
  return palette;
}

}  // namespace pennacrow
