#include <gtest/gtest.h>

#include "TestUtil.h"
#include "formats/Registry.h"
#include "picture/Errors.h"
#include "picture/FractalImage.h"
#include "picture/FractalPainters.h"

namespace pennacrow {
namespace {

TEST(FractalImage, WritingActiveTruePaintsAndReadsBackFalse) {
  TFractalImage image(FileFormats());
  image.SetActive(false);
  EXPECT_FALSE(image.HasPicture());
  image.SetActive(true);
  EXPECT_FALSE(image.Active());
  ASSERT_TRUE(image.HasPicture());
  const TBitmap& b = image.PictureBitmap();
  EXPECT_EQ(b.Width(), 827);
  EXPECT_EQ(b.Height(), 402);
  EXPECT_EQ(b.BitsPerPixel(), 24);
  EXPECT_EQ(b.GetPixel(0, 0), GetFractalColor(1));
}

TEST(FractalImage, FailedPaintDoesNotLeaveTheTriggerStuck) {
  TFractalImage image(FileFormats());
  image.ControlWidth = -5;
  EXPECT_THROW(image.SetActive(true), EPennacrowError);
  EXPECT_FALSE(image.Active());
  image.ControlWidth = 20;
  image.ControlHeight = 10;
  image.SetActive(true);
  EXPECT_EQ(image.PictureWidth(), 20);
}

TEST(FractalImage, EmptyBitmapOfAnyDepthBecomesTwentyFourBits) {
  TFractalImage image(FileFormats());
  image.PictureBitmap() = TBitmap(0, 0, 8);
  image.ControlWidth = 30;
  image.ControlHeight = 20;
  image.PaintFractal();
  EXPECT_EQ(image.PictureBitmap().BitsPerPixel(), 24);
  EXPECT_EQ(image.PictureHeight(), 20);
}

TEST(FractalImage, MandelbrotOverAnEightBitPictureKeepsDepthAndColourTable) {
  TFractalImage image(FileFormats());
  image.PictureBitmap() = test::PatternBitmap(40, 50, 8);
  const std::vector<TRGBQuad> palette = image.PictureBitmap().Palette();
  image.ControlWidth = 64;
  image.ControlHeight = 32;
  image.PaintFractal();
  const TBitmap& b = image.PictureBitmap();
  ASSERT_EQ(b.BitsPerPixel(), 8);
  ASSERT_EQ(b.Width(), 64);
  ASSERT_EQ(b.Height(), 32);
  EXPECT_EQ(b.Palette(), palette);

  TBitmap truth(64, 32, 24);
  DrawEscapeTime(truth, TFractalProperties(), TEscapeTimeMode::Mandelbrot);
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 64; ++x) {
      const int expected = b.NearestPaletteIndex(truth.GetPixel(x, y));
      ASSERT_EQ(b.ConstRowAt(y)[x], expected) << x << "," << y;
    }
  }
}

TEST(FractalImage, IfsPaintsWithTheSameSeedAreIdentical) {
  TFractalImage first(FileFormats()), second(FileFormats());
  for (TFractalImage* image : {&first, &second}) {
    image->FractalProperties.ChangeFractalType(ftCurl);
    image->FractalProperties.Seed = 86399999;
    image->SetActive(true);
  }
  EXPECT_TRUE(std::ranges::equal(first.PictureBitmap().Bits(), second.PictureBitmap().Bits()));
}

}  // namespace
}  // namespace pennacrow
