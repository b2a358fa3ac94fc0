#include <gtest/gtest.h>
#include <zlib.h>

#include "SampleBuilder.h"
#include "TestUtil.h"
#include "formats/PSPGraphic.h"

namespace pennacrow::test {
namespace {

std::vector<std::uint8_t> Block(unsigned id, const std::vector<std::uint8_t>& data) {
  TByteWriter w;
  w.Text("~BK").U8(0).U16LE(id).U32LE(static_cast<std::uint32_t>(data.size())).Append(data);
  return w.Bytes;
}

std::vector<std::uint8_t> Attributes(int width, int height, unsigned compression, unsigned depth,
                                     bool grey) {
  TByteWriter w;
  w.U32LE(46).U32LE(width).U32LE(height).Fill(8).U8(0).U16LE(compression).U16LE(depth).U16LE(1);
  w.U32LE(depth <= 8 ? 1u << depth : 0).U8(grey).U32LE(0).U32LE(0).U16LE(1).U32LE(0);
  return Block(0, w.Bytes);
}

struct TChannel {
  unsigned BitmapType;
  unsigned ChannelType;
  std::uint32_t Length;
  std::vector<std::uint8_t> Stored;
};

std::vector<std::uint8_t> Layer(int left, int top, int right, int bottom,
                                const std::vector<TChannel>& channels) {
  TByteWriter w;
  w.U32LE(4 + 2 + 5 + 1 + 16 + 4).U16LE(5).Text("Layer").U8(1);
  w.U32LE(left).U32LE(top).U32LE(right).U32LE(bottom).Fill(4);
  w.U32LE(8).U16LE(1).U16LE(static_cast<unsigned>(channels.size()));
  for (const TChannel& c : channels) {
    TByteWriter b;
    b.U32LE(16).U32LE(static_cast<std::uint32_t>(c.Stored.size())).U32LE(c.Length);
    b.U16LE(c.BitmapType).U16LE(c.ChannelType).Append(c.Stored);
    w.Append(Block(5, b.Bytes));
  }
  return Block(3, Block(4, w.Bytes));
}

std::vector<std::uint8_t> File(const std::vector<std::vector<std::uint8_t>>& blocks) {
  TByteWriter w;
  w.Text("Paint Shop Pro Image File\n\x1a").Fill(5).U16LE(5).U16LE(0);
  for (const auto& b : blocks) w.Append(b);
  return w.Bytes;
}

std::vector<std::uint8_t> Palette(const std::vector<TRGBQuad>& colours) {
  TByteWriter w;
  w.U32LE(8).U32LE(static_cast<std::uint32_t>(colours.size()));
  for (const auto& c : colours) w.U8(c.Blue).U8(c.Green).U8(c.Red).U8(0);
  return Block(2, w.Bytes);
}

std::vector<std::uint8_t> Deflate(const std::vector<std::uint8_t>& raw) {
  uLongf size = compressBound(raw.size());
  std::vector<std::uint8_t> out(size);
  compress(out.data(), &size, raw.data(), raw.size());
  out.resize(size);
  return out;
}

// 3 x 2 colour, run-length coded, with a transparency mask: red 10 everywhere, green 1 to 6,
// blue 30, alpha 255 on the top row and 0 on the bottom row.
std::vector<std::uint8_t> Sample() {
  return File({Attributes(3, 2, 1, 24, false), Layer(0, 0, 3, 2,
                                                     {{0, 1, 6, {0x86, 10}},
                                                      {0, 2, 6, {6, 1, 2, 3, 4, 5, 6}},
                                                      {0, 3, 6, {0x86, 30}},
                                                      {1, 0, 6, {0x83, 255, 0x83, 0}}})});
}

TEST(PSPGraphicTest, DecodesRunLengthColourChannelsWithTransparency) {
  TPSPGraphic psp = Decoded<TPSPGraphic>(Sample());
  ASSERT_EQ(psp.Width(), 3);
  ASSERT_EQ(psp.Height(), 2);
  ASSERT_EQ(psp.BitsPerPixel(), 32);
  EXPECT_EQ(psp.GetPixel(1, 0), (TRGBQuad{30, 2, 10, 255}));
  EXPECT_EQ(psp.GetPixel(2, 1), (TRGBQuad{30, 6, 10, 0}));
}

TEST(PSPGraphicTest, ColourWithoutMaskIs24Bit) {
  const auto file = File({Attributes(1, 1, 0, 24, false),
                          Layer(0, 0, 1, 1, {{0, 1, 1, {1}}, {0, 2, 1, {2}}, {0, 3, 1, {3}}})});
  TPSPGraphic psp = Decoded<TPSPGraphic>(file);
  ASSERT_EQ(psp.BitsPerPixel(), 24);
  EXPECT_EQ(psp.GetPixel(0, 0), RGB(1, 2, 3));
}

TEST(PSPGraphicTest, IndexedDeflatedLayerSitsAtItsRectangle) {
  const auto file = File({Attributes(3, 1, 2, 8, false),
                          Palette({RGB(0, 0, 0), RGB(1, 1, 1), RGB(200, 0, 0), RGB(0, 0, 200)}),
                          Layer(1, 0, 3, 1, {{0, 0, 2, Deflate({2, 3})}})});
  TPSPGraphic psp = Decoded<TPSPGraphic>(file);
  ASSERT_EQ(psp.BitsPerPixel(), 8);
  ASSERT_EQ(psp.Palette().size(), 4u);
  EXPECT_EQ(psp.GetPixel(0, 0), RGB(0, 0, 0));
  EXPECT_EQ(psp.GetPixel(1, 0), RGB(200, 0, 0));
  EXPECT_EQ(psp.GetPixel(2, 0), RGB(0, 0, 200));
}

TEST(PSPGraphicTest, GreyChannelsMayHavePaddedRows) {
  const auto file = File(
      {Attributes(3, 2, 0, 8, true), Layer(0, 0, 3, 2, {{0, 0, 8, {1, 2, 3, 0, 4, 5, 6, 0}}})});
  TPSPGraphic psp = Decoded<TPSPGraphic>(file);
  ASSERT_EQ(psp.BitsPerPixel(), 8);
  EXPECT_EQ(psp.Palette()[77], RGB(77, 77, 77));
  EXPECT_EQ(psp.ConstRowAt(1)[2], 6);
}

TEST(PSPGraphicTest, RefusesDamagedFiles) {
  using K = TGraphicFault;
  // Red, green and blue channels of a 3 x 2 layer, each one run.
  auto rgb = [](TChannel red, TChannel green = {0, 2, 6, {0x86, 1}}) {
    return std::vector<TChannel>{red, green, {0, 3, 6, {0x86, 2}}};
  };
  const auto layer = Layer(0, 0, 3, 2, rgb({0, 1, 6, {0x86, 10}}));
  const auto colour = Attributes(3, 2, 1, 24, false);
  ExpectRefusals(TPSPGraphic::ClassInfo, Sample(),
                 {{"signature", {{0, 'X'}}, K::NotThisFormat},
                  {"Paint Shop Pro 5 files", {{32, 3}}, K::Unsupported},
                  {"block marker", {{36, '!'}}, K::Damaged},
                  {"cut inside the last channel", {}, K::Truncated, Sample().size() - 3}});
  ExpectRefusals(
      TPSPGraphic::ClassInfo,
      {{"no attributes first", File({layer}), K::NotThisFormat},
       {"zero width", File({Attributes(0, 2, 1, 24, false), layer}), K::NotThisFormat},
       {"beyond the pixel limits", File({Attributes(60000, 60000, 2, 24, false), layer}),
        K::TooLarge},
       {"more pixels than the runs can give", File({Attributes(3000, 3000, 1, 24, false), layer}),
        K::Truncated},
       {"16 bits", File({Attributes(3, 2, 1, 16, false), layer}), K::Unsupported},
       {"JPEG", File({Attributes(3, 2, 3, 24, false), layer}), K::Unsupported},
       {"nothing after the attributes", File({colour}), K::Truncated},
       {"no layer", File({colour, Block(1, std::vector<std::uint8_t>(8))}), K::Damaged},
       {"indexed without a palette", File({Attributes(3, 2, 1, 8, false), layer}), K::BadPalette},
       {"index beyond the palette",
        File({Attributes(1, 1, 0, 8, false), Palette({RGB(1, 2, 3)}),
              Layer(0, 0, 1, 1, {{0, 0, 1, {1}}})}),
        K::Damaged},
       {"run beyond the channel", File({colour, Layer(0, 0, 3, 2, rgb({0, 1, 6, {0x87, 10}}))}),
        K::Damaged},
       {"channel length not matching the layer",
        File({colour, Layer(0, 0, 3, 2, rgb({0, 1, 7, {0x86, 10}}))}), K::Damaged},
       {"broken deflate stream",
        File({Attributes(3, 2, 2, 24, false), Layer(0, 0, 3, 2, rgb({0, 1, 6, {1, 2, 3}}))}),
        K::Damaged},
       {"blue channel missing",
        File({colour, Layer(0, 0, 3, 2, {{0, 1, 6, {0x86, 10}}, {0, 2, 6, {0x86, 1}}})}),
        K::Damaged},
       {"inverted layer rectangle", File({colour, Layer(3, 2, 0, 0, {{0, 1, 6, {0x86, 10}}})}),
        K::Damaged}});
  TPSPGraphic psp;
  EXPECT_TRUE(LoadFailsWith(psp, {}, InvalidFormatMessage("PSP")));
  EXPECT_TRUE(LoadFailsWith(psp, File({Attributes(3, 2, 1, 8, false), layer}),
                            InvalidPaletteMessage("PSP")));
}

TEST(PSPGraphicTest, EveryPrefixLoadsOrFailsCleanly) {
  EXPECT_TRUE(LoadsAndEveryPrefixFailsCleanly(TPSPGraphic::ClassInfo, Sample()));
}

}  // namespace
}  // namespace pennacrow::test
