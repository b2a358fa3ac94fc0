#include "picture/Colour.h"

#include <cmath>
#include <stdexcept>

namespace pennacrow {

std::vector<TRGBQuad> GreyPalette(int bits, TGreyRamp order) {
  if (bits < 1 || bits > 8) throw std::logic_error("a grey palette has 1 to 8 bits");
  const int levels = 1 << bits;
  std::vector<TRGBQuad> palette(static_cast<std::size_t>(levels));
  for (int i = 0; i < levels; ++i) {
    auto v = static_cast<std::uint8_t>(i * 255 / (levels - 1));
    if (order == TGreyRamp::WhiteFirst) v = static_cast<std::uint8_t>(255 - v);
    palette[static_cast<std::size_t>(i)] = RGB(v, v, v);
  }
  return palette;
}

namespace colour_detail {

namespace {

// The sRGB transfer curve of a linear component.
double SrgbCurve(double linear) {
  return linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
}

std::uint8_t SrgbByte(double linear) {
  const double v = SrgbCurve(std::clamp(linear, 0.0, 1.0));
  return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255));
}

}  // namespace

TRGBQuad D50ToSrgbExact(double x50, double y50, double z50) {
  // The Bradford adaptation from D50 to D65.
  const double x = 0.9555766 * x50 - 0.0230393 * y50 + 0.0631636 * z50;
  const double y = -0.0282895 * x50 + 1.0099416 * y50 + 0.0210077 * z50;
  const double z = 0.0122982 * x50 - 0.0204830 * y50 + 1.3299098 * z50;
  return RGB(SrgbByte(3.2404542 * x - 1.5371385 * y - 0.4985314 * z),
             SrgbByte(-0.9692660 * x + 1.8760108 * y + 0.0415560 * z),
             SrgbByte(0.0556434 * x - 0.2040259 * y + 1.0572252 * z));
}

const std::uint8_t* SrgbCurveTable() {
  static const std::vector<std::uint8_t> kTable = [] {
    std::vector<std::uint8_t> table(65536);
    for (std::size_t i = 0; i < table.size(); ++i) {
      table[i] =
          static_cast<std::uint8_t>(std::lround(SrgbCurve(static_cast<double>(i) / 65535) * 255));
    }
    return table;
  }();
  return kTable.data();
}

}  // namespace colour_detail

}  // namespace pennacrow
