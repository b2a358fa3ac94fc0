#include <gtest/gtest.h>

#include "SampleBuilder.h"
#include "TestUtil.h"
#include "formats/CUTGraphic.h"
#include "picture/FileFormats.h"
#include "picture/FractalImage.h"

namespace pennacrow::test {
namespace {

const std::string kDamaged = "无法加载图像，CUT图像数据已损坏";

// 3 x 2: a run of three 5s, then the literal pixels 1, 2, 3.
std::vector<std::uint8_t> Sample() {
  TByteWriter w;
  w.U16LE(3).U16LE(2).U16LE(0);
  w.U16LE(3).U8(0x83).U8(5).U8(0);
  w.U16LE(5).U8(0x03).U8(1).U8(2).U8(3).U8(0);
  return w.Bytes;
}

// A Dr. Halo palette of the given 8-bit triples, components scaled to maxValue.
std::vector<std::uint8_t> Palette(const std::vector<std::array<unsigned, 3>>& colours,
                                  unsigned maxValue = 255) {
  TByteWriter w;
  w.Text("AH").U16LE(0).U16LE(0).U8('A').U8(0).U16LE(0).U16LE(0);
  w.U16LE(static_cast<unsigned>(colours.size() - 1))
      .U16LE(maxValue)
      .U16LE(maxValue)
      .U16LE(maxValue);
  w.Text("Dr. Halo").Fill(12);
  for (const auto& c : colours) {
    if (w.Size() % 512 > 506) w.Fill(512 - w.Size() % 512);
    w.U16LE(c[0]).U16LE(c[1]).U16LE(c[2]);
  }
  return w.Bytes;
}

TEST(CUTGraphicTest, DecodesRunsAndLiteralsWithAGreyPalette) {
  TCUTGraphic cut;
  cut.LoadFromBytes(Sample());
  ASSERT_EQ(cut.Width(), 3);
  ASSERT_EQ(cut.Height(), 2);
  EXPECT_EQ(cut.BitsPerPixel(), 8);
  ASSERT_EQ(cut.Palette().size(), 256u);
  EXPECT_EQ(cut.Palette()[200], RGB(200, 200, 200));
  EXPECT_EQ(std::vector<std::uint8_t>(cut.ConstRowAt(0), cut.ConstRowAt(0) + 3),
            (std::vector<std::uint8_t>{5, 5, 5}));
  EXPECT_EQ(std::vector<std::uint8_t>(cut.ConstRowAt(1), cut.ConstRowAt(1) + 3),
            (std::vector<std::uint8_t>{1, 2, 3}));
}

TEST(CUTGraphicTest, TakesColoursFromThePaletteFileBesideIt) {
  TTempDir dir;
  WriteFileBytes(dir.Path("pic.cut"), Sample());
  std::vector<std::array<unsigned, 3>> colours(6, {0, 0, 0});
  colours[5] = {63, 0, 21};
  colours[3] = {0, 63, 63};
  WriteFileBytes(dir.Path("pic.pal"), Palette(colours, 63));
  TFileFormatsList formats;
  formats.AddFormat("cut", "Dr. Halo 图像", TCUTGraphic::ClassInfo);
  TFractalImage control(formats);
  control.LoadPictureFile(dir.Path("pic.cut"));
  const TBitmap& bitmap = control.PictureBitmap();
  ASSERT_EQ(bitmap.BitsPerPixel(), 8);
  ASSERT_EQ(bitmap.Palette().size(), 6u);
  EXPECT_EQ(bitmap.GetPixel(0, 0), RGB(255, 0, 85));
  EXPECT_EQ(bitmap.GetPixel(2, 1), RGB(0, 255, 255));
}

TEST(CUTGraphicTest, PaletteTriplesNeverStraddleA512ByteBlock) {
  std::vector<std::array<unsigned, 3>> colours(256);
  for (unsigned i = 0; i < 256; ++i) colours[i] = {i, 255 - i, i / 2};
  const auto read = ReadHaloPalette(Palette(colours));
  ASSERT_EQ(read.size(), 256u);
  EXPECT_EQ(read[77], RGB(77, 178, 38));
  EXPECT_EQ(read[78], RGB(78, 177, 39));  // first triple of the second block
  EXPECT_EQ(read[255], RGB(255, 0, 127));
}

TEST(CUTGraphicTest, RefusesDamagedFiles) {
  auto refused = [](std::vector<std::uint8_t> data, const std::string& start) {
    TCUTGraphic cut;
    return LoadFailsWith(cut, data, start);
  };
  const std::string invalid = InvalidFormatMessage("CUT");
  const std::string truncated = TruncatedMessage("CUT");
  EXPECT_TRUE(refused({}, invalid));
  EXPECT_TRUE(refused({3, 0, 2}, invalid));
  auto s = Sample();
  s[0] = 0;
  EXPECT_TRUE(refused(s, invalid)) << "zero width";
  s = Sample();
  s[0] = s[1] = s[2] = s[3] = 0xFF;
  EXPECT_TRUE(refused(s, "无法加载图像，CUT图像的尺寸")) << "beyond the pixel limits";
  s = Sample();
  s[2] = 0xE8;
  s[3] = 0x03;
  EXPECT_TRUE(refused(s, truncated)) << "1000 rows cannot come from 14 bytes";
  s = Sample();
  s[0] = 0xFF;
  s[1] = 0x7F;
  s[2] = 1;
  EXPECT_TRUE(refused(s, truncated)) << "width beyond what the runs can fill";
  s = Sample();
  s.resize(s.size() - 2);
  EXPECT_TRUE(refused(s, truncated)) << "last row cut";
  s = Sample();
  s[6] = 30;
  EXPECT_TRUE(refused(s, truncated)) << "row length beyond the file";
  s = Sample();
  s[8] = 0x84;
  EXPECT_TRUE(refused(s, kDamaged)) << "run crossing the row end";
  s = Sample();
  s[13] = 0x04;
  EXPECT_TRUE(refused(s, kDamaged)) << "literal crossing the row end";
  s = Sample();
  s[8] = 0x82;
  EXPECT_TRUE(refused(s, kDamaged)) << "row too short";
  s = Sample();
  s[10] = 7;
  EXPECT_TRUE(refused(s, kDamaged)) << "pixels after the row end";
}

TEST(CUTGraphicTest, RefusesBadPaletteFiles) {
  const std::string palette = InvalidPaletteMessage("CUT");
  auto refused = [](std::vector<std::uint8_t> pal, const std::string& start) {
    TCUTGraphic cut;
    try {
      cut.LoadWithPalette(Sample(), pal);
    } catch (const EInvalidGraphicFormat& e) {
      return std::string(e.what()).rfind(start, 0) == 0;
    }
    return false;
  };
  auto good = Palette(std::vector<std::array<unsigned, 3>>(6, {1, 2, 3}));
  auto p = good;
  p[0] = 'X';
  EXPECT_TRUE(refused(p, palette)) << "bad magic";
  p = good;
  p.resize(30);
  EXPECT_TRUE(refused(p, palette)) << "short header";
  p = good;
  p.resize(p.size() - 3);
  EXPECT_TRUE(refused(p, palette)) << "triples cut";
  p = good;
  p[40] = 0x00;
  p[41] = 0x01;
  EXPECT_TRUE(refused(p, palette)) << "component above the maximum";
  p = good;
  p[16] = 0;
  p[17] = 0;
  EXPECT_TRUE(refused(p, palette)) << "zero maximum";
  EXPECT_TRUE(refused(Palette(std::vector<std::array<unsigned, 3>>(2, {1, 2, 3})), kDamaged))
      << "pixel index beyond the palette";
}

TEST(CUTGraphicTest, EveryPrefixLoadsOrFailsCleanly) {
  EXPECT_TRUE(LoadsAndEveryPrefixFailsCleanly(TCUTGraphic::ClassInfo, Sample()));
}

}  // namespace
}  // namespace pennacrow::test
