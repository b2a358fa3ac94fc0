#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>
#include <cstring>

#include "DecoderSamples.h"
#include "SampleBuilder.h"
#include "TestUtil.h"
#include "formats/EPSGraphic.h"
#include "formats/TIFFGraphic.h"

namespace pennacrow {
namespace {

using test::LoadFailsWith;
using test::MakeTiff;
using test::TBytes;
using test::TTiffSample;

TTiffSample Sample(int width, int height, int bits, int samples, int photometric, TBytes rows) {
  TTiffSample sample;
  sample.Width = width;
  sample.Height = height;
  sample.BitsPerSample = bits;
  sample.SamplesPerPixel = samples;
  sample.Photometric = photometric;
  sample.Rows = std::move(rows);
  return sample;
}

TBytes Words(std::initializer_list<std::uint16_t> values) {
  TBytes bytes(values.size() * 2);
  std::memcpy(bytes.data(), std::data(values), bytes.size());  // host order, as libtiff takes it
  return bytes;
}

TBytes Row(const TBitmap& bitmap, int y, std::size_t n) {
  return TBytes(bitmap.ConstRowAt(y), bitmap.ConstRowAt(y) + n);
}

TTIFFGraphic Load(const TTiffSample& sample) {
  return test::Decoded<TTIFFGraphic>(MakeTiff(sample));
}

TEST(TIFFGraphicTest, OneBitAndFourBitKeepTheirPackedPixels) {
  const TTIFFGraphic black =
      Load(Sample(10, 1, 1, 1, PHOTOMETRIC_MINISBLACK, {0b10110000, 0b01000000}));
  ASSERT_EQ(black.BitsPerPixel(), 1);
  EXPECT_EQ(black.RowLength(), 4u);
  EXPECT_EQ(black.ConstRowAt(0)[0], 0b10110000);
  EXPECT_EQ(black.Palette()[1], RGB(255, 255, 255));
  const TTIFFGraphic white = Load(Sample(10, 1, 1, 1, PHOTOMETRIC_MINISWHITE, {0b10110000, 0}));
  EXPECT_EQ(white.ConstRowAt(0)[0], 0b10110000);
  EXPECT_EQ(white.Palette()[1], RGB(0, 0, 0));

  const TTIFFGraphic four = Load(Sample(3, 1, 4, 1, PHOTOMETRIC_MINISBLACK, {0x1F, 0x70}));
  ASSERT_EQ(four.BitsPerPixel(), 4);
  EXPECT_EQ(Row(four, 0, 2), (TBytes{0x1F, 0x70}));
  const TTIFFGraphic two =
      Load(Sample(5, 1, 2, 1, PHOTOMETRIC_MINISBLACK, {0b00011011, 0b11000000}));
  ASSERT_EQ(two.BitsPerPixel(), 4);
  EXPECT_EQ(Row(two, 0, 3), (TBytes{0x01, 0x23, 0x30}));
}

TEST(TIFFGraphicTest, EightAndSixteenBitGreyAndPalette) {
  const TTIFFGraphic grey = Load(Sample(3, 2, 8, 1, PHOTOMETRIC_MINISBLACK, {1, 2, 3, 4, 5, 6}));
  ASSERT_EQ(grey.BitsPerPixel(), 8);
  EXPECT_EQ(Row(grey, 1, 3), (TBytes{4, 5, 6}));
  EXPECT_EQ(grey.Palette()[5], RGB(5, 5, 5));

  const TTIFFGraphic wide =
      Load(Sample(3, 1, 16, 1, PHOTOMETRIC_MINISBLACK, Words({129, 32768, 65535})));
  ASSERT_EQ(wide.BitsPerPixel(), 8);
  EXPECT_EQ(Row(wide, 0, 3), (TBytes{1, 128, 255}));

  // Grey with alpha: the alpha sample is dropped.
  TTiffSample alpha = Sample(2, 1, 8, 2, PHOTOMETRIC_MINISBLACK, {50, 1, 60, 2});
  alpha.ExtraSamples = 1;
  EXPECT_EQ(Row(Load(alpha), 0, 2), (TBytes{50, 60}));

  TTiffSample palette = Sample(2, 1, 8, 1, PHOTOMETRIC_PALETTE, {1, 0});
  palette.ColourMap.assign(3 * 256, 0);
  palette.ColourMap[1] = 0xFFFF;        // red of entry 1
  palette.ColourMap[256 + 1] = 0x8080;  // green of entry 1
  const TTIFFGraphic indexed = Load(palette);
  ASSERT_EQ(indexed.BitsPerPixel(), 8);
  EXPECT_EQ(Row(indexed, 0, 2), (TBytes{1, 0}));
  EXPECT_EQ(indexed.Palette()[1], RGB(255, 128, 0));
}

TEST(TIFFGraphicTest, ColourImages) {
  const TTIFFGraphic rgb = Load(Sample(2, 1, 8, 3, PHOTOMETRIC_RGB, {1, 2, 3, 4, 5, 6}));
  ASSERT_EQ(rgb.BitsPerPixel(), 24);
  EXPECT_EQ(Row(rgb, 0, 6), (TBytes{3, 2, 1, 6, 5, 4}));

  TTiffSample planes = Sample(2, 1, 8, 3, PHOTOMETRIC_RGB, {1, 4, 2, 5, 3, 6});
  planes.Planar = PLANARCONFIG_SEPARATE;
  EXPECT_EQ(Row(Load(planes), 0, 6), (TBytes{3, 2, 1, 6, 5, 4}));

  TTiffSample rgba = Sample(1, 1, 8, 4, PHOTOMETRIC_RGB, {1, 2, 3, 4});
  rgba.ExtraSamples = 1;
  const TTIFFGraphic withAlpha = Load(rgba);
  ASSERT_EQ(withAlpha.BitsPerPixel(), 32);
  EXPECT_EQ(Row(withAlpha, 0, 4), (TBytes{3, 2, 1, 4}));

  const TTIFFGraphic wide = Load(Sample(1, 1, 16, 3, PHOTOMETRIC_RGB, Words({65535, 32768, 129})));
  EXPECT_EQ(Row(wide, 0, 3), (TBytes{1, 128, 255}));

  // CMYK: each ink taken from white.
  const TTIFFGraphic cmyk =
      Load(Sample(2, 1, 8, 4, PHOTOMETRIC_SEPARATED, {0, 255, 255, 0, 0, 0, 0, 255}));
  ASSERT_EQ(cmyk.BitsPerPixel(), 24);
  EXPECT_EQ(Row(cmyk, 0, 6), (TBytes{0, 0, 255, 0, 0, 0}));

  // YCbCr (JPEG-compressed) through libtiff's renderer.
  TTiffSample ycc = Sample(16, 16, 8, 3, PHOTOMETRIC_YCBCR, {});
  ycc.Compression = COMPRESSION_JPEG;
  for (int i = 0; i < 256; ++i) ycc.Rows.insert(ycc.Rows.end(), {200, 100, 50});
  const TTIFFGraphic jpeg = Load(ycc);
  ASSERT_EQ(jpeg.BitsPerPixel(), 24);
  const std::uint8_t* p = jpeg.ConstRowAt(15) + 45;
  EXPECT_NEAR(p[0], 50, 4);
  EXPECT_NEAR(p[1], 100, 4);
  EXPECT_NEAR(p[2], 200, 4);
}

// A tiled file decodes to the very picture its strip twin does, across tile edges and with
// partial tiles at the right and bottom, through each depth rule.
TEST(TIFFGraphicTest, TiledFilesDecodeAsTheirStripTwin) {
  auto pattern = [](std::size_t n) {
    TBytes rows(n);
    for (std::size_t i = 0; i < n; ++i) rows[i] = static_cast<std::uint8_t>(i * 7 + i / 13);
    return rows;
  };
  struct TCase {
    const char* Name;
    int Bits, Samples, Photometric, Planar;
  };
  for (const TCase& c : {TCase{"1-bit grey", 1, 1, PHOTOMETRIC_MINISBLACK, PLANARCONFIG_CONTIG},
                         TCase{"4-bit grey", 4, 1, PHOTOMETRIC_MINISBLACK, PLANARCONFIG_CONTIG},
                         TCase{"16-bit grey", 16, 1, PHOTOMETRIC_MINISBLACK, PLANARCONFIG_CONTIG},
                         TCase{"8-bit RGB", 8, 3, PHOTOMETRIC_RGB, PLANARCONFIG_CONTIG},
                         TCase{"RGB planes", 8, 3, PHOTOMETRIC_RGB, PLANARCONFIG_SEPARATE},
                         TCase{"CMYK", 8, 4, PHOTOMETRIC_SEPARATED, PLANARCONFIG_CONTIG},
                         TCase{"12-bit RGB planes", 12, 3, PHOTOMETRIC_RGB, PLANARCONFIG_SEPARATE},
                         TCase{"L*a*b* planes", 8, 3, PHOTOMETRIC_CIELAB, PLANARCONFIG_SEPARATE}}) {
    const int width = 37, height = 21;
    const bool planes = c.Planar == PLANARCONFIG_SEPARATE;
    const std::size_t rowBytes =
        (static_cast<std::size_t>(width) * c.Bits * (planes ? 1 : c.Samples) + 7) / 8;
    TTiffSample strips =
        Sample(width, height, c.Bits, c.Samples, c.Photometric,
               pattern(rowBytes * height * static_cast<std::size_t>(planes ? c.Samples : 1)));
    strips.Planar = c.Planar;
    TTiffSample tiles = strips;
    tiles.Tiled = true;
    const TTIFFGraphic expected = Load(strips), tiled = Load(tiles);
    ASSERT_EQ(tiled.Width(), width) << c.Name;
    ASSERT_EQ(tiled.Height(), height) << c.Name;
    EXPECT_EQ(tiled.BitsPerPixel(), expected.BitsPerPixel()) << c.Name;
    EXPECT_TRUE(std::equal(tiled.Bits().begin(), tiled.Bits().end(), expected.Bits().begin(),
                           expected.Bits().end()))
        << c.Name;
  }
}

// A picture that only libtiff's renderer takes (CMYK in planes), stored bottom row first in many
// strips, comes out as the same picture stored top row first.
TEST(TIFFGraphicTest, RenderedFilesStoredBottomUpComeOutTheRightWayUp) {
  const int width = 19, height = 37;
  TTiffSample topDown = Sample(width, height, 8, 4, PHOTOMETRIC_SEPARATED, {});
  topDown.Planar = PLANARCONFIG_SEPARATE;
  for (int i = 0; i < 4 * width * height; ++i)
    topDown.Rows.push_back(static_cast<std::uint8_t>(i * 7 + i / 13));
  TTiffSample bottomUp = topDown;
  bottomUp.Orientation = ORIENTATION_BOTLEFT;
  for (int p = 0; p < 4; ++p) {
    for (int y = 0; y < height; ++y) {
      std::copy_n(topDown.Rows.begin() + (p * height + height - 1 - y) * width, width,
                  bottomUp.Rows.begin() + (p * height + y) * width);
    }
  }
  const TTIFFGraphic expected = Load(topDown), flipped = Load(bottomUp);
  EXPECT_TRUE(std::equal(flipped.Bits().begin(), flipped.Bits().end(), expected.Bits().begin(),
                         expected.Bits().end()));
}

TEST(TIFFGraphicTest, DepthsBeyondTheRendererAreReducedToEightBits) {
  // 16-bit palette: too many colours for a bitmap palette, so 24-bit.
  TTiffSample palette = Sample(2, 1, 16, 1, PHOTOMETRIC_PALETTE, Words({40000, 1}));
  palette.ColourMap.assign(3 * 65536, 0);
  palette.ColourMap[40000] = 0xFFFF;      // red of entry 40000
  palette.ColourMap[65536 + 1] = 0x8080;  // green of entry 1
  const TTIFFGraphic indexed = Load(palette);
  ASSERT_EQ(indexed.BitsPerPixel(), 24);
  EXPECT_EQ(Row(indexed, 0, 6), (TBytes{0, 0, 255, 0, 128, 0}));

  // 12-bit RGB in separate planes, two pixels packed into three bytes per plane.
  TTiffSample planes =
      Sample(2, 1, 12, 3, PHOTOMETRIC_RGB, {0xFF, 0xF0, 0x00, 0x80, 0x00, 0x01, 0x00, 0x18, 0x00});
  planes.Planar = PLANARCONFIG_SEPARATE;
  const TTIFFGraphic rgb = Load(planes);
  ASSERT_EQ(rgb.BitsPerPixel(), 24);
  EXPECT_EQ(Row(rgb, 0, 6), (TBytes{0, 128, 255, 128, 0, 0}));

  // A variant nobody decodes is refused in our words, not the library's.
  const std::string message =
      test::LoadError<TTIFFGraphic>(MakeTiff(Sample(2, 1, 8, 2, PHOTOMETRIC_RGB, {1, 2, 3, 4})));
  EXPECT_EQ(message.find("Sorry"), std::string::npos) << message;
}

TEST(TIFFGraphicTest, DamagedFilesAreRefusedWithTheirReason) {
  using K = TGraphicFault;
  const TBytes good = MakeTiff(Sample(40, 40, 8, 3, PHOTOMETRIC_RGB, TBytes(40 * 40 * 3, 9)));
  // libtiff writes the directory after the pixels, so a cut keeps the header but loses the rest.
  test::ExpectRefusals(TTIFFGraphic::ClassInfo, good,
                       {{"header cut", {}, K::Truncated, 6},
                        {"directory lost", {}, K::Truncated, 2000},
                        {"not TIFF", {{0, 'B'}, {1, 'M'}}, K::NotThisFormat}});
  test::ExpectRefusals(
      TTIFFGraphic::ClassInfo,
      {{"two samples of RGB", MakeTiff(Sample(2, 1, 8, 2, PHOTOMETRIC_RGB, {1, 2, 3, 4})),
        K::Unsupported}});
  TTIFFGraphic tiff;
  EXPECT_TRUE(
      LoadFailsWith(tiff, TBytes{'B', 'M', 1, 2, 3, 4, 5, 6}, InvalidFormatMessage("TIFF")));
  tiff.LoadFromBytes(good);
  EXPECT_EQ(tiff.Width(), 40);
}

TBytes MakeEps(const TBytes& preview) {
  TBytes eps = {0xC5, 0xD0, 0xD3, 0xC6};
  eps.resize(30, 0);
  const std::uint32_t offset = 30, length = static_cast<std::uint32_t>(preview.size());
  std::memcpy(eps.data() + 20, &offset, 4);  // little-endian on the test machines
  std::memcpy(eps.data() + 24, &length, 4);
  eps.insert(eps.end(), preview.begin(), preview.end());
  return eps;
}

TEST(TIFFGraphicTest, EpsShowsItsTiffPreview) {
  const TBytes preview = MakeTiff(Sample(2, 1, 8, 3, PHOTOMETRIC_RGB, {1, 2, 3, 4, 5, 6}));
  TEPSGraphic eps = test::Decoded<TEPSGraphic>(MakeEps(preview));
  ASSERT_EQ(eps.BitsPerPixel(), 24);
  EXPECT_EQ(Row(eps, 0, 6), (TBytes{3, 2, 1, 6, 5, 4}));

  TBytes cut = MakeEps(preview);
  cut.resize(cut.size() - 10);
  TBytes noPreview = MakeEps(preview);
  std::fill(noPreview.begin() + 20, noPreview.begin() + 28, 0);
  using K = TGraphicFault;
  test::ExpectRefusals(
      TEPSGraphic::ClassInfo,
      {{"a bare TIFF", preview, K::NotThisFormat},
       {"PostScript text", {'%', '!', 'P', 'S', '-', 'A', 'd', 'o', 'b', 'e'}, K::NotThisFormat},
       {"preview cut", cut, K::Truncated},
       {"no preview", noPreview, K::Unsupported},
       {"preview that is not TIFF", MakeEps(TBytes(preview.size(), 0x42)), K::NotThisFormat}});
  EXPECT_TRUE(LoadFailsWith(eps, TBytes(preview), InvalidFormatMessage("EPS")));
}

}  // namespace
}  // namespace pennacrow
