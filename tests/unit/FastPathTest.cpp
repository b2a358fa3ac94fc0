// The fast paths of loading, converting and saving give exactly what the pixel-by-pixel and
// copy-everything paths they replace give.

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <stdexcept>
#include <tuple>

#include "TestUtil.h"
#include "base/FileIO.h"
#include "formats/PngWriter.h"
#include "formats/Registry.h"
#include "picture/Bitmap.h"
#include "picture/Errors.h"
#include "picture/FractalImage.h"

namespace pennacrow {
namespace {

using test::PatternBitmap;

// The conversion done one pixel at a time through GetPixel and SetPixel.
TBitmap SlowConversion(const TBitmap& source, int bitsPerPixel) {
  TBitmap result(source.Width(), source.Height(), bitsPerPixel);
  if (bitsPerPixel <= 8) result.Palette() = source.Palette();
  for (int y = 0; y < source.Height(); ++y) {
    for (int x = 0; x < source.Width(); ++x) {
      TRGBQuad c = source.GetPixel(x, y);
      if (bitsPerPixel == 32 && source.BitsPerPixel() != 32) c.Reserved = 0;
      result.SetPixel(x, y, c);
    }
  }
  return result;
}

// Sources of every depth and pixel layout: indexed with full, short and no-gap palettes, 5-5-5
// words, 5-6-5 and odd bit-field masks, plain and masked 32 bits.
std::vector<std::pair<std::string, TBitmap>> Sources() {
  std::vector<std::pair<std::string, TBitmap>> sources;
  for (const int depth : {1, 4, 8, 15, 16, 24, 32}) {
    TBitmap b = PatternBitmap(47, 33, depth, 7);
    // Indexed targets need a colour table; a few colours repeat so ties are exercised.
    if (depth > 8) b.Palette() = PatternBitmap(1, 1, 8, 3).Palette();
    sources.emplace_back(std::to_string(depth), b);
  }
  TBitmap shortPalette = PatternBitmap(47, 33, 8, 9);
  shortPalette.Palette().resize(100);  // indices past the table read as black
  sources.emplace_back("8 short palette", shortPalette);
  TBitmap rgb565 = PatternBitmap(47, 33, 16, 11);
  rgb565.SetColorMasks(0xF800, 0x07E0, 0x001F);
  rgb565.Palette() = {RGB(0, 0, 0), RGB(255, 255, 255), RGB(255, 0, 0), RGB(0, 255, 0)};
  sources.emplace_back("16 masks 565", rgb565);
  TBitmap masked32 = PatternBitmap(47, 33, 32, 13);
  masked32.SetColorMasks(0x3FF00000, 0x000FFC00, 0x000003FF);  // 10-10-10
  masked32.Palette() = rgb565.Palette();
  sources.emplace_back("32 masks 10-10-10", masked32);
  TBitmap narrow32 = PatternBitmap(47, 33, 32, 15);
  narrow32.SetColorMasks(0x0000000F, 0x000000F0, 0x00000F00);  // 4 bits each, widened
  narrow32.Palette() = rgb565.Palette();
  sources.emplace_back("32 masks 4-4-4", narrow32);
  return sources;
}

TEST(FastConversion, EveryDepthPairMatchesThePixelByPixelConversion) {
  for (const auto& [name, source] : Sources()) {
    for (const int target : {1, 4, 8, 15, 16, 24, 32}) {
      if (target == source.BitsPerPixel()) continue;
      SCOPED_TRACE(name + " -> " + std::to_string(target));
      const TBitmap expected = SlowConversion(source, target);
      TBitmap converted = source;
      converted.SetBitsPerPixel(target);
      ASSERT_EQ(converted.BitsPerPixel(), target);
      ASSERT_EQ(converted.RowLength(), expected.RowLength());
      EXPECT_EQ(converted.Palette(), target <= 8 ? source.Palette() : std::vector<TRGBQuad>{});
      EXPECT_FALSE(converted.HasColorMasks());
      ASSERT_TRUE(std::equal(converted.Bits().begin(), converted.Bits().end(),
                             expected.Bits().begin(), expected.Bits().end()));
    }
  }
}

TEST(FastConversion, PaddingStaysZeroAndOddWidthsKeepTheirLastPixel) {
  for (const int width : {1, 7, 9, 31, 33}) {
    TBitmap source = PatternBitmap(width, 3, 32, 5);
    source.Palette() = {RGB(0, 0, 0), RGB(255, 255, 255)};
    for (const int target : {1, 4, 24}) {
      TBitmap converted = source;
      converted.SetBitsPerPixel(target);
      const TBitmap expected = SlowConversion(source, target);
      EXPECT_TRUE(std::equal(converted.Bits().begin(), converted.Bits().end(),
                             expected.Bits().begin(), expected.Bits().end()))
          << width << " wide to " << target;
    }
  }
}

TEST(FastConversion, NewAreaOfMaskedPixelsIsTheWhiteSetPixelWrites) {
  for (const auto& [name, masks] : std::vector<std::pair<int, std::array<std::uint32_t, 3>>>{
           {15, {0, 0, 0}}, {16, {0xF800, 0x07E0, 0x001F}}, {32, {0x3FF00000, 0xFFC00, 0x3FF}}}) {
    TBitmap bitmap = PatternBitmap(5, 3, name, 2);
    if (name != 15) bitmap.SetColorMasks(masks[0], masks[1], masks[2]);
    TBitmap expected = bitmap;
    bitmap.SetSize(11, 6);
    for (int y = 0; y < 6; ++y) {
      for (int x = 0; x < 11; ++x) {
        TBitmap one(1, 1, name);
        if (name != 15) one.SetColorMasks(masks[0], masks[1], masks[2]);
        one.SetPixel(0, 0, x < 5 && y < 3 ? expected.GetPixel(x, y) : RGB(255, 255, 255));
        ASSERT_EQ(bitmap.GetPixel(x, y), one.GetPixel(0, 0)) << name << " at " << x << "," << y;
      }
    }
  }
}

TEST(FastConversion, NearestPaletteEntryKeepsTheFirstOfEqualEntries) {
  TBitmap bitmap(2, 2, 8);
  bitmap.Palette() = {RGB(9, 9, 9), RGB(200, 0, 0), RGB(10, 10, 10), RGB(200, 0, 0),
                      RGB(10, 10, 10)};
  EXPECT_EQ(bitmap.NearestPaletteIndex(RGB(200, 0, 0)), 1);
  EXPECT_EQ(bitmap.NearestPaletteIndex(RGB(10, 10, 10)), 2);
  EXPECT_EQ(bitmap.NearestPaletteIndex(RGB(11, 11, 11)), 2);
  EXPECT_EQ(bitmap.NearestPaletteIndex(RGB(0, 0, 0)), 0);
}

// Everything a load hands over: what Assign would copy.
void ExpectSameBitmap(const TBitmap& a, const TBitmap& b) {
  ASSERT_EQ(a.Width(), b.Width());
  ASSERT_EQ(a.Height(), b.Height());
  ASSERT_EQ(a.BitsPerPixel(), b.BitsPerPixel());
  EXPECT_EQ(a.Palette(), b.Palette());
  EXPECT_EQ(a.HasColorMasks(), b.HasColorMasks());
  EXPECT_EQ(a.ColorMasks(), b.ColorMasks());
  EXPECT_EQ(a.Transparent(), b.Transparent());
  EXPECT_EQ(a.TransparentColor(), b.TransparentColor());
  EXPECT_EQ(a.FileInfo().Os2, b.FileInfo().Os2);
  EXPECT_EQ(a.FileInfo().XPelsPerMeter, b.FileInfo().XPelsPerMeter);
  EXPECT_EQ(a.AttachedFile(), b.AttachedFile());
  EXPECT_TRUE(std::equal(a.Bits().begin(), a.Bits().end(), b.Bits().begin(), b.Bits().end()));
}

TEST(FastLoad, MovingTheDecodedBitmapGivesWhatCopyingGives) {
  test::TTempDir dir;
  TBitmap masked = PatternBitmap(21, 13, 16, 4);
  masked.SetColorMasks(0xF800, 0x07E0, 0x001F);
  masked.FileInfo().XPelsPerMeter = 2835;
  masked.SaveToFile(dir.Path("masked.bmp"));
  PatternBitmap(23, 11, 8, 2).SaveToFile(dir.Path("indexed.bmp"));
  SaveAsPNG(PatternBitmap(19, 17, 24, 6), dir.Path("rgb.png"));
  SaveAsPNG(PatternBitmap(19, 17, 4, 8), dir.Path("indexed.png"));
  for (const char* name : {"masked.bmp", "indexed.bmp", "rgb.png", "indexed.png"}) {
    SCOPED_TRACE(name);
    TFractalImage picture(FileFormats());
    picture.PictureBitmap() = PatternBitmap(5, 5, 32, 1);  // something to replace
    picture.LoadPictureFile(dir.Path(name));
    TBitmap copied = PatternBitmap(5, 5, 32, 1);
    CopyGraphicInto(*LoadGraphicFile(FileFormats(), dir.Path(name)), copied);
    ExpectSameBitmap(picture.PictureBitmap(), copied);
  }
}

TEST(FastSave, BmpFileWrittenInPiecesEqualsTheBytesBuiltInMemory) {
  test::TTempDir dir;
  std::vector<TBitmap> bitmaps;
  for (const int depth : {1, 4, 8, 15, 16, 24, 32}) bitmaps.push_back(PatternBitmap(45, 29, depth));
  TBitmap os2 = PatternBitmap(9, 5, 8);
  os2.FileInfo().Os2 = true;
  bitmaps.push_back(os2);
  TBitmap masked = PatternBitmap(9, 5, 32);
  masked.SetColorMasks(0xFF0000, 0xFF00, 0xFF);
  bitmaps.push_back(masked);
  // Rows of 3 MiB: larger than the write block, so rows also go out directly.
  bitmaps.push_back(PatternBitmap(1 << 20, 2, 24));
  for (const TBitmap& b : bitmaps) {
    b.SaveToFile(dir.Path("out.bmp"));
    EXPECT_EQ(test::ReadFileBytes(dir.Path("out.bmp")), b.SaveToBytes()) << b.BitsPerPixel();
  }
}

TEST(FastSave, PngSaveWithoutACopyEqualsTheWriterHoldingACopy) {
  test::TTempDir dir;
  for (const int depth : {1, 4, 8, 15, 16, 24, 32}) {
    TBitmap b = PatternBitmap(31, 9, depth, 12);
    b.SetTransparent(depth == 24, RGB(1, 2, 3));
    TPngWriter writer;
    writer.Assign(b);
    SaveAsPNG(b, dir.Path("out.png"));
    EXPECT_EQ(test::ReadFileBytes(dir.Path("out.png")), writer.SaveToStream()) << depth;
  }
}

TEST(AtomicWrite, PiecesOfAnySizeMakeTheFileInOrder) {
  test::TTempDir dir;
  std::vector<std::uint8_t> expected;
  WriteFileAtomically(dir.Path("f"), [&](const TByteSink& sink) {
    // Small pieces, one that crosses the 1 MiB gathering block, one larger than the block.
    for (std::size_t size :
         {std::size_t{1}, std::size_t{1000}, std::size_t{(1 << 20) - 500}, std::size_t{3000},
          std::size_t{(1 << 21) + 7}, std::size_t{0}, std::size_t{5}}) {
      std::vector<std::uint8_t> piece(size);
      for (std::size_t i = 0; i < size; ++i) piece[i] = static_cast<std::uint8_t>(i * 31 + size);
      expected.insert(expected.end(), piece.begin(), piece.end());
      sink(piece);
    }
  });
  EXPECT_EQ(test::ReadFileBytes(dir.Path("f")), expected);
  EXPECT_EQ(ReadWholeFile(dir.Path("f")), expected);
}

TEST(AtomicWrite, AFailingProducerLeavesTheOldFileAndNoTemporaryFile) {
  test::TTempDir dir;
  test::WriteFileBytes(dir.Path("f"), {9, 8, 7});
  EXPECT_THROW(WriteFileAtomically(dir.Path("f"),
                                   [](const TByteSink& sink) {
                                     const std::vector<std::uint8_t> big(3 << 20, 1);
                                     sink(big);
                                     throw std::runtime_error("stop");
                                   }),
               std::runtime_error);
  EXPECT_EQ(test::ReadFileBytes(dir.Path("f")), (std::vector<std::uint8_t>{9, 8, 7}));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path("")), {}), 1);
}

TEST(ReadWholeFile, ReadsEveryByteWhateverTheFileSays) {
  test::TTempDir dir;
  for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{65536},
                                 std::size_t{65537}, std::size_t{200001}}) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i ^ (i >> 8));
    test::WriteFileBytes(dir.Path("f"), bytes);
    EXPECT_EQ(ReadWholeFile(dir.Path("f")), bytes) << size;
  }
  // A file whose size the system reports as 0 but that has content.
  EXPECT_FALSE(ReadWholeFile("/proc/self/status").empty());
}

}  // namespace
}  // namespace pennacrow
