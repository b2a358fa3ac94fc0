#include <gtest/gtest.h>

#include "SampleBuilder.h"
#include "TestUtil.h"
#include "formats/AutodeskGraphic.h"

namespace pennacrow::test {
namespace {

// 3 x 2 CEL with palette entry i = (i % 64, 63 - i % 64, 0) and pixels 0..5.
std::vector<std::uint8_t> Sample() {
  TByteWriter w;
  w.U16LE(0x9119).U16LE(3).U16LE(2).U16LE(10).U16LE(20).U8(8).U8(0).U32LE(6).Fill(16);
  for (unsigned i = 0; i < 256; ++i) w.U8(i % 64).U8(63 - i % 64).U8(0);
  for (unsigned i = 0; i < 6; ++i) w.U8(i);
  return w.Bytes;
}

TEST(AutodeskGraphicTest, DecodesPixelsAndScalesTheSixBitPalette) {
  TAutodeskGraphic cel = Decoded<TAutodeskGraphic>(Sample());
  ASSERT_EQ(cel.Width(), 3);
  ASSERT_EQ(cel.Height(), 2);
  EXPECT_EQ(cel.BitsPerPixel(), 8);
  ASSERT_EQ(cel.Palette().size(), 256u);
  EXPECT_EQ(cel.Palette()[0], RGB(0, 255, 0));
  EXPECT_EQ(cel.Palette()[63], RGB(255, 0, 0));
  EXPECT_EQ(cel.Palette()[32], RGB(130, 125, 0));
  EXPECT_EQ(cel.ConstRowAt(0)[2], 2);
  EXPECT_EQ(cel.ConstRowAt(1)[0], 3);
}

TEST(AutodeskGraphicTest, RefusesDamagedFiles) {
  using K = TGraphicFault;
  const auto good = Sample();
  ExpectRefusals(TAutodeskGraphic::ClassInfo,
                 {{"empty", {}, K::NotThisFormat}, {"magic only", {0x19, 0x91}, K::Truncated}});
  ExpectRefusals(
      TAutodeskGraphic::ClassInfo, good,
      {{"bad magic", {{0, 0x18}}, K::NotThisFormat},
       {"zero width", {{2, 0}}, K::NotThisFormat},
       {"beyond the pixel limits", {{2, 0xFF}, {3, 0xFF}, {4, 0xFF}, {5, 0xFF}}, K::TooLarge},
       {"image size smaller than stated", {{4, 200}}, K::Damaged},
       {"pixels beyond the file", {{12, 0}, {13, 0}, {14, 0}, {15, 0}, {4, 200}}, K::Truncated},
       {"bad depth", {{10, 4}}, K::Unsupported},
       {"compression", {{11, 1}}, K::Unsupported},
       {"component above 63", {{32 + 7, 64}}, K::BadPalette},
       {"palette cut", {}, K::Truncated, 32 + 100},
       {"last pixel missing", {}, K::Truncated, good.size() - 1}});
  TAutodeskGraphic cel;
  EXPECT_TRUE(LoadFailsWith(cel, {}, InvalidFormatMessage("Autodesk")));
}

TEST(AutodeskGraphicTest, EveryPrefixLoadsOrFailsCleanly) {
  EXPECT_TRUE(LoadsAndEveryPrefixFailsCleanly(TAutodeskGraphic::ClassInfo, Sample()));
}

}  // namespace
}  // namespace pennacrow::test
