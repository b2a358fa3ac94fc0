// SGI samples built from the published layout: a 512-byte big-endian header, then either the
// channel planes bottom row first, or two tables (row offsets and lengths) and run-length rows.

#include "SampleBuilder.h"
#include "formats/SGIGraphic.h"

namespace pennacrow::test {
namespace {

const std::string kSgi = "SGI";

struct TSgiHeader {
  unsigned Storage = 0, Bpc = 1, Dimension = 3, X = 2, Y = 2, Z = 1, ColorMap = 0;
};

TByteWriter Sgi(const TSgiHeader& h) {
  TByteWriter b;
  b.U16BE(474).U8(h.Storage).U8(h.Bpc).U16BE(h.Dimension).U16BE(h.X).U16BE(h.Y).U16BE(h.Z);
  b.U32BE(0).U32BE(255).U32BE(0).Fill(80, 0).U32BE(h.ColorMap).Fill(404, 0);
  return b;
}

// 3 x 2 RGB, run-length encoded. Rows (y, z) in the table order z * height + y; the two rows of
// the blue channel share their bytes.
TByteWriter RgbRle() {
  TByteWriter b = Sgi({.Storage = 1, .X = 3, .Y = 2, .Z = 3});
  const std::vector<std::vector<unsigned>> rows = {
      {0x83, 10, 20, 30, 0},    // red, bottom: three literals
      {0x03, 40, 0},            // red, top: a run of three
      {0x02, 50, 0x81, 60, 0},  // green, bottom
      {0x83, 1, 2, 3, 0},       // green, top
      {0x03, 90, 0},            // blue, both rows
  };
  std::uint32_t offset = 512 + 6 * 8;
  std::vector<std::uint32_t> starts, lengths;
  for (const auto& r : rows) {
    starts.push_back(offset);
    lengths.push_back(static_cast<std::uint32_t>(r.size()));
    offset += static_cast<std::uint32_t>(r.size());
  }
  starts.push_back(starts.back());
  lengths.push_back(lengths.back());
  for (auto s : starts) b.U32BE(s);
  for (auto l : lengths) b.U32BE(l);
  for (const auto& r : rows)
    for (unsigned v : r) b.U8(v);
  return b;
}

constexpr auto Load = &Loaded<TSGIGraphic>;

TEST(SGIDecoder, VerbatimGreyRunsBottomUp) {
  TByteWriter b = Sgi({.Dimension = 2, .X = 2, .Y = 2, .Z = 7});  // dimension 2: one channel
  b.U8s({1, 2, 3, 4});
  TSGIGraphic g = Load(b);
  EXPECT_EQ(g.GetBitmap(), &g);
  ASSERT_EQ(g.BitsPerPixel(), 8);
  EXPECT_EQ(g.Palette().size(), 256u);
  EXPECT_EQ(g.ConstRowAt(0)[0], 3);
  EXPECT_EQ(g.ConstRowAt(1)[1], 2);
}

TEST(SGIDecoder, RleColourWithSharedRows) {
  TSGIGraphic g = Load(RgbRle());
  ASSERT_EQ(g.BitsPerPixel(), 24);
  EXPECT_EQ(g.GetPixel(0, 1), RGB(10, 50, 90));
  EXPECT_EQ(g.GetPixel(2, 1), RGB(30, 60, 90));
  EXPECT_EQ(g.GetPixel(1, 0), RGB(40, 2, 90));
}

TEST(SGIDecoder, SixteenBitChannelsAreReducedAndAlphaKept) {
  TByteWriter b = Sgi({.Bpc = 2, .X = 1, .Y = 1, .Z = 4});
  b.U16BE(65535).U16BE(32896).U16BE(0).U16BE(257);
  TSGIGraphic g = Load(b);
  ASSERT_EQ(g.BitsPerPixel(), 32);
  const std::uint8_t* p = g.ConstRowAt(0);
  EXPECT_EQ(std::vector<std::uint8_t>(p, p + 4), (std::vector<std::uint8_t>{0, 128, 255, 1}));

  TByteWriter rle = Sgi({.Storage = 1, .Bpc = 2, .X = 3, .Y = 1, .Z = 2});  // grey + alpha
  rle.U32BE(528).U32BE(528).U32BE(6).U32BE(6);
  rle.U16BE(0x03).U16BE(0xFFFF).U16BE(0);
  TSGIGraphic grey = Load(rle);
  ASSERT_EQ(grey.BitsPerPixel(), 8);
  EXPECT_EQ(grey.ConstRowAt(0)[2], 255);
}

TEST(SGIDecoder, RefusesDamagedAndUnsupportedFiles) {
  using K = TGraphicFault;
  TByteWriter verbatim = Sgi({.X = 2, .Y = 2, .Z = 3});
  verbatim.Fill(11, 0);
  // Tables of 3 x 4000 rows need 96000 bytes; there are far fewer.
  TByteWriter tables = Sgi({.Storage = 1, .X = 4000, .Y = 4000, .Z = 3});
  tables.Fill(1000, 0);
  ExpectRefusals(
      TSGIGraphic::ClassInfo,
      {{"one byte", {0x01}, K::NotThisFormat},
       {"wrong magic number", {0x01, 0xDB, 0, 1}, K::NotThisFormat},
       {"header cut", {0x01, 0xDA, 0, 1}, K::Truncated},
       {"storage 2", Sgi({.Storage = 2}).Bytes, K::Unsupported},
       {"3 bytes a channel", Sgi({.Bpc = 3}).Bytes, K::Unsupported},
       {"dimension 4", Sgi({.Dimension = 4}).Bytes, K::NotThisFormat},
       {"five channels", Sgi({.Z = 5}).Bytes, K::Unsupported},
       {"colour map 3", Sgi({.ColorMap = 3}).Bytes, K::Unsupported},
       {"zero width", Sgi({.X = 0}).Bytes, K::Damaged},
       {"beyond the pixel limits", Sgi({.X = 65535, .Y = 65535, .Z = 4}).Bytes, K::TooLarge},
       {"uncompressed planes cut", verbatim.Bytes, K::Truncated},
       {"row tables cut", tables.Bytes, K::Truncated}});
  const std::size_t firstRow = 512 + 48;
  ExpectRefusals(TSGIGraphic::ClassInfo, RgbRle().Bytes,
                 {// the sixth row's offset far beyond the file
                  {"row offset outside the file",
                   {{512 + 4 * 5 + 3, 0xF0}, {512 + 4 * 5 + 2, 0xFF}},
                   K::Damaged},
                  {"four literals in a row of three", {{firstRow, 0x84}}, K::Damaged},
                  {"run of four", {{firstRow + 5, 0x04}}, K::Damaged},
                  // a literal of length zero ends the row at once
                  {"row shorter than the width", {{firstRow, 0x80}}, K::Damaged},
                  {"first row's length cut to two bytes", {{512 + 24 + 3, 2}}, K::Truncated}});
  TSGIGraphic sgi;
  EXPECT_TRUE(LoadFailsWith(sgi, verbatim.Bytes, TruncatedMessage(kSgi)));
}

TEST(SGIDecoder, EveryPrefixFailsCleanly) {
  EXPECT_TRUE(LoadsAndEveryPrefixFailsCleanly(TSGIGraphic::ClassInfo, RgbRle().Bytes));
  TByteWriter verbatim = Sgi({.Bpc = 2, .X = 2, .Y = 2, .Z = 3});
  verbatim.Fill(24, 0x42);
  EXPECT_TRUE(LoadsAndEveryPrefixFailsCleanly(TSGIGraphic::ClassInfo, verbatim.Bytes));
}

}  // namespace
}  // namespace pennacrow::test
