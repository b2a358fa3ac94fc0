#include <gtest/gtest.h>

#include <cstdlib>

#include "DecoderSamples.h"
#include "SampleBuilder.h"
#include "TestUtil.h"
#include "formats/JPEGImage.h"

namespace pennacrow {
namespace {

using test::LoadFailsWith;
using test::MakeJpeg;
using test::TBytes;

TEST(JPEGImageTest, ColourFilesGiveTwentyFourBitsInBlueGreenRedOrder) {
  TBytes rgb;
  for (int i = 0; i < 16 * 8; ++i) rgb.insert(rgb.end(), {200, 100, 50});
  TJPEGImage jpeg = test::Decoded<TJPEGImage>(MakeJpeg(16, 8, 3, rgb));
  const TBitmap* bitmap = jpeg.GetBitmap();
  ASSERT_NE(bitmap, nullptr);
  ASSERT_EQ(bitmap->BitsPerPixel(), 24);
  EXPECT_FALSE(jpeg.Grayscale());
  EXPECT_EQ(jpeg.Width(), 16);
  EXPECT_EQ(jpeg.Height(), 8);
  const std::uint8_t* p = bitmap->ConstRowAt(7) + 3 * 15;
  EXPECT_NEAR(p[0], 50, 2);
  EXPECT_NEAR(p[1], 100, 2);
  EXPECT_NEAR(p[2], 200, 2);
}

TEST(JPEGImageTest, GreyFilesGiveEightBitsWithAtMost236Levels) {
  TBytes grey;
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 256; ++x) grey.push_back(static_cast<std::uint8_t>(x & 0xF0));
  }
  TJPEGImage jpeg = test::Decoded<TJPEGImage>(MakeJpeg(256, 8, 1, grey));
  const TBitmap& bitmap = *jpeg.GetBitmap();
  ASSERT_EQ(bitmap.BitsPerPixel(), 8);
  EXPECT_TRUE(jpeg.Grayscale());
  ASSERT_EQ(bitmap.Palette().size(), 236u);
  EXPECT_EQ(bitmap.Palette().front(), RGB(0, 0, 0));
  EXPECT_EQ(bitmap.Palette().back(), RGB(255, 255, 255));
  for (int x = 8; x < 256; x += 16) {  // the middle of each flat band
    const int index = bitmap.ConstRowAt(4)[x];
    ASSERT_LT(index, 236);
    EXPECT_NEAR(bitmap.Palette()[index].Red, x & 0xF0, 3) << x;
  }
}

TEST(JPEGImageTest, GreyLevelsAreSpreadEvenly) {
  EXPECT_EQ(JpegGreyIndex(0), 0);
  EXPECT_EQ(JpegGreyIndex(255), 235);
  for (int v = 1; v < 256; ++v) {
    const int step = JpegGreyIndex(static_cast<std::uint8_t>(v)) -
                     JpegGreyIndex(static_cast<std::uint8_t>(v - 1));
    EXPECT_TRUE(step == 0 || step == 1) << v;
  }
}

TEST(JPEGImageTest, DamagedFilesAreRefusedWithTheirReason) {
  const TBytes good = MakeJpeg(32, 32, 3, TBytes(32 * 32 * 3, 77), 90);
  std::size_t frame = 0;  // the baseline frame header
  while (frame + 6 < good.size() && !(good[frame] == 0xFF && good[frame + 1] == 0xC0)) ++frame;
  ASSERT_LT(frame + 6, good.size());
  using K = TGraphicFault;
  test::ExpectRefusals(TJPEGImage::ClassInfo, good,
                       {{"header cut", {}, K::Truncated, 300},
                        {"scan cut", {}, K::Truncated, good.size() - 40},
                        // 12-bit precision, which this build does not decode
                        {"12-bit samples", {{frame + 4, 12}}, K::Unsupported},
                        {"frame of height 0", {{frame + 5, 0}, {frame + 6, 0}}, K::Damaged}});
  test::ExpectRefusals(
      TJPEGImage::ClassInfo,
      {{"empty", {}, K::NotThisFormat}, {"not JPEG", {'B', 'M', 0, 0, 0, 0}, K::NotThisFormat}});
  TJPEGImage jpeg;
  EXPECT_TRUE(LoadFailsWith(jpeg, TBytes{}, InvalidFormatMessage("JPEG")));
  jpeg.LoadFromBytes(good);
  EXPECT_EQ(jpeg.Width(), 32);
}

}  // namespace
}  // namespace pennacrow
