#include <gtest/gtest.h>

#include "picture/PrintFit.h"

namespace pennacrow {
namespace {

TEST(PrintFit, MulDivRoundsHalvesAwayFromZero) {
  EXPECT_EQ(MulDiv(600, 4800, 800), 3600);
  EXPECT_EQ(MulDiv(1, 1, 2), 1);
  EXPECT_EQ(MulDiv(3, 1, 2), 2);
  EXPECT_EQ(MulDiv(5, 1, 4), 1);
  EXPECT_EQ(MulDiv(7, 1, 4), 2);
  EXPECT_EQ(MulDiv(-1, 1, 2), -1);
  EXPECT_EQ(MulDiv(1, 1, -2), -1);
  EXPECT_EQ(MulDiv(-3, 1, -2), 2);
  EXPECT_EQ(MulDiv(-5, 1, 4), -1);
}

TEST(PrintFit, MulDivUsesA64BitProduct) {
  EXPECT_EQ(MulDiv(100000, 100000, 100000), 100000);
  EXPECT_EQ(MulDiv(2147483647, 2147483647, 2147483647), 2147483647);
}

TEST(PrintFit, MulDivGivesMinusOneForAZeroDivisorOrOverflow) {
  EXPECT_EQ(MulDiv(600, 4800, 0), -1);
  EXPECT_EQ(MulDiv(2147483647, 2, 1), -1);
}

TEST(PrintFit, WorkedExampleFitsTheWidthThenScales) {
  EXPECT_EQ(FitToPage(800, 600, 4800, 6600), (TPrintSize{4800, 3600}));
  EXPECT_EQ(PrintTargetSize(800, 600, 4800, 6600, 25), (TPrintSize{1200, 900}));
  EXPECT_EQ(PrintTargetSize(800, 600, 4800, 6600, 100), (TPrintSize{4800, 3600}));
}

TEST(PrintFit, TallOrEquallyShapedPictureFillsThePageHeight) {
  // 800 x 1100 has exactly the page's shape: the "otherwise" branch.
  EXPECT_EQ(FitToPage(800, 1100, 4800, 6600), (TPrintSize{4800, 6600}));
  EXPECT_EQ(FitToPage(300, 1000, 4800, 6600), (TPrintSize{1980, 6600}));
  EXPECT_EQ(PrintTargetSize(300, 1000, 4800, 6600, 50), (TPrintSize{990, 3300}));
}

TEST(PrintFit, OnePixelPictureFillsTheFittedSquare) {
  EXPECT_EQ(PrintTargetSize(1, 1, 4800, 6600, 100), (TPrintSize{4800, 4800}));
  EXPECT_EQ(PrintTargetSize(1, 1, 4800, 6600, 75), (TPrintSize{3600, 3600}));
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
