#include <gtest/gtest.h>

#include "SampleBuilder.h"
#include "TestUtil.h"
#include "formats/CUTGraphic.h"
#include "picture/FileFormats.h"
#include "picture/FractalImage.h"

namespace pennacrow::test {
namespace {

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
  TCUTGraphic cut = Decoded<TCUTGraphic>(Sample());
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
  using K = TGraphicFault;
  const auto good = Sample();
  ExpectRefusals(TCUTGraphic::ClassInfo,
                 {{"empty", {}, K::NotThisFormat}, {"header cut", {3, 0, 2}, K::NotThisFormat}});
  ExpectRefusals(
      TCUTGraphic::ClassInfo, good,
      {{"zero width", {{0, 0}}, K::NotThisFormat},
       {"beyond the pixel limits", {{0, 0xFF}, {1, 0xFF}, {2, 0xFF}, {3, 0xFF}}, K::TooLarge},
       {"1000 rows cannot come from 14 bytes", {{2, 0xE8}, {3, 0x03}}, K::Truncated},
       {"width beyond what the runs can fill", {{0, 0xFF}, {1, 0x7F}, {2, 1}}, K::Truncated},
       {"last row cut", {}, K::Truncated, good.size() - 2},
       {"row length beyond the file", {{6, 30}}, K::Truncated},
       {"run crossing the row end", {{8, 0x84}}, K::Damaged},
       {"literal crossing the row end", {{13, 0x04}}, K::Damaged},
       {"row too short", {{8, 0x82}}, K::Damaged},
       {"pixels after the row end", {{10, 7}}, K::Damaged}});
  TCUTGraphic cut;
  EXPECT_TRUE(LoadFailsWith(cut, {}, InvalidFormatMessage("CUT")));
}

TEST(CUTGraphicTest, RefusesBadPaletteFiles) {
  using K = TGraphicFault;
  const auto good = Palette(std::vector<std::array<unsigned, 3>>(6, {1, 2, 3}));
  const std::vector<TRefusedFile> cases = {
      {"bad magic", Patched(good, {{0, 'X'}}), K::BadPalette},
      {"short header", std::vector<std::uint8_t>(good.begin(), good.begin() + 30), K::BadPalette},
      {"triples cut", std::vector<std::uint8_t>(good.begin(), good.end() - 3), K::BadPalette},
      {"component above the maximum", Patched(good, {{40, 0}, {41, 1}}), K::BadPalette},
      {"zero maximum", Patched(good, {{16, 0}, {17, 0}}), K::BadPalette},
      {"pixel index beyond the palette",
       Palette(std::vector<std::array<unsigned, 3>>(2, {1, 2, 3})), K::Damaged}};
  for (const TRefusedFile& c : cases) {
    ExpectRefusedAs(c.Name, c.Kind, [&] { TCUTGraphic().LoadWithPalette(Sample(), c.Bytes); });
  }
}

TEST(CUTGraphicTest, EveryPrefixLoadsOrFailsCleanly) {
  EXPECT_TRUE(LoadsAndEveryPrefixFailsCleanly(TCUTGraphic::ClassInfo, Sample()));
}

}  // namespace
}  // namespace pennacrow::test
