#pragma once
// Colour conversions and grey ramps, written once for every decoder: the palette of a grey
// picture at any depth, a sample of any range scaled to a byte, and CIE L*a*b* to sRGB.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "picture/Bitmap.h"

namespace pennacrow {

enum class TGreyRamp {
  BlackFirst,  // index 0 is black
  WhiteFirst,  // index 0 is white: files that store ink coverage rather than light
};

// The 2^bits evenly spaced greys of a grey picture with `bits` bits per sample (1 to 8):
// level i is i x 255 / (2^bits - 1), rounded down. GreyPalette() is the 256 greys of 8-bit
// grey pictures held as indices.
std::vector<TRGBQuad> GreyPalette(int bits = 8, TGreyRamp order = TGreyRamp::BlackFirst);

// A sample of 0 to max (max at least 1, value at most max) scaled to 0 to 255, rounded to
// the nearest byte.
inline std::uint8_t ScaleToByte(std::uint64_t value, std::uint64_t max) {
  return static_cast<std::uint8_t>((value * 255 + max / 2) / max);
}

// A 16-bit sample reduced to 8 bits, round(v x 255 / 65535).
inline std::uint8_t Scale16To8(std::uint32_t v) {
  return ScaleToByte(v, 65535);
}

// How a colour is carried to sRGB bytes. Exact adapts the white point and converts to sRGB as
// two matrices in turn and evaluates the sRGB curve for each sample. Tabulated multiplies by
// their product and looks the curve up in a table of 65536 steps, which is much faster for whole
// pictures; about one colour in three hundred then comes out a step lower or higher. Each
// decoder keeps the one it has always used, so that a picture decodes to the same pixels.
enum class TSrgbPrecision { Exact, Tabulated };

namespace colour_detail {

// The inverse of L*a*b*'s companding function.
inline double LabInverse(double t) {
  constexpr double d = 6.0 / 29.0;
  return t > d ? t * t * t : 3 * d * d * (t - 4.0 / 29.0);
}

// XYZ relative to D50 to sRGB bytes, the exact way.
TRGBQuad D50ToSrgbExact(double x, double y, double z);
// The sRGB curve in 65536 steps of the linear component, as bytes; built on first use.
const std::uint8_t* SrgbCurveTable();

}  // namespace colour_detail

// CIE L*a*b* relative to the D50 white (L* 0 to 100, a* and b* signed, unbounded) as sRGB:
// through XYZ, adapted to the D65 white with the Bradford transform so that white stays white
// and a photograph takes no cast. Colours outside sRGB are clipped per component. Inline, as
// decoders call it for every pixel of a picture.
inline TRGBQuad LabToSrgb(double l, double a, double b, TSrgbPrecision precision) {
  using colour_detail::LabInverse;
  const double fy = (l + 16) / 116, fx = fy + a / 500, fz = fy - b / 200;
  const double x = 0.96422 * LabInverse(fx), y = LabInverse(fy), z = 0.82521 * LabInverse(fz);
  if (precision == TSrgbPrecision::Exact) return colour_detail::D50ToSrgbExact(x, y, z);
  // The Bradford adaptation from D50 to D65 followed by XYZ to linear sRGB, as one matrix.
  static constexpr double kToRgb[3][3] = {
      {3.1338560, -1.6168665, -0.4906148},
      {-0.9787683, 1.9161414, 0.0334541},
      {0.0719453, -0.2289914, 1.4052427},
  };
  static const std::uint8_t* const kCurve = colour_detail::SrgbCurveTable();
  std::uint8_t rgb[3];
  for (int c = 0; c < 3; ++c) {
    const double linear = kToRgb[c][0] * x + kToRgb[c][1] * y + kToRgb[c][2] * z;
    rgb[c] = kCurve[static_cast<std::size_t>(std::clamp(linear, 0.0, 1.0) * 65535 + 0.5)];
  }
  return RGB(rgb[0], rgb[1], rgb[2]);
}

}  // namespace pennacrow
