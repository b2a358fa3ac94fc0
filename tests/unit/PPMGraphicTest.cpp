#include <gtest/gtest.h>

#include <string>

#include "SampleBuilder.h"
#include "TestUtil.h"
#include "formats/PPMGraphic.h"

namespace pennacrow {
namespace {

using test::LoadFailsWith;
using Bytes = std::vector<std::uint8_t>;

Bytes Text(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

Bytes Raw(const std::string& header, const Bytes& body) {
  Bytes data = Text(header);
  data.insert(data.end(), body.begin(), body.end());
  return data;
}

TEST(PPMGraphicTest, BitmapsGiveOneBitWithSetBitsBlack) {
  for (const Bytes& file :
       {Text("P1\n10 1\n1 0 1 1 0 0 0 0 0 1\n"), Raw("P4\n10 1\n", {0b10110000, 0b01000000})}) {
    TPPMGraphic pbm = test::Decoded<TPPMGraphic>(file);
    ASSERT_EQ(pbm.BitsPerPixel(), 1);
    EXPECT_EQ(pbm.RowLength(), 4u);
    EXPECT_EQ(pbm.ConstRowAt(0)[0], 0b10110000);
    EXPECT_EQ(pbm.ConstRowAt(0)[1] & 0xC0, 0b01000000);
    EXPECT_EQ(pbm.GetPixel(0, 0), RGB(0, 0, 0));
    EXPECT_EQ(pbm.GetPixel(1, 0), RGB(255, 255, 255));
  }
}

TEST(PPMGraphicTest, GreyMapsGiveEightBitGrey) {
  TPPMGraphic pgm = test::Decoded<TPPMGraphic>(Raw("P5 3 1 255 ", {0, 128, 255}));
  ASSERT_EQ(pgm.BitsPerPixel(), 8);
  EXPECT_EQ(Bytes(pgm.ConstRowAt(0), pgm.ConstRowAt(0) + 3), (Bytes{0, 128, 255}));
  EXPECT_EQ(pgm.Palette()[128], RGB(128, 128, 128));
  // Other maximum values are scaled to 0 .. 255.
  pgm.LoadFromBytes(Text("P2\n# comment\n3 1\n15\n0 7 15\n"));
  EXPECT_EQ(Bytes(pgm.ConstRowAt(0), pgm.ConstRowAt(0) + 3), (Bytes{0, 119, 255}));
  pgm.LoadFromBytes(Raw("P5 2 1 65535\n", {0x80, 0x80, 0x00, 0x81}));
  EXPECT_EQ(Bytes(pgm.ConstRowAt(0), pgm.ConstRowAt(0) + 2), (Bytes{128, 1}));
}

TEST(PPMGraphicTest, PixelMapsGiveTwentyFourBits) {
  TPPMGraphic ppm = test::Decoded<TPPMGraphic>(Raw("P6\n2 1\n255\n", {1, 2, 3, 4, 5, 6}));
  ASSERT_EQ(ppm.BitsPerPixel(), 24);
  EXPECT_EQ(Bytes(ppm.ConstRowAt(0), ppm.ConstRowAt(0) + 6), (Bytes{3, 2, 1, 6, 5, 4}));
  ppm.LoadFromBytes(Text("P3 1 2 255 10 20 30 40 50 60\n"));
  EXPECT_EQ(Bytes(ppm.ConstRowAt(1), ppm.ConstRowAt(1) + 3), (Bytes{60, 50, 40}));
}

TEST(PPMGraphicTest, DamagedFilesAreRefusedAndTheProcessLives) {
  using K = TGraphicFault;
  test::ExpectRefusals(TPPMGraphic::ClassInfo,
                       {{"BMP", Text("BM"), K::NotThisFormat},
                        {"PAM", Text("P7\nWIDTH 1\n"), K::NotThisFormat},
                        {"pixels cut", Raw("P6\n4 4\n255\n", Bytes(20, 1)), K::Truncated},
                        {"header cut", Text("P6\n4"), K::Truncated},
                        {"letters for samples", Text("P3 2 1 255 1 2 3 x y z\n"), K::Damaged},
                        {"maximum value 0", Text("P5 2 1 0\n\1\1"), K::Damaged},
                        {"beyond the pixel limits", Text("P6 100000 100000 255\n"), K::TooLarge}});
  TPPMGraphic ppm;
  EXPECT_TRUE(LoadFailsWith(ppm, Text("BM"), InvalidFormatMessage("PPM")));
  ppm.LoadFromBytes(Text("P2 1 1 255 9\n"));
  EXPECT_EQ(ppm.ConstRowAt(0)[0], 9);
}

}  // namespace
}  // namespace pennacrow
