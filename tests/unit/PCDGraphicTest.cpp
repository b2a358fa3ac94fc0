#include <gtest/gtest.h>

#include "SampleBuilder.h"
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
  TPCDGraphic pcd;
  pcd.LoadFromBytes(Sample());
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
  auto refused = [](const std::vector<std::uint8_t>& data, const std::string& start) {
    TPCDGraphic pcd;
    return LoadFailsWith(pcd, data, start);
  };
  const std::string invalid = InvalidFormatMessage("Kodak Photo-CD");
  const std::string truncated = TruncatedMessage("Kodak Photo-CD");
  auto s = Sample();
  EXPECT_TRUE(refused({}, invalid));
  EXPECT_TRUE(refused(std::vector<std::uint8_t>(s.begin(), s.begin() + 0x803), invalid));
  EXPECT_TRUE(refused(std::vector<std::uint8_t>(s.begin(), s.begin() + 0x900), truncated));
  EXPECT_TRUE(refused(std::vector<std::uint8_t>(s.begin(), s.begin() + kBase), truncated));
  EXPECT_TRUE(refused(std::vector<std::uint8_t>(s.begin(), s.end() - 1), truncated));
  s[0x800] = 'X';
  EXPECT_TRUE(refused(s, invalid));
}

TEST(PCDGraphicTest, EveryPrefixLoadsOrFailsCleanly) {
  EXPECT_TRUE(LoadsAndEveryPrefixFailsCleanly(TPCDGraphic::ClassInfo, Sample(), 4093));
}

}  // namespace
}  // namespace pennacrow::test
