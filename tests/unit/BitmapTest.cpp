#include <gtest/gtest.h>

#include <cstring>

#include "TestUtil.h"
#include "formats/Registry.h"
#include "picture/Bitmap.h"
#include "picture/Errors.h"
#include "picture/FractalImage.h"
#include "picture/PixelLimits.h"

namespace pennacrow {
namespace {

using test::PatternBitmap;

// Row bytes that hold pixels (padding excluded), for comparing pictures whose padding differs.
void ExpectSamePixels(const TBitmap& a, const TBitmap& b) {
  ASSERT_EQ(a.Width(), b.Width());
  ASSERT_EQ(a.Height(), b.Height());
  ASSERT_EQ(a.BitsPerPixel(), b.BitsPerPixel());
  EXPECT_EQ(a.Palette(), b.Palette());
  for (int y = 0; y < a.Height(); ++y) {
    for (int x = 0; x < a.Width(); ++x) {
      ASSERT_EQ(a.GetPixel(x, y), b.GetPixel(x, y)) << "pixel " << x << "," << y;
    }
  }
}

// Width, bits per pixel, row bytes; 15-bit pixels take 16-bit words.
TEST(Bitmap, RowLengthFollowsTheDwordRule) {
  const std::array<int, 3> cases[] = {{100, 1, 16}, {5, 4, 4},     {10, 8, 12}, {17, 15, 36},
                                      {17, 16, 36}, {47, 24, 144}, {3, 32, 12}};
  for (const auto& [width, bpp, bytes] : cases) {
    EXPECT_EQ(TBitmap(width, 1, bpp).RowLength(), static_cast<std::size_t>(bytes)) << bpp;
  }
}
TEST(Bitmap, RowAtOutsideThePictureFails) {
  TBitmap bitmap(4, 3, 24);
  EXPECT_NO_THROW(bitmap.RowAt(0));
  EXPECT_NO_THROW(bitmap.RowAt(2));
  for (int r : {-1, 3, 1000}) {
    try {
      bitmap.RowAt(r);
      FAIL() << "row " << r;
    } catch (const EInvalidGraphicOperation& e) {
      EXPECT_STREQ(e.what(), "扫描行索引越界");
    }
  }
  TBitmap empty;
  EXPECT_THROW(empty.RowAt(0), EInvalidGraphicOperation);
  EXPECT_THROW(empty.ConstRowAt(0), EInvalidGraphicOperation);
}

TEST(Bitmap, RowZeroIsTheTopRowOfABottomUpFile) {
  TBitmap bitmap(2, 2, 24);
  bitmap.SetPixel(0, 0, RGB(1, 2, 3));  // top left
  const std::vector<std::uint8_t> file = bitmap.SaveToBytes();
  // Rows are stored bottom row first: the top row is the last in the file.
  EXPECT_EQ(file[54 + 8 + 0], 3);
  EXPECT_EQ(file[54 + 8 + 2], 1);
  TBitmap back = test::Decoded<TBitmap>(file);
  EXPECT_EQ(back.ConstRowAt(0)[0], 3);
}

TEST(Bitmap, SizeLimitIsCheckedBeforeAllocating) {
  TBitmap bitmap;
  EXPECT_THROW(bitmap.Allocate(70000, 70000, 24), EInvalidGraphicFormat);
  EXPECT_THROW(bitmap.Allocate(-1, 4, 24), EInvalidGraphicFormat);
  try {
    CheckPictureSize("BMP", 1 << 30, 1 << 30, 32);
    FAIL();
  } catch (const EInvalidGraphicFormat& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find("BMP"), std::string::npos);
    EXPECT_NE(message.find("1073741824x1073741824"), std::string::npos);
    EXPECT_NE(message.find("268435456"), std::string::npos);
    EXPECT_EQ(e.Kind(), TGraphicFault::TooLarge);
  }
  // Exactly at each limit a picture is allowed; one past it is refused. 16384 x 16384 is the
  // pixel limit and, at 32 bits, exactly the byte limit too.
  EXPECT_NO_THROW(CheckPictureSize("BMP", 16384, 16384, 32));
  EXPECT_THROW(CheckPictureSize("BMP", 16385, 16384, 8), EInvalidGraphicFormat);
  EXPECT_THROW(CheckPictureSize("BMP", 16384, 16385, 1), EInvalidGraphicFormat);
  const TPixelLimits small{1000, 400};  // 100 rows of 4 bytes
  EXPECT_NO_THROW(CheckPictureSize(small, "BMP", 1, 100, 32));
  EXPECT_THROW(CheckPictureSize(small, "BMP", 1, 101, 32), EInvalidGraphicFormat);
}

TEST(Bitmap, SetSizeKeepsTheTopLeftAndFillsWhite) {
  TBitmap bitmap = PatternBitmap(3, 2, 24);
  const TRGBQuad corner = bitmap.GetPixel(2, 1);
  bitmap.SetSize(5, 4);
  EXPECT_EQ(bitmap.GetPixel(2, 1), corner);
  EXPECT_EQ(bitmap.GetPixel(4, 3), RGB(255, 255, 255));
  EXPECT_EQ(bitmap.GetPixel(0, 3), RGB(255, 255, 255));
  bitmap.SetSize(1, 1);
  EXPECT_EQ(bitmap.Width(), 1);
  EXPECT_EQ(bitmap.BitsPerPixel(), 24);
}

TEST(Bitmap, ConversionTo24BitsKeepsColours) {
  for (int bpp : {1, 4, 8, 16, 32}) {
    TBitmap bitmap = PatternBitmap(13, 5, bpp);
    TBitmap converted = bitmap;
    converted.SetBitsPerPixel(24);
    EXPECT_EQ(converted.BitsPerPixel(), 24);
    for (int y = 0; y < 5; ++y) {
      for (int x = 0; x < 13; ++x) {
        TRGBQuad expected = bitmap.GetPixel(x, y);
        expected.Reserved = 0;
        ASSERT_EQ(converted.GetPixel(x, y), expected) << bpp << " bits at " << x << "," << y;
      }
    }
  }
}

TEST(Bitmap, SixteenBitWordsWidenToFullRange) {
  TBitmap bitmap(2, 1, 16);
  bitmap.RowAt(0)[0] = 0xFF;  // 5-5-5 white
  bitmap.RowAt(0)[1] = 0x7F;
  EXPECT_EQ(bitmap.GetPixel(0, 0), RGB(255, 255, 255));
  bitmap.SetColorMasks(0xF800, 0x07E0, 0x001F);
  bitmap.RowAt(0)[2] = 0xE0;  // 5-6-5 pure green
  bitmap.RowAt(0)[3] = 0x07;
  EXPECT_EQ(bitmap.GetPixel(1, 0), RGB(0, 255, 0));
}

// Every layout survives a save and a load unchanged: size, depth, palette and pixels.
class BmpRoundTrip : public ::testing::TestWithParam<int> {};

TEST_P(BmpRoundTrip, KeepsLayoutAndPixels) {
  const int bpp = GetParam();
  TBitmap original = PatternBitmap(47, 33, bpp);
  if (bpp == 16) original.SetColorMasks(0xF800, 0x07E0, 0x001F);
  TBitmap back = test::Decoded<TBitmap>(original.SaveToBytes());
  ExpectSamePixels(original, back);
  EXPECT_EQ(back.HasColorMasks(), bpp == 16);
  // Pixel bytes are kept exactly, not just their colours.
  const std::size_t used = (47 * static_cast<std::size_t>(bpp == 15 ? 16 : bpp) + 7) / 8;
  for (int y = 0; y < 33; ++y) {
    if (bpp >= 8) {
      ASSERT_EQ(0, std::memcmp(original.ConstRowAt(y), back.ConstRowAt(y), used)) << y;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AllDepths, BmpRoundTrip, ::testing::Values(1, 4, 8, 15, 16, 24, 32));

TEST(Bmp, WriterHeaderFields) {
  TBitmap bitmap = PatternBitmap(3, 2, 8);
  bitmap.Palette().resize(5);
  const std::vector<std::uint8_t> file = bitmap.SaveToBytes();
  auto u32 = [&](std::size_t at) {
    return file[at] | file[at + 1] << 8 | file[at + 2] << 16 | std::uint32_t{file[at + 3]} << 24;
  };
  EXPECT_EQ(file[0], 'B');
  EXPECT_EQ(file[1], 'M');
  // The pixel offset after the 5-entry table; a positive height: bottom row first; no
  // compression; the image size, row length x height; colours used: the entries written.
  const std::pair<std::size_t, std::size_t> fields[] = {
      {2, file.size()}, {10, 14 + 40 + 5 * 4}, {14, 40}, {18, 3}, {22, 2}, {30, 0}, {34, 8},
      {46, 5}};
  for (const auto& [at, value] : fields) EXPECT_EQ(u32(at), value) << "at " << at;
}

TEST(Bmp, TopDownFileReadsWithRowZeroOnTop) {
  TBitmap bitmap = PatternBitmap(5, 4, 24);
  std::vector<std::uint8_t> file = bitmap.SaveToBytes();
  // Turn the file into a top-down one: negative height, rows reversed.
  const std::int32_t negative = -4;
  std::memcpy(&file[22], &negative, 4);
  const std::size_t row = bitmap.RowLength();
  std::vector<std::uint8_t> pixels(file.begin() + 54, file.end());
  for (int r = 0; r < 4; ++r) {
    std::memcpy(&file[54 + r * row], &pixels[(3 - r) * row], row);
  }
  TBitmap back = test::Decoded<TBitmap>(file);
  ExpectSamePixels(bitmap, back);
}

TEST(Bmp, Os2FileIsWrittenBackInItsOwnForm) {
  // A 12-byte-header file of 2 x 2 pixels at 1 bit with a 2-entry table of 3-byte entries.
  const std::vector<std::uint8_t> file = {
      'B',  'M', 40, 0,   0,    0,   0, 0, 0, 0, 32, 0, 0, 0,  // file header
      12,   0,   0,  0,   2,    0,   2, 0, 1, 0, 1,  0,        // OS/2 header
      0,    0,   0,  255, 255,  255,                           // black, white
      0x40, 0,   0,  0,   0x80, 0,   0, 0};                    // bottom row, top row
  TBitmap bitmap = test::Decoded<TBitmap>(file);
  EXPECT_TRUE(bitmap.FileInfo().Os2);
  EXPECT_EQ(bitmap.BitsPerPixel(), 1);
  EXPECT_EQ(bitmap.GetPixel(0, 0), RGB(255, 255, 255));
  EXPECT_EQ(bitmap.GetPixel(1, 1), RGB(255, 255, 255));
  EXPECT_EQ(bitmap.GetPixel(1, 0), RGB(0, 0, 0));
  EXPECT_EQ(bitmap.SaveToBytes(), file);
}

std::vector<std::uint8_t> Rle8File(const std::vector<std::uint8_t>& runs, int width, int height) {
  std::vector<std::uint8_t> file(54 + 4 * 2, 0);
  file[0] = 'B';
  file[1] = 'M';
  const std::uint32_t offset = 54 + 8;
  std::memcpy(&file[10], &offset, 4);
  file[14] = 40;
  std::memcpy(&file[18], &width, 4);
  std::memcpy(&file[22], &height, 4);
  file[26] = 1;
  file[28] = 8;
  file[30] = 1;         // RLE8
  file[46] = 2;         // two colours
  file[54 + 4] = 0xFF;  // entry 1: blue
  for (std::uint8_t b : runs) file.push_back(b);
  const std::uint32_t size = static_cast<std::uint32_t>(file.size());
  std::memcpy(&file[2], &size, 4);
  return file;
}

TEST(Bmp, RunLengthFileIsWrittenBackByteForByteUntilChanged) {
  // Bottom row: 3 pixels of colour 1; top row: literal 0 1 0.
  const auto file = Rle8File({3, 1, 0, 0, 0, 3, 0, 1, 0, 0, 0, 1}, 3, 2);
  TBitmap bitmap = test::Decoded<TBitmap>(file);
  EXPECT_EQ(bitmap.BitsPerPixel(), 24);
  EXPECT_EQ(bitmap.GetPixel(1, 0), RGB(0, 0, 255));
  EXPECT_EQ(bitmap.GetPixel(0, 0), RGB(0, 0, 0));
  EXPECT_EQ(bitmap.GetPixel(2, 1), RGB(0, 0, 255));
  EXPECT_EQ(bitmap.SaveToBytes(), file);
  // Reading a row does not count as a change; writing one does.
  (void)bitmap.ConstRowAt(0);
  EXPECT_EQ(bitmap.SaveToBytes(), file);
  bitmap.RowAt(0)[0] ^= 1;
  const auto rewritten = bitmap.SaveToBytes();
  EXPECT_NE(rewritten, file);
  TBitmap back = test::Decoded<TBitmap>(rewritten);
  EXPECT_EQ(back.BitsPerPixel(), 24);
  EXPECT_EQ(back.ConstRowAt(0)[0], 1);
}

TEST(Bmp, RunsMayCoverTheRowPadding) {
  // Width 3 pads to 4 pixels at 8 bits; a run of 4 codes the padding pixel too.
  TBitmap bitmap = test::Decoded<TBitmap>(Rle8File({4, 1, 0, 0, 0, 1}, 3, 1));
  EXPECT_EQ(bitmap.GetPixel(2, 0), RGB(0, 0, 255));
}

TEST(Bmp, DamagedFilesGiveAClearError) {
  const std::vector<std::uint8_t> good = PatternBitmap(9, 7, 8).SaveToBytes();
  auto expectInvalid = [](const std::vector<std::uint8_t>& bytes, const char* what) {
    TBitmap bitmap;
    EXPECT_THROW(bitmap.LoadFromBytes(bytes), EInvalidGraphicFormat) << what;
  };
  expectInvalid({}, "empty");
  expectInvalid({'B', 'M'}, "header only");
  for (std::size_t cut : {std::size_t{20}, std::size_t{54}, std::size_t{100}, good.size() - 1}) {
    expectInvalid(std::vector<std::uint8_t>(good.begin(), good.begin() + cut), "truncated");
  }
  auto patched = [&](std::size_t at, std::uint32_t value) {
    std::vector<std::uint8_t> bytes = good;
    std::memcpy(&bytes[at], &value, 4);
    return bytes;
  };
  expectInvalid(patched(10, 0xFFFFFFF0u), "pixel offset outside the file");
  expectInvalid(patched(14, 1000), "header size");
  expectInvalid(patched(18, 0x7FFFFFFF), "absurd width");
  expectInvalid(patched(22, 0), "zero height");
  {
    // A colours-used count beyond what 8 bits can index: the first 256 entries are the table.
    TBitmap bitmap = test::Decoded<TBitmap>(patched(46, 100000));
    EXPECT_EQ(bitmap.Palette().size(), 256u);
  }
  std::vector<std::uint8_t> trueColour = PatternBitmap(9, 7, 24).SaveToBytes();
  trueColour[46] = 200;
  expectInvalid(trueColour, "colour table larger than the file");
  expectInvalid(patched(30, 4), "JPEG compression");
  // RLE runs that overrun a row or the picture.
  expectInvalid(Rle8File({5, 1, 0, 1}, 3, 1), "run past the padded row");
  expectInvalid(Rle8File({0, 0, 0, 0, 3, 1, 0, 1}, 3, 1), "rows past the picture");
  expectInvalid(Rle8File({0, 5, 1, 1}, 3, 1), "literal cut short");
}

TEST(PictureControl, LoadFailureLeavesTheWorkingBitmapAlone) {
  test::TTempDir dir;
  TFractalImage picture(FileFormats());
  const TBitmap original = PatternBitmap(6, 4, 24);
  original.SaveToFile(dir.Path("a.bmp"));
  picture.LoadPictureFile(dir.Path("a.bmp"));
  test::WriteFileBytes(dir.Path("broken.bmp"), {'B', 'M', 1, 2, 3});
  EXPECT_THROW(picture.LoadPictureFile(dir.Path("broken.bmp")), EInvalidGraphicFormat);
  try {
    picture.LoadPictureFile(dir.Path("picture.xyz"));
    FAIL();
  } catch (const EInvalidGraphic& e) {
    EXPECT_STREQ(e.what(), "未知图片文件扩展(.xyz)");
  }
  EXPECT_THROW(picture.LoadPictureFile(dir.Path("noextension")), EInvalidGraphic);
  ExpectSamePixels(picture.PictureBitmap(), original);
}

TEST(PictureControl, BmpSaveOfNoPictureAndOfTheEmptyBitmap) {
  test::TTempDir dir;
  TFractalImage picture(FileFormats());
  picture.SaveToFile(dir.Path("none.bmp"));
  EXPECT_FALSE(std::filesystem::exists(dir.Path("none.bmp")));
  EXPECT_EQ(picture.PictureWidth(), 0);
  EXPECT_EQ(picture.PictureBitmap().Height(), 0);  // creates the empty bitmap
  EXPECT_THROW(picture.PictureBitmap().RowAt(0), EInvalidGraphicOperation);
  picture.SaveToFile(dir.Path("empty.bmp"));
  ASSERT_TRUE(std::filesystem::exists(dir.Path("empty.bmp")));
  EXPECT_EQ(std::filesystem::file_size(dir.Path("empty.bmp")), 0u);
}

TEST(PictureControl, SaveReplacesTheOldFileAtomically) {
  test::TTempDir dir;
  const std::string target = dir.Path("out.bmp");
  test::WriteFileBytes(target, {1, 2, 3});
  PatternBitmap(4, 4, 24).SaveToFile(target);
  EXPECT_EQ(std::filesystem::file_size(target), 54u + 48u);
  EXPECT_THROW(PatternBitmap(4, 4, 24).SaveToFile(dir.Path("missing/dir/out.bmp")), EFileError);
  // No temporary file left behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path("")), {}), 1);
}

}  // namespace
}  // namespace pennacrow
