#include <gtest/gtest.h>

#include <cmath>

#include "DecoderSamples.h"
#include "SampleBuilder.h"
#include "TestUtil.h"
#include "formats/PNGGraphic.h"
#include "formats/Registry.h"

namespace pennacrow {
namespace {

using test::LoadFailsWith;
using test::MakePng;
using test::TBytes;
using test::TPngSample;

TPNGGraphic Load(const TPngSample& sample) {
  return test::Decoded<TPNGGraphic>(MakePng(sample));
}

TEST(PNGGraphicTest, TrueColourKeepsEverySampleInBitmapOrder) {
  const TPNGGraphic rgb =
      Load({3, 2, 2, 8, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18}});
  ASSERT_EQ(rgb.BitsPerPixel(), 24);
  EXPECT_EQ(rgb.Width(), 3);
  const std::uint8_t* row1 = rgb.ConstRowAt(1);
  EXPECT_EQ(TBytes(row1, row1 + 9), (TBytes{12, 11, 10, 15, 14, 13, 18, 17, 16}));

  const TPNGGraphic rgba = Load({2, 1, 6, 8, {1, 2, 3, 4, 5, 6, 7, 8}});
  ASSERT_EQ(rgba.BitsPerPixel(), 32);
  EXPECT_EQ(TBytes(rgba.ConstRowAt(0), rgba.ConstRowAt(0) + 8), (TBytes{3, 2, 1, 4, 7, 6, 5, 8}));
}

TEST(PNGGraphicTest, SixteenBitSamplesAreRoundedToEightBits) {
  const std::uint16_t values[] = {0, 128, 129, 32767, 32768, 65407, 65408, 65535};
  TBytes rows;
  for (std::uint16_t v : values) {
    rows.push_back(static_cast<std::uint8_t>(v >> 8));
    rows.push_back(static_cast<std::uint8_t>(v));
  }
  const TPNGGraphic grey = Load({8, 1, 0, 16, rows});
  ASSERT_EQ(grey.BitsPerPixel(), 8);
  ASSERT_EQ(grey.Palette().size(), 256u);
  for (int x = 0; x < 8; ++x) {
    EXPECT_EQ(grey.ConstRowAt(0)[x], std::lround(values[x] * 255.0 / 65535)) << values[x];
  }
  // RGB at 16 bits: three samples per pixel, each rounded the same way.
  TBytes rgb = {0x80, 0x80, 0x00, 0x81, 0xFF, 0xFF};
  const TPNGGraphic colour = Load({1, 1, 2, 16, rgb});
  ASSERT_EQ(colour.BitsPerPixel(), 24);
  EXPECT_EQ(TBytes(colour.ConstRowAt(0), colour.ConstRowAt(0) + 3), (TBytes{255, 1, 128}));
}

TEST(PNGGraphicTest, GreyDepthsAndPalettes) {
  // Grey 1-bit stays 1-bit: rows shorter than the width.
  const TPNGGraphic one = Load({10, 1, 0, 1, {0b10110000, 0b01000000}});
  ASSERT_EQ(one.BitsPerPixel(), 1);
  EXPECT_EQ(one.RowLength(), 4u);
  EXPECT_EQ(one.ConstRowAt(0)[0], 0b10110000);
  EXPECT_EQ(one.ConstRowAt(0)[1] & 0xC0, 0b01000000);
  EXPECT_EQ(one.Palette(), (std::vector<TRGBQuad>{RGB(0, 0, 0), RGB(255, 255, 255)}));

  // Grey 2-bit becomes 4-bit, one pixel per nibble, with four grey levels.
  const TPNGGraphic two = Load({5, 1, 0, 2, {0b00011011, 0b11000000}});
  ASSERT_EQ(two.BitsPerPixel(), 4);
  EXPECT_EQ(TBytes(two.ConstRowAt(0), two.ConstRowAt(0) + 3), (TBytes{0x01, 0x23, 0x30}));
  EXPECT_EQ(two.Palette()[2], RGB(170, 170, 170));

  const TPNGGraphic four = Load({3, 1, 0, 4, {0x1F, 0x70}});
  ASSERT_EQ(four.BitsPerPixel(), 4);
  EXPECT_EQ(TBytes(four.ConstRowAt(0), four.ConstRowAt(0) + 2), (TBytes{0x1F, 0x70}));
  EXPECT_EQ(four.Palette().size(), 16u);

  const TPNGGraphic eight = Load({2, 1, 0, 8, {7, 200}});
  ASSERT_EQ(eight.BitsPerPixel(), 8);
  EXPECT_EQ(eight.ConstRowAt(0)[1], 200);
  EXPECT_EQ(eight.Palette()[200], RGB(200, 200, 200));

  // Grey with alpha: 8-bit grey, the alpha dropped.
  const TPNGGraphic alpha = Load({2, 1, 4, 8, {50, 1, 60, 2}});
  ASSERT_EQ(alpha.BitsPerPixel(), 8);
  EXPECT_EQ(TBytes(alpha.ConstRowAt(0), alpha.ConstRowAt(0) + 2), (TBytes{50, 60}));
}

TEST(PNGGraphicTest, IndexedKeepsIndicesAndTheFilePalette) {
  const TBytes palette = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120};
  for (int depth : {1, 2, 4, 8}) {
    TPngSample sample{4, 1, 3, depth, {}, palette};
    if (depth == 1) sample.Rows = {0b10100000};
    if (depth == 2) sample.Rows = {0b00011011};
    if (depth == 4) sample.Rows = {0x01, 0x23};
    if (depth == 8) sample.Rows = {0, 1, 2, 3};
    if (depth == 1) sample.Palette.resize(6);
    const TPNGGraphic png = Load(sample);
    const int expectedDepth = depth == 1 ? 1 : depth <= 4 ? 4 : 8;
    ASSERT_EQ(png.BitsPerPixel(), expectedDepth) << depth;
    EXPECT_EQ(png.Palette()[1], RGB(40, 50, 60)) << depth;
    if (depth > 1) {
      EXPECT_EQ(png.GetPixel(3, 0), RGB(100, 110, 120)) << depth;
    }
    if (depth == 2 || depth == 4) {
      EXPECT_EQ(TBytes(png.ConstRowAt(0), png.ConstRowAt(0) + 2), (TBytes{0x01, 0x23}));
    }
  }
}

