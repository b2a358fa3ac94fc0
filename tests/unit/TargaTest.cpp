// Targa samples built from the published header layout: 18 bytes, the image ID, the colour map,
// then the pixels bottom row first unless the descriptor says otherwise.

#include "SampleBuilder.h"
#include "formats/TargaGraphic.h"
#include "picture/PixelLimits.h"

namespace pennacrow::test {
namespace {

const std::string kTga = "Targa";

struct TTgaHeader {
  unsigned IdLength = 0, MapType = 0, Type = 2, MapFirst = 0, MapLength = 0, MapBits = 0;
  unsigned Width = 2, Height = 2, Depth = 24, Descriptor = 0;
};

TByteWriter Tga(const TTgaHeader& h) {
  TByteWriter b;
  b.U8(h.IdLength).U8(h.MapType).U8(h.Type).U16LE(h.MapFirst).U16LE(h.MapLength).U8(h.MapBits);
  b.U16LE(0).U16LE(0).U16LE(h.Width).U16LE(h.Height).U8(h.Depth).U8(h.Descriptor);
  b.Fill(h.IdLength, 'i');
  return b;
}

constexpr auto Load = &Loaded<TTargaGraphic>;

// A 1 x 1 colour-mapped picture whose map is one entry of mapBits bits.
TByteWriter OneEntryMap(unsigned mapBits) {
  TTgaHeader header{.MapType = 1, .Type = 1, .MapLength = 1, .MapBits = mapBits, .Depth = 8};
  header.Width = header.Height = 1;
  return Tga(header);
}

// A colour-mapped 3 x 2 picture: map entries 2..4 (24-bit), RLE.
TByteWriter MappedRle() {
  TByteWriter b = Tga({.IdLength = 3,
                       .MapType = 1,
                       .Type = 9,
                       .MapFirst = 2,
                       .MapLength = 3,
                       .MapBits = 24,
                       .Width = 3,
                       .Height = 2,
                       .Depth = 8});
  b.U8s({0, 0, 255, 0, 255, 0, 255, 0, 0});  // entries 2, 3, 4: red, green, blue (stored B G R)
  b.U8s({0x82, 2});                          // bottom row: a run of three 2s
  b.U8s({0x02, 3, 4, 2});                    // top row: three literal indices
  return b;
}

TEST(TargaDecoder, TrueColour24BottomUpIsFlipped) {
  TByteWriter b = Tga({.Width = 2, .Height = 2, .Depth = 24});
  b.U8s({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});  // bottom row, then top row
  TTargaGraphic g = Load(b);
  EXPECT_EQ(g.GetBitmap(), &g);
  ASSERT_EQ(g.BitsPerPixel(), 24);
  EXPECT_EQ(g.GetPixel(0, 0), RGB(9, 8, 7));
  EXPECT_EQ(g.GetPixel(1, 1), RGB(6, 5, 4));
  EXPECT_EQ(g.ConstRowAt(1)[0], 1);  // bytes kept in the file's blue, green, red order
}

// Each origin bit on its own: two rows and two columns, so a flip in either direction shows.
TEST(TargaDecoder, EachOriginBitAloneFlipsItsOwnAxis) {
  struct TCase {
    const char* Name;
    unsigned Descriptor;
    TRGBQuad TopLeft;
  };
  for (const TCase& c :
       {TCase{"bottom-left", 0x00, RGB(3, 3, 3)}, TCase{"bottom-right", 0x10, RGB(4, 4, 4)},
        TCase{"top-left", 0x20, RGB(1, 1, 1)}, TCase{"top-right", 0x30, RGB(2, 2, 2)}}) {
    // The file's pixels in stored order: 1, 2 on the first row, 3, 4 on the second.
    TByteWriter b = Tga({.Width = 2, .Height = 2, .Depth = 24, .Descriptor = c.Descriptor});
    b.U8s({1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4});
    EXPECT_EQ(Load(b).GetPixel(0, 0), c.TopLeft) << c.Name;
  }
}

TEST(TargaDecoder, TopDownRightToLeft32KeepsAlpha) {
  TByteWriter b = Tga({.Width = 2, .Height = 1, .Depth = 32, .Descriptor = 0x38});
  b.U8s({10, 20, 30, 40, 50, 60, 70, 80});
  TTargaGraphic g = Load(b);
  ASSERT_EQ(g.BitsPerPixel(), 32);
  const std::uint8_t* row = g.ConstRowAt(0);
  EXPECT_EQ(std::vector<std::uint8_t>(row, row + 8),
            (std::vector<std::uint8_t>{50, 60, 70, 80, 10, 20, 30, 40}));
}

TEST(TargaDecoder, Rle16BitBecomes15BitWordsWithoutTheAttributeBit) {
  TByteWriter b = Tga({.Type = 10, .Width = 4, .Height = 1, .Depth = 16, .Descriptor = 0x20});
  b.U8s({0x81, 0x1F, 0x80});              // run of 2: pure blue with the attribute bit set
  b.U8s({0x01, 0x00, 0x7C, 0xE0, 0x03});  // 2 literals: red, green
  TTargaGraphic g = Load(b);
  ASSERT_EQ(g.BitsPerPixel(), 15);
  const std::uint8_t* row = g.ConstRowAt(0);
  EXPECT_EQ(std::vector<std::uint8_t>(row, row + 8),
            (std::vector<std::uint8_t>{0x1F, 0x00, 0x1F, 0x00, 0x00, 0x7C, 0xE0, 0x03}));
}

TEST(TargaDecoder, ColourMappedKeepsTheFilesIndices) {
  TTargaGraphic g = Load(MappedRle());
  ASSERT_EQ(g.BitsPerPixel(), 8);
  ASSERT_EQ(g.Palette().size(), 5u);
  EXPECT_EQ(g.Palette()[3], RGB(0, 255, 0));
  EXPECT_EQ(g.ConstRowAt(0)[0], 3);
  EXPECT_EQ(g.ConstRowAt(1)[2], 2);
  EXPECT_EQ(g.GetPixel(1, 0), RGB(0, 0, 255));
}

TEST(TargaDecoder, FifteenBitMapAndGreyPictures) {
  TByteWriter mapped = OneEntryMap(15);
  mapped.U16LE(0x7C00).U8(0);  // entry 0: red in 5-5-5
  EXPECT_EQ(Load(mapped).Palette()[0], RGB(255, 0, 0));

  TByteWriter grey = Tga({.Type = 11, .Width = 3, .Height = 1, .Depth = 8});
  grey.U8s({0x82, 77});
  TTargaGraphic g = Load(grey);
  ASSERT_EQ(g.BitsPerPixel(), 8);
  EXPECT_EQ(g.Palette().size(), 256u);
  EXPECT_EQ(g.GetPixel(2, 0), RGB(77, 77, 77));
}

TEST(TargaDecoder, RefusesDamagedAndUnsupportedFiles) {
  using K = TGraphicFault;
  // Within the limits but far more than 8 bytes of RLE data can hold.
  TByteWriter big = Tga({.Type = 10, .Width = 4000, .Height = 4000, .Depth = 24});
  big.U8s({0xFF, 1, 2, 3, 0xFF, 1, 2, 3});
  TByteWriter noMap = Tga({.Type = 1, .Width = 1, .Height = 1, .Depth = 8});
  noMap.U8(0);
  TByteWriter badBits = OneEntryMap(12);
  badBits.U8s({0, 0, 0});
  TByteWriter raw = Tga({.Width = 2, .Height = 2, .Depth = 24});
  raw.Fill(11, 0);
  // A run may carry on into the next row, but not past the last one.
  TByteWriter across = Tga({.Type = 10, .Width = 2, .Height = 2, .Depth = 24});
  across.U8s({0x84, 1, 2, 3});
  TByteWriter literal = MappedRle();
  literal.Bytes[18 + 3 + 9 + 2] = 0x03;  // four literals in a row of three
  literal.U8(2);
  ExpectRefusals(TTargaGraphic::ClassInfo,
                 {{"empty", {}, K::NotThisFormat},
                  {"map type 2", Patched(Tga({}).Bytes, {{1, 2}}), K::NotThisFormat},
                  {"type 0", Tga({.Type = 0}).Bytes, K::NotThisFormat},
                  {"type 4", Tga({.Type = 4}).Bytes, K::NotThisFormat},
                  {"Huffman coded", Tga({.Type = 32}).Bytes, K::Unsupported},
                  {"12-bit colour", Tga({.Depth = 12}).Bytes, K::Unsupported},
                  {"12-bit grey", Tga({.Type = 3, .Depth = 12}).Bytes, K::Unsupported},
                  {"interlaced", Tga({.Descriptor = 0x40}).Bytes, K::Unsupported},
                  {"zero width", Tga({.Width = 0}).Bytes, K::Damaged},
                  // 65535 x 65535 x 4 bytes overflows 32 bits and the pixel limit.
                  {"beyond the pixel limits",
                   Tga({.Width = 65535, .Height = 65535, .Depth = 32}).Bytes, K::TooLarge},
                  {"4000 x 4000 from 8 bytes of runs", big.Bytes, K::Truncated},
                  {"colour-mapped without a map", noMap.Bytes, K::BadPalette},
                  {"12-bit map entries", badBits.Bytes, K::BadPalette},
                  {"uncompressed pixels cut", raw.Bytes, K::Truncated},
                  {"run past the last row", across.Bytes, K::Damaged},
                  {"four literals in a row of three", literal.Bytes, K::Damaged}});
  const std::vector<std::uint8_t> good = MappedRle().Bytes;
  ExpectRefusals(TTargaGraphic::ClassInfo, good,
                 {{"cut inside the ID field", {}, K::Truncated, 19},
                  {"cut inside the colour map", {}, K::Truncated, 25},
                  {"cut inside the pixels", {}, K::Truncated, good.size() - 1},
                  {"index beyond entries 2..4", {{good.size() - 1, 5}}, K::BadPalette},
                  {"index below the first entry", {{good.size() - 1, 1}}, K::BadPalette},
                  {"run of four in a row of three", {{18 + 3 + 9, 0x83}}, K::Damaged}});
  TTargaGraphic tga;
  EXPECT_TRUE(LoadFailsWith(tga, raw.Bytes, TruncatedMessage(kTga)));
}

TEST(TargaDecoder, PacketsContinueOnTheNextRow) {
  // A 3 x 2 picture: a run of four, then two literals; rows stored bottom first.
  TByteWriter b = Tga({.Type = 10, .Width = 3, .Height = 2, .Depth = 24});
  b.U8s({0x83, 1, 2, 3, 0x01, 4, 5, 6, 7, 8, 9});
  TTargaGraphic g = Load(b);
  EXPECT_EQ(g.GetPixel(0, 1), RGB(3, 2, 1));
  EXPECT_EQ(g.GetPixel(0, 0), RGB(3, 2, 1));
  EXPECT_EQ(g.GetPixel(1, 0), RGB(6, 5, 4));
  EXPECT_EQ(g.GetPixel(2, 0), RGB(9, 8, 7));
}

TEST(TargaDecoder, EveryPrefixFailsCleanly) {
  EXPECT_TRUE(LoadsAndEveryPrefixFailsCleanly(TTargaGraphic::ClassInfo, MappedRle().Bytes));
  TByteWriter b = Tga({.Type = 10, .Width = 3, .Height = 2, .Depth = 16});
  b.U8s({0x82, 1, 2, 0x00, 3, 4, 0x81, 5, 6});
  EXPECT_TRUE(LoadsAndEveryPrefixFailsCleanly(TTargaGraphic::ClassInfo, b.Bytes));
}

}  // namespace
}  // namespace pennacrow::test
