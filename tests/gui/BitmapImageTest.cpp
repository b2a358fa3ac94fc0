// The screen image of the working bitmap: every depth and pixel layout shows GetPixel's colours,
// whether the row goes through a direct loop or the row reader's tables.

#include <gtest/gtest.h>

#include <random>

#include "app/BitmapImage.h"
#include "picture/Bitmap.h"

namespace pennacrow {
namespace {

TBitmap Noise(int width, int height, int bitsPerPixel, std::uint32_t seed) {
  TBitmap bitmap(width, height, bitsPerPixel);
  std::mt19937 random(seed);
  for (std::uint8_t& b : bitmap.MutableBits()) b = static_cast<std::uint8_t>(random());
  return bitmap;
}

void ExpectShowsGetPixel(const TBitmap& bitmap, int firstRow, int lastRow) {
  const QImage image = ToQImage(bitmap, firstRow, lastRow);
  ASSERT_EQ(image.width(), bitmap.Width());
  ASSERT_EQ(image.height(), lastRow - firstRow);
  for (int y = firstRow; y < lastRow; ++y) {
    for (int x = 0; x < bitmap.Width(); ++x) {
      const TRGBQuad c = bitmap.GetPixel(x, y);
      ASSERT_EQ(image.pixel(x, y - firstRow), qRgb(c.Red, c.Green, c.Blue)) << x << "," << y;
    }
  }
}

TEST(BitmapImage, EveryLayoutShowsTheColoursGetPixelGives) {
  for (const int depth : {1, 4, 8, 15, 16, 24, 32}) {
    SCOPED_TRACE(depth);
    TBitmap bitmap = Noise(37, 11, depth, static_cast<std::uint32_t>(depth));
    // A short colour table: indices past it show black.
    for (int i = 0; i < (depth <= 8 ? std::min(1 << depth, 200) : 0); ++i) {
      bitmap.Palette().push_back(RGB(static_cast<std::uint8_t>(i * 7),
                                     static_cast<std::uint8_t>(255 - i),
                                     static_cast<std::uint8_t>(i * 13)));
    }
    ExpectShowsGetPixel(bitmap, 0, bitmap.Height());
  }
  TBitmap rgb565 = Noise(37, 11, 16, 40);
  rgb565.SetColorMasks(0xF800, 0x07E0, 0x001F);
  ExpectShowsGetPixel(rgb565, 0, rgb565.Height());
  TBitmap masked32 = Noise(37, 11, 32, 41);
  masked32.SetColorMasks(0x3FF00000, 0x000FFC00, 0x000003FF);
  ExpectShowsGetPixel(masked32, 0, masked32.Height());
}

TEST(BitmapImage, RowRangesAreClampedToThePicture) {
  const TBitmap bitmap = Noise(9, 7, 8, 3);
  ExpectShowsGetPixel(bitmap, 2, 5);
  EXPECT_EQ(ToQImage(bitmap, -4, 99).height(), 7);
  EXPECT_TRUE(ToQImage(bitmap, 5, 2).isNull());
}

}  // namespace
}  // namespace pennacrow
