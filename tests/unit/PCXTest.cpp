// PCX samples built from ZSoft's layout: a 128-byte header, run-length encoded scan lines of
// BytesPerLine bytes per plane, and for 8-bit pictures 0x0C and 768 palette bytes at the end.

#include "SampleBuilder.h"
#include "formats/PCXGraphic.h"

namespace pennacrow::test {
namespace {

const std::string kPcx = "PCX or SCR";

struct TPcxHeader {
  unsigned Version = 5, Encoding = 1, Bits = 8, Width = 3, Height = 2, Planes = 1, BytesPerLine = 4;
};

TByteWriter Pcx(const TPcxHeader& h, std::initializer_list<unsigned> egaPalette = {}) {
  TByteWriter b;
  b.U8(0x0A).U8(h.Version).U8(h.Encoding).U8(h.Bits);
  b.U16LE(0).U16LE(0).U16LE(h.Width - 1).U16LE(h.Height - 1).U16LE(72).U16LE(72);
  b.U8s(egaPalette).Fill(48 - egaPalette.size(), 0);
  b.U8(0).U8(h.Planes).U16LE(h.BytesPerLine).U16LE(1).Fill(58, 0);
  return b;
}

TByteWriter Palette256(TByteWriter b) {
  b.U8(0x0C);
  for (unsigned i = 0; i < 256; ++i) b.U8s({i, 255 - i, i / 2});
  return b;
}

// 3 x 2, 8 bits: a run of three 7s (plus the pad byte as a literal), then 0xC5 escaped as a
// run of one and two literals.
TByteWriter EightBit() {
  TByteWriter b = Pcx({});
  b.U8s({0xC3, 7, 0});
  b.U8s({0xC1, 0xC5, 1, 2, 0});
  return Palette256(b);
}

constexpr auto Load = &Loaded<TPCXGraphic>;

TEST(PCXDecoder, EightBitUsesTheTrailingPalette) {
  TPCXGraphic g = Load(EightBit());
  EXPECT_EQ(g.GetBitmap(), &g);
  ASSERT_EQ(g.BitsPerPixel(), 8);
  ASSERT_EQ(g.Palette().size(), 256u);
  EXPECT_EQ(g.Palette()[0xC5], RGB(0xC5, 255 - 0xC5, 0xC5 / 2));
  EXPECT_EQ(g.ConstRowAt(0)[2], 7);
  EXPECT_EQ(g.ConstRowAt(1)[0], 0xC5);
  EXPECT_EQ(g.ConstRowAt(1)[2], 2);
}

TEST(PCXDecoder, ThreePlanesBecome24BitAndRunsMayCrossPlanes) {
  TByteWriter b = Pcx({.Width = 2, .Height = 1, .Planes = 3, .BytesPerLine = 2});
  b.U8s({10, 0xC3, 20, 30, 40});  // red 10 20, green 20 20 (the run crosses), blue 30 40
  TPCXGraphic g = Load(b);
  ASSERT_EQ(g.BitsPerPixel(), 24);
  EXPECT_EQ(g.GetPixel(0, 0), RGB(10, 20, 30));
  EXPECT_EQ(g.GetPixel(1, 0), RGB(20, 20, 40));
}

TEST(PCXDecoder, OneBitPicturesAndTheirColours) {
  TByteWriter b = Pcx({.Bits = 1, .Width = 10, .Height = 1, .BytesPerLine = 2});
  b.U8s({0xA5, 0x40});
  TPCXGraphic plain = Load(b);
  ASSERT_EQ(plain.BitsPerPixel(), 1);
  EXPECT_EQ(plain.ConstRowAt(0)[0], 0xA5);
  EXPECT_EQ(plain.Palette(), (std::vector<TRGBQuad>{RGB(0, 0, 0), RGB(255, 255, 255)}));
  TByteWriter coloured =
      Pcx({.Bits = 1, .Width = 10, .Height = 1, .BytesPerLine = 2}, {1, 2, 3, 4, 5, 6});
  coloured.U8s({0xA5, 0x40});
  EXPECT_EQ(Load(coloured).Palette()[1], RGB(4, 5, 6));
}

TEST(PCXDecoder, PlanesOfOneBitAndTwoBitPixelsBecome4Bit) {
  // Four planes: pixel 0 has bits in planes 0 and 3 (index 9), pixel 1 in plane 1 (index 2).
  TByteWriter planar = Pcx(
      {.Bits = 1, .Width = 2, .Height = 1, .Planes = 4, .BytesPerLine = 2},
      {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9, 9, 9});
  planar.U8s({0x80, 0, 0x40, 0, 0, 0, 0x80, 0});
  TPCXGraphic g = Load(planar);
  ASSERT_EQ(g.BitsPerPixel(), 4);
  EXPECT_EQ(g.ConstRowAt(0)[0], 0x92);
  EXPECT_EQ(g.GetPixel(0, 0), RGB(9, 9, 9));

  TByteWriter twoBit = Pcx({.Encoding = 0, .Bits = 2, .Width = 5, .Height = 1, .BytesPerLine = 2});
  twoBit.U8s({0x1B, 0xC0});  // 0 1 2 3 3, uncompressed
  TPCXGraphic t = Load(twoBit);
  ASSERT_EQ(t.BitsPerPixel(), 4);
  EXPECT_EQ(std::vector<std::uint8_t>(t.ConstRowAt(0), t.ConstRowAt(0) + 3),
            (std::vector<std::uint8_t>{0x01, 0x23, 0x30}));
  EXPECT_EQ(t.Palette().size(), 4u);
}

TEST(PCXDecoder, RefusesDamagedAndUnsupportedFiles) {
  using K = TGraphicFault;
  // 5000 x 5000 cannot come out of 769 bytes of palette and 10 bytes of runs.
  TByteWriter big = Pcx({.Width = 5000, .Height = 5000, .BytesPerLine = 5000});
  big.Fill(10, 0xFF);
  TByteWriter noPalette = Pcx({});
  noPalette.U8s({0xC3, 7, 0, 0xC3, 7, 0});
  // The pixels end in the middle of the last scan line: the palette is not pixel data.
  TByteWriter shortData = Pcx({});
  shortData.U8s({0xC3, 7, 0, 0xC1, 0xC5, 1});
  TByteWriter rawShort =
      Pcx({.Encoding = 0, .Bits = 8, .Width = 2, .Height = 2, .Planes = 3, .BytesPerLine = 2});
  rawShort.Fill(11, 1);
  ExpectRefusals(
      TPCXGraphic::ClassInfo,
      {{"shorter than the header", {0x0A, 5, 1, 8}, K::NotThisFormat},
       {"version 1", Palette256(Pcx({.Version = 1})).Bytes, K::NotThisFormat},
       {"encoding 2", Palette256(Pcx({.Encoding = 2})).Bytes, K::Unsupported},
       {"two planes of 8 bits", Pcx({.Planes = 2}).Bytes, K::Unsupported},
       {"16 bits", Pcx({.Bits = 16}).Bytes, K::Unsupported},
       {"beyond the pixel limits", Pcx({.Width = 65535, .Height = 65535, .Planes = 3}).Bytes,
        K::TooLarge},
       {"bytes per line below the width", Palette256(Pcx({.BytesPerLine = 2})).Bytes, K::Damaged},
       {"5000 x 5000 from 10 bytes", Palette256(big).Bytes, K::Truncated},
       {"no room for the palette", noPalette.Bytes, K::BadPalette},
       {"pixels end inside the last line", Palette256(shortData).Bytes, K::Truncated},
       {"uncompressed lines cut", rawShort.Bytes, K::Truncated}});
  const std::vector<std::uint8_t> good = EightBit().Bytes;
  ExpectRefusals(TPCXGraphic::ClassInfo, good,
                 {{"manufacturer byte", {{0, 0x0B}}, K::NotThisFormat},
                  {"xMax 0 below xMin 5", {{8, 0}, {4, 5}}, K::Damaged},
                  {"no palette marker", {{good.size() - 769, 0x0B}}, K::BadPalette},
                  {"run of length zero", {{128, 0xC0}}, K::Damaged},
                  {"run of five in a line of four", {{128, 0xC5}}, K::Damaged}});
  TPCXGraphic pcx;
  EXPECT_TRUE(LoadFailsWith(pcx, rawShort.Bytes, TruncatedMessage(kPcx)));
}

TEST(PCXDecoder, EveryPrefixFailsCleanly) {
  EXPECT_TRUE(LoadsAndEveryPrefixFailsCleanly(TPCXGraphic::ClassInfo, EightBit().Bytes));
  TByteWriter planar = Pcx({.Bits = 1, .Width = 9, .Height = 2, .Planes = 4, .BytesPerLine = 2});
  for (int i = 0; i < 2; ++i) planar.U8s({0xC4, 0x55, 0xC4, 0xFF});
  EXPECT_TRUE(LoadsAndEveryPrefixFailsCleanly(TPCXGraphic::ClassInfo, planar.Bytes));
}

}  // namespace
}  // namespace pennacrow::test
