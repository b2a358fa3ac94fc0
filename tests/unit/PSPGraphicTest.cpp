#include <gtest/gtest.h>
#include <zlib.h>

#include "SampleBuilder.h"
#include "formats/PSPGraphic.h"

namespace pennacrow::test {
namespace {

const std::string kDamaged = "无法加载图像，PSP图像数据已损坏";

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
  TPSPGraphic psp;
  psp.LoadFromBytes(Sample());
  ASSERT_EQ(psp.Width(), 3);
  ASSERT_EQ(psp.Height(), 2);
  ASSERT_EQ(psp.BitsPerPixel(), 32);
  EXPECT_EQ(psp.GetPixel(1, 0), (TRGBQuad{30, 2, 10, 255}));
  EXPECT_EQ(psp.GetPixel(2, 1), (TRGBQuad{30, 6, 10, 0}));
}

TEST(PSPGraphicTest, ColourWithoutMaskIs24Bit) {
  const auto file = File({Attributes(1, 1, 0, 24, false),
                          Layer(0, 0, 1, 1, {{0, 1, 1, {1}}, {0, 2, 1, {2}}, {0, 3, 1, {3}}})});
  TPSPGraphic psp;
  psp.LoadFromBytes(file);
  ASSERT_EQ(psp.BitsPerPixel(), 24);
  EXPECT_EQ(psp.GetPixel(0, 0), RGB(1, 2, 3));
}

TEST(PSPGraphicTest, IndexedDeflatedLayerSitsAtItsRectangle) {
  const auto file = File({Attributes(3, 1, 2, 8, false),
                          Palette({RGB(0, 0, 0), RGB(1, 1, 1), RGB(200, 0, 0), RGB(0, 0, 200)}),
                          Layer(1, 0, 3, 1, {{0, 0, 2, Deflate({2, 3})}})});
  TPSPGraphic psp;
  psp.LoadFromBytes(file);
  ASSERT_EQ(psp.BitsPerPixel(), 8);
  ASSERT_EQ(psp.Palette().size(), 4u);
  EXPECT_EQ(psp.GetPixel(0, 0), RGB(0, 0, 0));
  EXPECT_EQ(psp.GetPixel(1, 0), RGB(200, 0, 0));
  EXPECT_EQ(psp.GetPixel(2, 0), RGB(0, 0, 200));
}

TEST(PSPGraphicTest, GreyChannelsMayHavePaddedRows) {
  const auto file = File(
      {Attributes(3, 2, 0, 8, true), Layer(0, 0, 3, 2, {{0, 0, 8, {1, 2, 3, 0, 4, 5, 6, 0}}})});
  TPSPGraphic psp;
  psp.LoadFromBytes(file);
  ASSERT_EQ(psp.BitsPerPixel(), 8);
  EXPECT_EQ(psp.Palette()[77], RGB(77, 77, 77));
  EXPECT_EQ(psp.ConstRowAt(1)[2], 6);
}

TEST(PSPGraphicTest, RefusesDamagedFiles) {
  auto refused = [](const std::vector<std::uint8_t>& data, const std::string& start) {
    TPSPGraphic psp;
    return LoadFailsWith(psp, data, start);
  };
  const std::string invalid = InvalidFormatMessage("PSP");
  const std::string truncated = TruncatedMessage("PSP");
  const std::string unsupported = "无法加载图像，不支持PSP的";
  const auto layer =
      Layer(0, 0, 3, 2, {{0, 1, 6, {0x86, 10}}, {0, 2, 6, {0x86, 1}}, {0, 3, 6, {0x86, 2}}});
  EXPECT_TRUE(refused({}, invalid));
  auto s = Sample();
  s[0] = 'X';
  EXPECT_TRUE(refused(s, invalid)) << "signature";
  s = Sample();
  s[32] = 3;
  EXPECT_TRUE(refused(s, unsupported)) << "Paint Shop Pro 5 files";
  s = Sample();
  s[36] = '!';
  EXPECT_TRUE(refused(s, kDamaged)) << "block marker";
  EXPECT_TRUE(refused(File({layer}), invalid)) << "no attributes first";
  EXPECT_TRUE(refused(File({Attributes(0, 2, 1, 24, false), layer}), invalid)) << "zero width";
  EXPECT_TRUE(
      refused(File({Attributes(60000, 60000, 2, 24, false), layer}), "无法加载图像，PSP图像的尺寸"))
      << "beyond the pixel limits";
  EXPECT_TRUE(refused(File({Attributes(3000, 3000, 1, 24, false), layer}), truncated))
      << "more pixels than the runs can give";
  EXPECT_TRUE(refused(File({Attributes(3, 2, 1, 16, false), layer}), unsupported)) << "16 bits";
  EXPECT_TRUE(refused(File({Attributes(3, 2, 3, 24, false), layer}), unsupported)) << "JPEG";
  EXPECT_TRUE(refused(File({Attributes(3, 2, 1, 24, false)}), truncated))
      << "nothing after the attributes";
  EXPECT_TRUE(refused(
      File({Attributes(3, 2, 1, 24, false), Block(1, std::vector<std::uint8_t>(8))}), kDamaged))
      << "no layer";
  EXPECT_TRUE(refused(File({Attributes(3, 2, 1, 8, false), layer}), InvalidPaletteMessage("PSP")))
      << "indexed without a palette";
  EXPECT_TRUE(refused(File({Attributes(1, 1, 0, 8, false), Palette({RGB(1, 2, 3)}),
                            Layer(0, 0, 1, 1, {{0, 0, 1, {1}}})}),
                      kDamaged))
      << "index beyond the palette";
  EXPECT_TRUE(refused(
      File(
          {Attributes(3, 2, 1, 24, false),
           Layer(0, 0, 3, 2, {{0, 1, 6, {0x87, 10}}, {0, 2, 6, {0x86, 1}}, {0, 3, 6, {0x86, 2}}})}),
      kDamaged))
      << "run beyond the channel";
  EXPECT_TRUE(refused(
      File(
          {Attributes(3, 2, 1, 24, false),
           Layer(0, 0, 3, 2, {{0, 1, 7, {0x86, 10}}, {0, 2, 6, {0x86, 1}}, {0, 3, 6, {0x86, 2}}})}),
      kDamaged))
      << "channel length not matching the layer";
  EXPECT_TRUE(refused(
      File({Attributes(3, 2, 2, 24, false),
            Layer(0, 0, 3, 2, {{0, 1, 6, {1, 2, 3}}, {0, 2, 6, {0x86, 1}}, {0, 3, 6, {0x86, 2}}})}),
      kDamaged))
      << "broken deflate stream";
  EXPECT_TRUE(refused(File({Attributes(3, 2, 1, 24, false),
                            Layer(0, 0, 3, 2, {{0, 1, 6, {0x86, 10}}, {0, 2, 6, {0x86, 1}}})}),
                      kDamaged))
      << "blue channel missing";
  EXPECT_TRUE(refused(
      File({Attributes(3, 2, 1, 24, false), Layer(3, 2, 0, 0, {{0, 1, 6, {0x86, 10}}})}), kDamaged))
      << "inverted layer rectangle";
  s = Sample();
  s.resize(s.size() - 3);
  EXPECT_TRUE(refused(s, truncated)) << "cut inside the last channel";
}

TEST(PSPGraphicTest, EveryPrefixLoadsOrFailsCleanly) {
  EXPECT_TRUE(LoadsAndEveryPrefixFailsCleanly(TPSPGraphic::ClassInfo, Sample()));
}

}  // namespace
}  // namespace pennacrow::test
