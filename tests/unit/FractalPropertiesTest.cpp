#include <gtest/gtest.h>

#include <set>

#include "picture/FractalProperties.h"
#include "picture/FractalRandom.h"

namespace pennacrow {
namespace {

TEST(FractalProperties, DefaultsAreTheMainWindowsMandelbrot) {
  const TFractalProperties p;
  EXPECT_EQ(p.FractalType(), ftMandelBrot);
  EXPECT_EQ(p.X0, -2.25);
  EXPECT_EQ(p.Y0, -1.5);
  EXPECT_EQ(p.X1, 0.75);
  EXPECT_EQ(p.Y1, 1.5);
  EXPECT_EQ(p.NumberOfIterations, 16);
  EXPECT_TRUE(p.LineIncremental);
  EXPECT_FALSE(p.Seed.has_value());
}

TEST(FractalProperties, ChangingTheKindSetsItsIterationCount) {
  TFractalProperties p;
  const std::pair<TFractalTypes, int> counts[] = {
      {ftFern, 30000}, {ftMandelBrot, 16}, {ftMoire, 4}, {ftJulian, 16}};
  for (const auto& [kind, count] : counts) {
    p.ChangeFractalType(kind);
    EXPECT_EQ(p.NumberOfIterations, count) << int{kind};
  }
  for (TFractalTypes t : {ftSierpinski, ftLeaf, ftCurl, ftKoch}) {
    p.ChangeFractalType(ftMoire);
    p.ChangeFractalType(t);
    EXPECT_EQ(p.NumberOfIterations, 30000) << int{t};
    EXPECT_EQ(p.FractalType(), t);
  }
}

TEST(FractalProperties, MandelbrotAndJuliaShareAHandSetIterationCount) {
  TFractalProperties p;
  p.NumberOfIterations = 64;
  p.ChangeFractalType(ftJulian);
  EXPECT_EQ(p.NumberOfIterations, 64);
  p.ChangeFractalType(ftMandelBrot);
  EXPECT_EQ(p.NumberOfIterations, 64);
}

TEST(FractalProperties, ChoosingTheCurrentKindKeepsAHandSetCount) {
  TFractalProperties p;
  p.ChangeFractalType(ftFern);
  p.NumberOfIterations = 123;
  p.ChangeFractalType(ftFern);
  EXPECT_EQ(p.NumberOfIterations, 123);
  EXPECT_EQ(p.FractalType(), ftFern);
}

TEST(FractalProperties, MenuOffersSixKindsWithoutSierpinskiAndKoch) {
  std::set<int> kinds;
  for (const TFractalMenuItem& item : FractalMenuItems) kinds.insert(item.FractalType);
  EXPECT_EQ(kinds, (std::set<int>{ftMandelBrot, ftJulian, ftMoire, ftFern, ftLeaf, ftCurl}));
  EXPECT_STREQ(FractalMenuItems[0].Caption, "创建 芒德勃罗 不规则位图图像");
  EXPECT_STREQ(FractalMenuItems[5].Name, "CreateMoirePattenBitmapImage1");
}

// Values worked out by hand from state' = state x 134775813 + 1 (mod 2^32) and
// result = (state' x n) >> 32.
TEST(FractalRandom, ReproducesTheReferenceSequence) {
  TFractalRandom random(12345);
  const std::uint32_t n[] = {100, 100, 100, 4, 4, 4, 7, 1000};
  const std::uint32_t expectedValue[] = {38, 28, 7, 2, 2, 1, 3, 79};
  const std::uint32_t expectedState[] = {1655067934u, 1242767767u, 342459380u,  2377737157u,
                                         2721613530u, 1467157059u, 1889648464u, 340655249u};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(random.Random(n[i]), expectedValue[i]) << i;
    EXPECT_EQ(random.GeneratorState, expectedState[i]) << i;
  }
  TFractalRandom zero(0);
  EXPECT_EQ(zero.Random(100), 0u);
  EXPECT_EQ(zero.GeneratorState, 1u);
  EXPECT_EQ(zero.Random(100), 3u);
  EXPECT_EQ(zero.GeneratorState, 134775814u);
}

TEST(FractalRandom, TimeOfDaySeedIsWithinOneDay) {
  EXPECT_LT(TimeOfDaySeed(), 24u * 60 * 60 * 1000);
}

}  // namespace
}  // namespace pennacrow
