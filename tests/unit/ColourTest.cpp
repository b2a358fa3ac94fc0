#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

#include "picture/Colour.h"

namespace pennacrow {
namespace {

TEST(Colour, GreyPalettesSpreadTheirLevelsFromBlackToWhite) {
  struct TCase {
    int Bits;
    TGreyRamp Order;
    int Index;
    std::uint8_t Grey;
  };
  const TCase cases[] = {
      {1, TGreyRamp::BlackFirst, 0, 0},     {1, TGreyRamp::BlackFirst, 1, 255},
      {2, TGreyRamp::BlackFirst, 1, 85},    {2, TGreyRamp::BlackFirst, 2, 170},
      {4, TGreyRamp::BlackFirst, 1, 17},    {4, TGreyRamp::BlackFirst, 15, 255},
      {8, TGreyRamp::BlackFirst, 200, 200}, {1, TGreyRamp::WhiteFirst, 0, 255},
      {2, TGreyRamp::WhiteFirst, 1, 170},   {8, TGreyRamp::WhiteFirst, 255, 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Bits << " bits, index " << c.Index);
    const std::vector<TRGBQuad> palette = GreyPalette(c.Bits, c.Order);
    ASSERT_EQ(palette.size(), std::size_t{1} << c.Bits);
    EXPECT_EQ(palette[static_cast<std::size_t>(c.Index)], RGB(c.Grey, c.Grey, c.Grey));
  }
  EXPECT_EQ(GreyPalette(), GreyPalette(8, TGreyRamp::BlackFirst));
  EXPECT_THROW(GreyPalette(0), std::logic_error);
  EXPECT_THROW(GreyPalette(9), std::logic_error);
}

TEST(Colour, SamplesScaleToTheNearestByte) {
  struct TCase {
    std::uint64_t Value, Max;
    std::uint8_t Byte;
  };
  const TCase cases[] = {
      {0, 1, 0},     {1, 1, 255},         {1, 3, 85},          {2, 3, 170},         {1, 2, 128},
      {0, 65535, 0}, {65535, 65535, 255}, {32767, 65535, 127}, {32768, 65535, 128},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(ScaleToByte(c.Value, c.Max), c.Byte) << c.Value << " of " << c.Max;
  }
  EXPECT_EQ(Scale16To8(32768), 128);
}

// Lab values of sRGB's primaries relative to D50: a wrong white point or matrix turns them, and
// greys, away from what they are.
TEST(Colour, LabConvertsToSrgbWithWhiteKeptWhite) {
  struct TCase {
    double L, A, B;
    int Red, Green, Blue;
  };
  const TCase cases[] = {
      {100, 0, 0, 255, 255, 255},
      {0, 0, 0, 0, 0, 0},
      {50, 0, 0, 119, 119, 119},
      {54.2905, 80.8049, 69.8910, 255, 0, 0},
      {29.5676, 68.2986, -112.0294, 0, 0, 255},
      {46.2276, -51.6986, 49.8970, 0, 128, 0},
      {75, -128, 127, 0, 229, 0},  // beyond sRGB: clipped per component
  };
  for (const TSrgbPrecision precision : {TSrgbPrecision::Exact, TSrgbPrecision::Tabulated}) {
    for (const TCase& c : cases) {
      SCOPED_TRACE(testing::Message() << "L*a*b* " << c.L << " " << c.A << " " << c.B);
      const TRGBQuad rgb = LabToSrgb(c.L, c.A, c.B, precision);
      EXPECT_NEAR(rgb.Red, c.Red, 1);
      EXPECT_NEAR(rgb.Green, c.Green, 1);
      EXPECT_NEAR(rgb.Blue, c.Blue, 1);
      if (c.A == 0 && c.B == 0) {
        EXPECT_TRUE(rgb.Red == rgb.Green && rgb.Green == rgb.Blue);
      }
    }
  }
}

TEST(Colour, TabulatedLabIsAtMostAStepFromExact) {
  for (double l = 0; l <= 100; l += 2.5) {
    for (double a = -128; a < 128; a += 8) {
      for (double b = -128; b < 128; b += 8) {
        const TRGBQuad exact = LabToSrgb(l, a, b, TSrgbPrecision::Exact);
        const TRGBQuad fast = LabToSrgb(l, a, b, TSrgbPrecision::Tabulated);
        ASSERT_LE(std::abs(exact.Red - fast.Red), 1) << l << " " << a << " " << b;
        ASSERT_LE(std::abs(exact.Green - fast.Green), 1) << l << " " << a << " " << b;
        ASSERT_LE(std::abs(exact.Blue - fast.Blue), 1) << l << " " << a << " " << b;
      }
    }
  }
}

}  // namespace
}  // namespace pennacrow
