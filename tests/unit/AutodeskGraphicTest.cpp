#include <gtest/gtest.h>

#include "SampleBuilder.h"
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
  TAutodeskGraphic cel;
  cel.LoadFromBytes(Sample());
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
  auto refused = [](std::vector<std::uint8_t> data, const std::string& start) {
    TAutodeskGraphic cel;
    return LoadFailsWith(cel, data, start);
  };
  const std::string invalid = InvalidFormatMessage("Autodesk");
  const std::string truncated = TruncatedMessage("Autodesk");
  EXPECT_TRUE(refused({}, invalid));
  EXPECT_TRUE(refused({0x19, 0x91}, truncated));
  auto s = Sample();
  s[0] = 0x18;
  EXPECT_TRUE(refused(s, invalid)) << "bad magic";
  s = Sample();
  s[2] = 0;
  EXPECT_TRUE(refused(s, invalid)) << "zero width";
  s = Sample();
  s[2] = s[3] = s[4] = s[5] = 0xFF;
  EXPECT_TRUE(refused(s, "无法加载图像，Autodesk图像的尺寸")) << "beyond the pixel limits";
  s = Sample();
  s[4] = 200;
  EXPECT_TRUE(refused(s, "无法加载图像，Autodesk图像数据已损坏"))
      << "image size smaller than stated";
  s = Sample();
  s[12] = s[13] = s[14] = s[15] = 0;
  s[4] = 200;
  EXPECT_TRUE(refused(s, truncated)) << "pixels beyond the file";
  s = Sample();
  s[10] = 4;
  EXPECT_TRUE(refused(s, "无法加载图像，不支持Autodesk的")) << "bad depth";
  s = Sample();
  s[11] = 1;
  EXPECT_TRUE(refused(s, "无法加载图像，不支持Autodesk的")) << "compression";
  s = Sample();
  s[32 + 7] = 64;
  EXPECT_TRUE(refused(s, InvalidPaletteMessage("Autodesk"))) << "component above 63";
  s = Sample();
  s.resize(32 + 100);
  EXPECT_TRUE(refused(s, truncated)) << "palette cut";
  s = Sample();
  s.pop_back();
  EXPECT_TRUE(refused(s, truncated)) << "last pixel missing";
}

TEST(AutodeskGraphicTest, EveryPrefixLoadsOrFailsCleanly) {
  EXPECT_TRUE(LoadsAndEveryPrefixFailsCleanly(TAutodeskGraphic::ClassInfo, Sample()));
}

}  // namespace
}  // namespace pennacrow::test
