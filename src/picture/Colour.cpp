#include "picture/Colour.h"

#include <algorithm>
#include <array>
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

namespace {

// The inverse of L*a*b*'s companding function.
double LabInverse(double t) {
  constexpr double d = 6.0 / 29.0;
  return t > d ? t * t * t : 3 * d * d * (t - 4.0 / 29.0);
}

// The sRGB transfer curve applied to a linear component, clipped to 0..1, as a byte.
std::uint8_t SrgbByte(double linear) {
  linear = std::clamp(linear, 0.0, 1.0);
  const double v = linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
  return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255));
}

// The same curve in 65536 steps of the linear component; a power per sample would make a
// picture's conversion many times slower.
std::uint8_t TabulatedSrgbByte(double linear) {
  static const std::vector<std::uint8_t> kEncode = [] {
    std::vector<std::uint8_t> table(65536);
    for (std::size_t i = 0; i < table.size(); ++i) {
      const double v = static_cast<double>(i) / 65535;
      const double e = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
      table[i] = static_cast<std::uint8_t>(std::lround(e * 255));
    }
    return table;
  }();
  return kEncode[static_cast<std::size_t>(std::clamp(linear, 0.0, 1.0) * 65535 + 0.5)];
}

}  // namespace

TRGBQuad LabToSrgb(double l, double a, double b, TSrgbPrecision precision) {
  const double fy = (l + 16) / 116, fx = fy + a / 500, fz = fy - b / 200;
  // XYZ relative to the D50 white.
  const double x50 = 0.96422 * LabInverse(fx), y50 = LabInverse(fy), z50 = 0.82521 * LabInverse(fz);
  if (precision == TSrgbPrecision::Tabulated) {
    // The Bradford adaptation from D50 to D65 followed by XYZ to linear sRGB, as one matrix.
    static constexpr double kToRgb[3][3] = {
        {3.1338560, -1.6168665, -0.4906148},
        {-0.9787683, 1.9161414, 0.0334541},
        {0.0719453, -0.2289914, 1.4052427},
    };
    std::array<std::uint8_t, 3> rgb{};
    for (int c = 0; c < 3; ++c) {
      rgb[static_cast<std::size_t>(c)] =
          TabulatedSrgbByte(kToRgb[c][0] * x50 + kToRgb[c][1] * y50 + kToRgb[c][2] * z50);
    }
    return RGB(rgb[0], rgb[1], rgb[2]);
  }
  // The Bradford adaptation from D50 to D65.
  const double x = 0.9555766 * x50 - 0.0230393 * y50 + 0.0631636 * z50;
  const double y = -0.0282895 * x50 + 1.0099416 * y50 + 0.0210077 * z50;
  const double z = 0.0122982 * x50 - 0.0204830 * y50 + 1.3299098 * z50;
  return RGB(SrgbByte(3.2404542 * x - 1.5371385 * y - 0.4985314 * z),
             SrgbByte(-0.9692660 * x + 1.8760108 * y + 0.0415560 * z),
             SrgbByte(0.0556434 * x - 0.2040259 * y + 1.0572252 * z));
}

}  // namespace pennacrow
