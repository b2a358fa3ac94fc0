#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "picture/PrintFit.h"

namespace pennacrow {
namespace {

// Halves round away from zero; the product has 64 bits; a zero divisor or an overflow gives -1.
TEST(PrintFit, MulDivRoundsHalvesAwayFromZeroAndFailsAsMinusOne) {
  const std::array<int, 4> halves[] = {{1, 1, 2, 1},   {3, 1, 2, 2},   {5, 1, 4, 1},
                                       {7, 1, 4, 2},   {-1, 1, 2, -1}, {1, 1, -2, -1},
                                       {-3, 1, -2, 2}, {-5, 1, 4, -1}};
  const std::array<int, 4> wide[] = {{600, 4800, 800, 3600},
                                     {100000, 100000, 100000, 100000},
                                     {2147483647, 2147483647, 2147483647, 2147483647},
                                     {600, 4800, 0, -1},
                                     {2147483647, 2, 1, -1}};
  std::vector<std::array<int, 4>> cases(std::begin(halves), std::end(halves));
  cases.insert(cases.end(), std::begin(wide), std::end(wide));
  for (const auto& [number, numerator, denominator, result] : cases) {
    EXPECT_EQ(MulDiv(number, numerator, denominator), result)
        << number << " * " << numerator << " / " << denominator;
  }
}

// The picture fits the page's width, then scales; 800 x 1100 has exactly the page's shape and
// fills its height, as a taller picture does; a one-pixel picture fills the fitted square. A
// percentage of 0 asks for the fitted size alone.
TEST(PrintFit, FitsTheWidthOrTheHeightThenScales) {
  const std::array<int, 7> cases[] = {
      {800, 600, 4800, 6600, 0, 4800, 3600},   {800, 600, 4800, 6600, 25, 1200, 900},
      {800, 600, 4800, 6600, 100, 4800, 3600}, {800, 1100, 4800, 6600, 0, 4800, 6600},
      {300, 1000, 4800, 6600, 0, 1980, 6600},  {300, 1000, 4800, 6600, 50, 990, 3300},
      {1, 1, 4800, 6600, 100, 4800, 4800},     {1, 1, 4800, 6600, 75, 3600, 3600}};
  for (const auto& [width, height, pageWidth, pageHeight, percent, fitWidth, fitHeight] : cases) {
    EXPECT_EQ(percent == 0 ? FitToPage(width, height, pageWidth, pageHeight)
                           : PrintTargetSize(width, height, pageWidth, pageHeight, percent),
              (TPrintSize{fitWidth, fitHeight}))
        << width << "x" << height << " " << percent;
  }
}

TEST(PrintFit, ScaleRoundsHalvesToEven) {
  EXPECT_EQ(ScalePrintSize({4802, 4806}, 25), (TPrintSize{1200, 1202}));  // 1200.5, 1201.5
  EXPECT_EQ(ScalePrintSize({4801, 4803}, 25), (TPrintSize{1200, 1201}));  // 1200.25, 1200.75
}

TEST(PrintFit, EmptyPictureOrPagePrintsNothing) {
  EXPECT_FALSE(PrintTargetSize(0, 0, 4800, 6600, 100).has_value());
  EXPECT_FALSE(PrintTargetSize(800, 0, 4800, 6600, 100).has_value());
  EXPECT_FALSE(PrintTargetSize(800, 600, 0, 6600, 100).has_value());
}

}  // namespace
}  // namespace pennacrow
