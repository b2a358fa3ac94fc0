#include <gtest/gtest.h>

#include "SampleBuilder.h"
#include "TestUtil.h"
#include "formats/RLAGraphic.h"

namespace pennacrow::test {
namespace {

std::vector<std::uint8_t> Header(int width, int height, int channels, int mattes) {
  TByteWriter w;
  w.Fill(8);
  w.U16BE(0).U16BE(width - 1).U16BE(0).U16BE(height - 1);  // active window
  w.Fill(4);
  w.U16BE(channels).U16BE(mattes).U16BE(0);
  w.Fill(658 - w.Size());
  w.U16BE(8).U16BE(0).U16BE(8).U16BE(0).U16BE(8);
  w.Fill(740 - w.Size());
  return w.Bytes;
}

// One channel: a run of `count` copies of value.
std::vector<std::uint8_t> RunOf(unsigned count, unsigned value) {
  return {0, 2, static_cast<std::uint8_t>(count - 1), static_cast<std::uint8_t>(value)};
}
std::vector<std::uint8_t> Literal(std::vector<std::uint8_t> values) {
  std::vector<std::uint8_t> out{0, static_cast<std::uint8_t>(values.size() + 1),
                                static_cast<std::uint8_t>(-static_cast<int>(values.size()))};
  out.insert(out.end(), values.begin(), values.end());
  return out;
}

// 3 x 2 with a matte. The bottom row (stored first) is red 10, green 20, blue 30, matte 255;
// the top row has red 1 2 3, green 4 5 6, blue 7 8 9, matte 0 128 255.
std::vector<std::uint8_t> Sample() {
  TByteWriter w;
  w.Append(Header(3, 2, 3, 1));
  const std::size_t table = w.Size();
  w.Fill(8);
  w.Patch32LE(table, 0);  // patched below, big-endian
  const auto bottom = w.Size();
  w.Append(RunOf(3, 10)).Append(RunOf(3, 20)).Append(RunOf(3, 30)).Append(RunOf(3, 255));
  const auto top = w.Size();
  w.Append(Literal({1, 2, 3})).Append(Literal({4, 5, 6})).Append(Literal({7, 8, 9}));
  w.Append(Literal({0, 128, 255}));
  auto put = [&](std::size_t at, std::size_t v) {
    for (int i = 0; i < 4; ++i) w.Bytes[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
  };
  put(table, bottom);
  put(table + 4, top);
  return w.Bytes;
}

TEST(RLAGraphicTest, DecodesChannelsBottomUpWithMatteAsAlpha) {
  TRLAGraphic rla = Decoded<TRLAGraphic>(Sample());
  ASSERT_EQ(rla.Width(), 3);
  ASSERT_EQ(rla.Height(), 2);
  ASSERT_EQ(rla.BitsPerPixel(), 32);
  EXPECT_EQ(rla.GetPixel(0, 1), (TRGBQuad{30, 20, 10, 255}));
  EXPECT_EQ(rla.GetPixel(1, 0), (TRGBQuad{8, 5, 2, 128}));
  EXPECT_EQ(rla.GetPixel(2, 0), (TRGBQuad{9, 6, 3, 255}));
}

TEST(RLAGraphicTest, WithoutMatteLoadsAs24Bit) {
  TByteWriter w;
  w.Append(Header(2, 1, 3, 0)).U32BE(744);
  w.Append(Literal({1, 2})).Append(RunOf(2, 50)).Append(RunOf(2, 60));
  TRLAGraphic rla = Decoded<TRLAGraphic>(w.Bytes);
  ASSERT_EQ(rla.BitsPerPixel(), 24);
  EXPECT_EQ(rla.GetPixel(1, 0), RGB(2, 50, 60));
}

TEST(RLAGraphicTest, RefusesDamagedFiles) {
  using K = TGraphicFault;
  const std::vector<std::uint8_t> good = Sample();
  ExpectRefusals(TRLAGraphic::ClassInfo, good,
                 {{"shorter than the header", {}, K::NotThisFormat, 739},
                  {"offset table cut", {}, K::Truncated, 744},
                  {"last channel cut", {}, K::Truncated, good.size() - 1},
                  {"negative width", {{10, 0xFF}, {11, 0xF0}}, K::NotThisFormat},
                  {"beyond the pixel limits", {{10, 0x7F}, {14, 0x7F}}, K::TooLarge},
                  {"4097 rows cannot have their offsets in the file", {{14, 0x10}}, K::Truncated},
                  {"four colour channels", {{21, 4}}, K::Unsupported},
                  {"32-bit channels", {{659, 32}}, K::Unsupported},
                  {"floating-point channels", {{657, 4}}, K::Unsupported},
                  {"offset outside the file", {{741, 0xF0}}, K::Damaged},
                  {"offset into the header", {{742, 0}, {743, 100}}, K::Damaged},
                  {"run crossing the row end", {{750, 3}}, K::Damaged},
                  {"bytes left in a channel", {{749, 3}}, K::Damaged},
                  {"literal crossing the row end", {{766, 0xFC}}, K::Damaged},
                  {"run beyond the channel", {{749, 1}}, K::Truncated}});
  TRLAGraphic rla;
  EXPECT_TRUE(LoadFailsWith(rla, {}, InvalidFormatMessage("RLA")));
  EXPECT_TRUE(LoadFailsWith(rla, std::vector<std::uint8_t>(good.begin(), good.end() - 1),
                            TruncatedMessage("RLA")));
}

TEST(RLAGraphicTest, EveryPrefixLoadsOrFailsCleanly) {
  EXPECT_TRUE(LoadsAndEveryPrefixFailsCleanly(TRLAGraphic::ClassInfo, Sample()));
}

}  // namespace
}  // namespace pennacrow::test
