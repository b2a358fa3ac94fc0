#include <gtest/gtest.h>

#include "DecoderSamples.h"
#include "SampleBuilder.h"
#include "TestUtil.h"
#include "formats/GIFImage.h"

namespace pennacrow {
namespace {

using test::LoadFailsWith;
using test::MakeGif;
using test::TBytes;
using test::TGifSample;

TEST(GIFImageTest, OneBitFramesStayOneBitWithTheFileColours) {
  TGifSample sample{10, 2, {{255, 0, 0}, {0, 0, 255}}, {1, 0, 1, 1, 0, 0, 0, 0, 0, 1,  //
                                                        0, 0, 0, 0, 0, 0, 0, 0, 0, 0}};
  TGIFImage gif = test::Decoded<TGIFImage>(MakeGif(sample));
  const TBitmap& bitmap = *gif.GetBitmap();
  ASSERT_EQ(bitmap.BitsPerPixel(), 1);
  EXPECT_EQ(bitmap.RowLength(), 4u);
  EXPECT_EQ(bitmap.ConstRowAt(0)[0], 0b10110000);
  EXPECT_EQ(bitmap.ConstRowAt(0)[1] & 0xC0, 0b01000000);
  EXPECT_EQ(bitmap.Palette(), (std::vector<TRGBQuad>{RGB(255, 0, 0), RGB(0, 0, 255)}));
  EXPECT_FALSE(bitmap.Transparent());
}

TEST(GIFImageTest, DeeperFramesBecomeTwentyFourBits) {
  TGifSample sample{3, 1, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11, 12}}, {3, 0, 2}};
  TGIFImage gif = test::Decoded<TGIFImage>(MakeGif(sample));
  const TBitmap& bitmap = *gif.GetBitmap();
  ASSERT_EQ(bitmap.BitsPerPixel(), 24);
  EXPECT_EQ(TBytes(bitmap.ConstRowAt(0), bitmap.ConstRowAt(0) + 9),
            (TBytes{12, 11, 10, 3, 2, 1, 9, 8, 7}));
}

TEST(GIFImageTest, TransparentColourAndInterlacedRows) {
  TGifSample sample{1, 11, {{0, 0, 0}, {9, 9, 9}, {50, 60, 70}, {255, 255, 255}}, {}};
  for (int y = 0; y < 11; ++y) sample.Indices.push_back(static_cast<std::uint8_t>(y % 4));
  sample.Transparent = 2;
  sample.Interlace = true;
  TGIFImage gif = test::Decoded<TGIFImage>(MakeGif(sample));
  const TBitmap& bitmap = *gif.GetBitmap();
  ASSERT_EQ(bitmap.Height(), 11);
  for (int y = 0; y < 11; ++y) {
    EXPECT_EQ(bitmap.GetPixel(0, y), RGB(sample.Colours[y % 4].Red, sample.Colours[y % 4].Green,
                                         sample.Colours[y % 4].Blue))
        << y;
  }
  EXPECT_TRUE(bitmap.Transparent());
  EXPECT_EQ(bitmap.TransparentColor(), RGB(50, 60, 70));
}

TEST(GIFImageTest, DamagedFilesAreRefusedWithTheirReason) {
  TGifSample sample{40, 40, {{0, 0, 0}, {255, 255, 255}, {1, 1, 1}, {2, 2, 2}}, TBytes(1600)};
  for (std::size_t i = 0; i < sample.Indices.size(); ++i) sample.Indices[i] = (i * 7 / 3) & 3;
  const TBytes good = MakeGif(sample);
  // No colour table anywhere: the indices show as grey levels.
  TBytes noMap = {'G', 'I', 'F', '8', '9', 'a', 1, 0,    1, 0, 0x00, 0,    0, 0x2C, 0,
                  0,   0,   0,   1,   0,   1,   0, 0x00, 2, 2, 0x4C, 0x01, 0, 0x3B};
  TGIFImage gif = test::Decoded<TGIFImage>(noMap);
  EXPECT_EQ(gif.GetBitmap()->GetPixel(0, 0), RGB(1, 1, 1));
  // A file that ends after the screen with no image.
  TBytes noImage(good.begin(), good.begin() + 13 + 12);
  noImage.push_back(0x3B);
  using K = TGraphicFault;
  test::ExpectRefusals(TGIFImage::ClassInfo, good,
                       {{"screen cut", {}, K::Truncated, 8},
                        {"image data cut", {}, K::Truncated, good.size() - 30}});
  test::ExpectRefusals(TGIFImage::ClassInfo, {{"not GIF", {'P', '6'}, K::NotThisFormat},
                                              // clear, then code 7 where a literal must come
                                              {"code beyond the next table entry",
                                               test::Patched(noMap, {{25, 0x3C}}), K::Damaged},
                                              {"no image", noImage, K::Damaged}});
  EXPECT_TRUE(LoadFailsWith(gif, TBytes{'P', '6'}, InvalidFormatMessage("GIF")));
}

}  // namespace
}  // namespace pennacrow
