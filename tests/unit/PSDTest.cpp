// Photoshop samples built from the published layout: a 26-byte header, the colour mode data,
// image resources and layer sections (each led by its 32-bit length), then the merged picture,
// raw or PackBits with a table of row byte counts.

#include "SampleBuilder.h"
#include "formats/PSDGraphic.h"

namespace pennacrow::test {
namespace {

const std::string kPsd = "PSD";

struct TPsdHeader {
  unsigned Version = 1, Channels = 3, Height = 1, Width = 2, Depth = 8, Mode = 3;
};

// Header and the three sections; the caller appends the compression word and the data.
TByteWriter Psd(const TPsdHeader& h, const std::vector<std::uint8_t>& colorData = {}) {
  TByteWriter b;
  b.Text("8BPS").U16BE(h.Version).Fill(6, 0).U16BE(h.Channels).U32BE(h.Height).U32BE(h.Width);
  b.U16BE(h.Depth).U16BE(h.Mode);
  b.U32BE(static_cast<std::uint32_t>(colorData.size()));
  b.Bytes.insert(b.Bytes.end(), colorData.begin(), colorData.end());
  b.U32BE(4).Fill(4, 0xAA);  // resources we skip
  b.U32BE(0);
  return b;
}

// 3 x 1 RGBA with PackBits: each channel's row is one byte count, then the rows.
TByteWriter RgbaRle() {
  TByteWriter b = Psd({.Channels = 4, .Height = 1, .Width = 3});
  b.U16BE(1).U16BE(4).U16BE(2).U16BE(3).U16BE(2);
  b.U8s({0x02, 10, 20, 30});  // red: three literals
  b.U8s({0xFE, 40});          // green: a run of three
  b.U8s({0x80, 0xFE, 50});    // blue: a no-op, then a run of three
  b.U8s({0xFE, 255});         // alpha
  return b;
}

constexpr auto Load = &Loaded<TPSDGraphic>;

TEST(PSDDecoder, RawRgbAndRleRgba) {
  TByteWriter raw = Psd({});
  raw.U16BE(0).U8s({1, 2, 3, 4, 5, 6});  // red plane, green plane, blue plane
  TPSDGraphic g = Load(raw);
  EXPECT_EQ(g.GetBitmap(), &g);
  ASSERT_EQ(g.BitsPerPixel(), 24);
  EXPECT_EQ(g.GetPixel(1, 0), RGB(2, 4, 6));

  TPSDGraphic a = Load(RgbaRle());
  ASSERT_EQ(a.BitsPerPixel(), 32);
  const std::uint8_t* p = a.ConstRowAt(0) + 8;
  EXPECT_EQ(std::vector<std::uint8_t>(p, p + 4), (std::vector<std::uint8_t>{50, 40, 30, 255}));
}

TEST(PSDDecoder, GreyIndexedAndBitmapModesKeepTheirDepth) {
  TByteWriter grey = Psd({.Channels = 2, .Depth = 16, .Mode = 1});  // grey with an alpha channel
  grey.U16BE(0).U16BE(0xFFFF).U16BE(0x8080).U16BE(0).U16BE(0);
  TPSDGraphic g = Load(grey);
  ASSERT_EQ(g.BitsPerPixel(), 8);
  EXPECT_EQ(g.ConstRowAt(0)[1], 128);
  EXPECT_EQ(g.Palette()[128], RGB(128, 128, 128));

  std::vector<std::uint8_t> table(768, 0);
  table[7] = 200;        // red of colour 7
  table[512 + 7] = 100;  // blue of colour 7
  TByteWriter indexed = Psd({.Channels = 1, .Mode = 2}, table);
  indexed.U16BE(0).U8s({7, 0});
  TPSDGraphic i = Load(indexed);
  ASSERT_EQ(i.BitsPerPixel(), 8);
  EXPECT_EQ(i.GetPixel(0, 0), RGB(200, 0, 100));

  TByteWriter bitmap = Psd({.Channels = 1, .Height = 2, .Width = 10, .Depth = 1, .Mode = 0});
  bitmap.U16BE(1).U16BE(3).U16BE(2).U8s({0x01, 0xC0, 0x40}).U8s({0xFF, 0x0F});
  TPSDGraphic m = Load(bitmap);
  ASSERT_EQ(m.BitsPerPixel(), 1);
  EXPECT_EQ(m.ConstRowAt(0)[0], 0xC0);
  EXPECT_EQ(m.ConstRowAt(1)[1], 0x0F);
  EXPECT_EQ(m.GetPixel(0, 0), RGB(0, 0, 0));  // a set bit is black
}

TEST(PSDDecoder, CmykIsInvertedInkAndLabIsConvertedFromD50) {
  TByteWriter cmyk = Psd({.Channels = 4, .Width = 3, .Mode = 4});
  // Stored 255 - ink: pixel 0 full cyan, pixel 1 no ink, pixel 2 full black.
  cmyk.U16BE(0).U8s({0, 255, 255}).U8s({255, 255, 255}).U8s({255, 255, 255}).U8s({255, 255, 0});
  TPSDGraphic c = Load(cmyk);
  ASSERT_EQ(c.BitsPerPixel(), 24);
  EXPECT_EQ(c.GetPixel(0, 0), RGB(0, 255, 255));
  EXPECT_EQ(c.GetPixel(1, 0), RGB(255, 255, 255));
  EXPECT_EQ(c.GetPixel(2, 0), RGB(0, 0, 0));

  TByteWriter lab = Psd({.Channels = 3, .Width = 4, .Mode = 9});
  // White, black, L* 50 grey, and sRGB red (L* 54.3, a* 80.8, b* 69.9 under D50).
  lab.U16BE(0).U8s({255, 0, 128, 138}).U8s({128, 128, 128, 209}).U8s({128, 128, 128, 198});
  TPSDGraphic l = Load(lab);
  ASSERT_EQ(l.BitsPerPixel(), 24);
  EXPECT_EQ(l.GetPixel(0, 0), RGB(255, 255, 255));
  EXPECT_EQ(l.GetPixel(1, 0), RGB(0, 0, 0));
  const TRGBQuad mid = l.GetPixel(2, 0);
  EXPECT_NEAR(mid.Red, 119, 1);
  EXPECT_EQ(mid.Red, mid.Green);
  const TRGBQuad red = l.GetPixel(3, 0);
  EXPECT_GE(red.Red, 245);
  EXPECT_LE(red.Green, 20);
  EXPECT_LE(red.Blue, 20);
}

TEST(PSDDecoder, RefusesDamagedAndUnsupportedFiles) {
  using K = TGraphicFault;
  TByteWriter zip = Psd({});
  zip.U16BE(2).Fill(16, 0);
  TByteWriter shortTable = Psd({.Channels = 1, .Mode = 2}, std::vector<std::uint8_t>(767, 0));
  shortTable.U16BE(0).U8s({0, 0});
  TByteWriter raw = Psd({.Height = 1000, .Width = 1000});
  raw.U16BE(0).Fill(5000, 0);
  TByteWriter counts = Psd({.Height = 1000, .Width = 1000});
  counts.U16BE(1).Fill(5000, 0);  // 3000 row counts need 6000 bytes
  ExpectRefusals(
      TPSDGraphic::ClassInfo,
      {{"signature cut", {'8', 'B', 'P'}, K::NotThisFormat},
       {"version 3", Psd({.Version = 3}).Bytes, K::NotThisFormat},
       {"large document format", Psd({.Version = 2}).Bytes, K::Unsupported},
       {"no channels", Psd({.Channels = 0}).Bytes, K::NotThisFormat},
       {"mode 6", Psd({.Mode = 6}).Bytes, K::Unsupported},
       {"32 bits", Psd({.Depth = 32}).Bytes, K::Unsupported},
       {"1-bit RGB", Psd({.Depth = 1, .Mode = 3}).Bytes, K::Unsupported},
       {"RGB in two channels", Psd({.Channels = 2}).Bytes, K::Damaged},
       {"ZIP compression", zip.Bytes, K::Unsupported},
       {"zero width", Psd({.Width = 0}).Bytes, K::Damaged},
       {"beyond the pixel limits", Psd({.Height = 70000, .Width = 70000}).Bytes, K::TooLarge},
       {"height beyond 2^31", Psd({.Height = 0x80000000u, .Width = 1}).Bytes, K::Damaged},
       // the colour mode data claims about 2 GB
       {"colour mode section too long", Patched(Psd({}).Bytes, {{29, 0x7F}}), K::Truncated},
       {"colour table one byte short", shortTable.Bytes, K::BadPalette},
       {"raw planes cut", raw.Bytes, K::Truncated},
       {"row byte counts cut", counts.Bytes, K::Truncated}});
  const std::vector<std::uint8_t> good = RgbaRle().Bytes;
  const std::size_t rows = good.size() - 11 - 8;
  ExpectRefusals(TPSDGraphic::ClassInfo, good,
                 {// a row of three bytes cannot come from zero bytes
                  {"compressed row too short", {{rows + 1, 0}}, K::Damaged},
                  {"first row's count past the file", {{rows, 0x10}}, K::Truncated},
                  {"four literals in a row of three", {{rows + 8, 0x03}}, K::Damaged},
                  {"run of four", {{rows + 8 + 4, 0xFD}}, K::Damaged},
                  // the blue row becomes three no-ops: it ends short
                  {"row of no-ops", {{rows + 8 + 7, 0x80}, {rows + 8 + 8, 0x80}}, K::Truncated}});
  TPSDGraphic psd;
  EXPECT_TRUE(LoadFailsWith(psd, raw.Bytes, TruncatedMessage(kPsd)));
}

TEST(PSDDecoder, EveryPrefixFailsCleanly) {
  EXPECT_TRUE(LoadsAndEveryPrefixFailsCleanly(TPSDGraphic::ClassInfo, RgbaRle().Bytes));
  TByteWriter raw = Psd({.Channels = 1, .Height = 2, .Width = 3, .Depth = 16, .Mode = 1});
  raw.U16BE(0).Fill(12, 0x33);
  EXPECT_TRUE(LoadsAndEveryPrefixFailsCleanly(TPSDGraphic::ClassInfo, raw.Bytes));
}

}  // namespace
}  // namespace pennacrow::test