TEST(PNGGraphicTest, GammaChunkPassesColourSamplesThroughTheTable) {
  const auto table = [](int i, double g) {
    return static_cast<int>(std::lround(255.0 * std::pow(i / 255.0, 1.0 / (g * 2.2))));
  };
  TPngSample sample{2, 1, 2, 8, {0, 64, 128, 200, 255, 1}};
  sample.Extra = {{"gAMA", test::BigEndian32(100000)}};
  const TPNGGraphic rgb = Load(sample);
  const std::uint8_t* row = rgb.ConstRowAt(0);
  EXPECT_EQ(row[0], table(128, 1.0));
  EXPECT_EQ(row[1], table(64, 1.0));
  EXPECT_EQ(row[2], 0);
  EXPECT_EQ(row[3], table(1, 1.0));
  EXPECT_EQ(row[5], table(200, 1.0));

  // Indexed pictures keep their indices; the table applies to the palette.
  TPngSample indexed{2, 1, 3, 8, {1, 0}, {0, 0, 0, 64, 128, 255}};
  indexed.Extra = {{"gAMA", test::BigEndian32(50000)}};
  const TPNGGraphic png = Load(indexed);
  EXPECT_EQ(png.ConstRowAt(0)[0], 1);
  EXPECT_EQ(png.Palette()[1], RGB(table(64, 0.5), table(128, 0.5), 255));

  // The writer's own files carry no gamma chunk and read back unchanged.
  const TPNGGraphic plain = Load({1, 1, 2, 8, {64, 128, 200}});
  EXPECT_EQ(TBytes(plain.ConstRowAt(0), plain.ConstRowAt(0) + 3), (TBytes{200, 128, 64}));
}

TEST(PNGGraphicTest, UnknownChunks) {
  TPngSample sample{1, 1, 2, 8, {1, 2, 3}};
  sample.Extra = {{"xkCd", {1, 2, 3}}};  // ancillary: skipped
  EXPECT_EQ(Load(sample).ConstRowAt(0)[0], 3);

  sample.Extra = {{"ABCD", {1, 2, 3}}};  // critical and unknown: refused
  TPNGGraphic png;
  EXPECT_TRUE(LoadFailsWith(png, MakePng(sample), "无法加载PNG图像，检测到非预期关键块."));
}

TEST(PNGGraphicTest, DamagedFilesAreRefusedWithTheirReason) {
  const TBytes good = MakePng({4, 4, 2, 8, TBytes(48, 7)});
  // A size beyond the pixel limits is refused before anything is allocated.
  TBytes huge = MakePng({1, 1, 2, 8, {1, 2, 3}});
  TBytes big = test::PngChunk("IHDR", {0, 1, 0x86, 0xA0, 0, 1, 0x86, 0xA0, 8, 2, 0, 0, 0});
  std::copy(big.begin(), big.end(), huge.begin() + 8);
  using K = TGraphicFault;
  test::ExpectRefusals(
      TPNGGraphic::ClassInfo, good,
      {{"signature only", {}, K::Truncated, 8},
       {"end cut", {}, K::Truncated, good.size() - 20},
       {"IHDR checksum", {{29, static_cast<std::uint8_t>(good[29] ^ 0xFF)}}, K::Damaged}});
  test::ExpectRefusals(TPNGGraphic::ClassInfo,
                       {{"GIF", {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0}, K::NotThisFormat},
                        {"100000 x 100000", huge, K::TooLarge}});
  TPNGGraphic png;
  EXPECT_TRUE(LoadFailsWith(png, TBytes{'G', 'I', 'F'}, InvalidFormatMessage("PNG")));
  // A failed load leaves a usable, empty object behind.
  png.LoadFromBytes(good);
  EXPECT_EQ(png.Width(), 4);
}

TEST(PNGGraphicTest, PngFilesDecodeThroughTheDecoderWhateverTheCase) {
  test::TTempDir dir;
  for (const char* name : {"a.png", "b.PNG", "c.Png"}) {
    test::WriteFileBytes(dir.Path(name), MakePng({2, 2, 2, 8, TBytes(12, 9)}));
    auto graphic = LoadGraphicFile(FileFormats(), dir.Path(name));
    EXPECT_EQ(&graphic->ClassType(), &TPNGGraphic::ClassInfo) << name;
    ASSERT_NE(graphic->GetBitmap(), nullptr);
    EXPECT_EQ(graphic->GetBitmap()->BitsPerPixel(), 24);
  }
}

}  // namespace
}  // namespace pennacrow
