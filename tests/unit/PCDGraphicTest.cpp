#include <gtest/gtest.h>

#include "SampleBuilder.h"
#include "TestUtil.h"
#include "formats/PCDGraphic.h"

namespace pennacrow::test {
namespace {

constexpr std::size_t kBase = 0x30000;
constexpr std::size_t kPair = 768 * 3;

// A Photo-CD pack whose base image has grey luma 100 with neutral chroma, except for the
// top-left 2 x 2 block, which has luma 150 and saturated chroma.
std::vector<std::uint8_t> Sample() {
  std::vector<std::uint8_t> data(kBase + kPair * 256, 0);
  const std::string signature = "PCD_IPI";
  std::copy(signature.begin(), signature.end(), data.begin() + 0x800);
  for (std::size_t pair = 0; pair < 256; ++pair) {
    std::uint8_t* p = data.data() + kBase + pair * kPair;
    std::fill_n(p, 2 * 768, 100);
    std::fill_n(p + 2 * 768, 384, 156);
    std::fill_n(p + 2 * 768 + 384, 384, 137);
  }
  std::uint8_t* first = data.data() + kBase;
  first[0] = first[1] = first[768] = first[769] = 150;
  first[2 * 768] = 200;        // Cb of the block
  first[2 * 768 + 384] = 100;  // Cr of the block
  return data;
}

TEST(PCDGraphicTest, ConvertsTheBaseImageFromPhotoYcc) {
  TPCDGraphic pcd = Decoded<TPCDGraphic>(Sample());
  ASSERT_EQ(pcd.Width(), 768);
  ASSERT_EQ(pcd.Height(), 512);
  EXPECT_EQ(pcd.BitsPerPixel(), 24);
  // Neutral chroma: grey 1.3584 x 100.
  EXPECT_EQ(pcd.GetPixel(500, 300), RGB(136, 136, 136));
  // L = 203.76, C1 = 2.2179 x 44 = 97.59, C2 = 1.8215 x -37 = -67.40.
  EXPECT_EQ(pcd.GetPixel(0, 0), RGB(136, 219, 255));
  EXPECT_EQ(pcd.GetPixel(1, 1), pcd.GetPixel(0, 0));
  EXPECT_EQ(pcd.GetPixel(2, 0), RGB(136, 136, 136));
}

TEST(PCDGraphicTest, RefusesDamagedFiles) {
  using K = TGraphicFault;
  const auto good = Sample();
  ExpectRefusals(TPCDGraphic::ClassInfo, good,
                 {{"cut inside the signature", {}, K::NotThisFormat, 0x803},
                  {"cut after the signature", {}, K::Truncated, 0x900},
                  {"cut before the base image", {}, K::Truncated, kBase},
                  {"last byte missing", {}, K::Truncated, good.size() - 1},
                  {"signature", {{0x800, 'X'}}, K::NotThisFormat}});
  ExpectRefusals(TPCDGraphic::ClassInfo, {{"empty", {}, K::NotThisFormat}});
  TPCDGraphic pcd;
  EXPECT_TRUE(LoadFailsWith(pcd, {}, InvalidFormatMessage("Kodak Photo-CD")));
}

TEST(PCDGraphicTest, EveryPrefixLoadsOrFailsCleanly) {
  EXPECT_TRUE(LoadsAndEveryPrefixFailsCleanly(TPCDGraphic::ClassInfo, Sample(), 4093));
}

}  // namespace
}  // namespace pennacrow::test
