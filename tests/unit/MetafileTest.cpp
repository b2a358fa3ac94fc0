#include <gtest/gtest.h>

#include "SampleBuilder.h"
#include "TestUtil.h"
#include "picture/Metafile.h"

namespace pennacrow::test {
namespace {

void WmfRecord(TByteWriter& w, unsigned function, const std::vector<unsigned>& words) {
  w.U32LE(static_cast<std::uint32_t>(3 + words.size())).U16LE(function);
  for (unsigned v : words) w.U16LE(v);
}

// A placeable metafile of 20 x 10 pixels (units of 1/96 inch) filling the rectangle
// (2, 2)-(10, 8) in red with no outline, then a blue line along row 9.
std::vector<std::uint8_t> Wmf(bool placeable = true) {
  TByteWriter w;
  if (placeable)
    w.U32LE(0x9AC6CDD7).U16LE(0).U16LE(0).U16LE(0).U16LE(20).U16LE(10).U16LE(96).U32LE(0).U16LE(0);
  w.U16LE(1).U16LE(9).U16LE(0x0300).U32LE(0).U16LE(2).U32LE(8).U16LE(0);
  if (!placeable) WmfRecord(w, 0x020C, {10, 20});
  WmfRecord(w, 0x02FC, {0, 0x00FF, 0x0000, 0});  // solid red brush
  WmfRecord(w, 0x012D, {0});
  WmfRecord(w, 0x02FA, {5, 0, 0, 0, 0});  // null pen
  WmfRecord(w, 0x012D, {1});
  WmfRecord(w, 0x041B, {8, 10, 2, 2});  // rectangle: bottom, right, top, left
  WmfRecord(w, 0x01F0, {1});
  WmfRecord(w, 0x02FA, {0, 1, 0, 0x0000, 0x00FF});  // blue pen, replacing the deleted one
  WmfRecord(w, 0x012D, {1});
  WmfRecord(w, 0x0214, {9, 0});   // move to (0, 9)
  WmfRecord(w, 0x0213, {9, 19});  // line to (19, 9)
  WmfRecord(w, 0, {});
  return w.Bytes;
}

void EmfRecord(TByteWriter& w, std::uint32_t type, const std::vector<std::uint32_t>& words) {
  w.U32LE(type).U32LE(static_cast<std::uint32_t>(8 + 4 * words.size()));
  for (std::uint32_t v : words) w.U32LE(v);
}

// An enhanced metafile of 10 x 10 pixels at 96 dpi: a black square (0, 0)-(5, 5) without outline.
std::vector<std::uint8_t> Emf() {
  TByteWriter w;
  w.U32LE(1).U32LE(88).U32LE(0).U32LE(0).U32LE(9).U32LE(9);
  w.U32LE(0).U32LE(0).U32LE(265).U32LE(265);
  w.U32LE(0x464D4520).U32LE(0x10000).U32LE(0).U32LE(0).U16LE(0).U16LE(0);
  w.U32LE(0).U32LE(0).U32LE(0).U32LE(3780).U32LE(3780).U32LE(1000).U32LE(1000);
  EmfRecord(w, 37, {0x80000004});  // black brush
  EmfRecord(w, 37, {0x80000008});  // null pen
  w.U32LE(86).U32LE(44).Fill(16).U32LE(4);
  w.U16LE(0).U16LE(0).U16LE(5).U16LE(0).U16LE(5).U16LE(5).U16LE(0).U16LE(5);
  EmfRecord(w, 14, {0, 0, 20});
  return w.Bytes;
}

TEST(MetafileTest, PlaysAPlaceableWmfAtItsSize) {
  TMetafile wmf = Decoded<TMetafile>(Wmf());
  ASSERT_EQ(wmf.Width(), 20);
  ASSERT_EQ(wmf.Height(), 10);
  EXPECT_EQ(wmf.Image().GetPixel(2, 2), (TRGBQuad{0, 0, 255, 255}));
  EXPECT_EQ(wmf.Image().GetPixel(9, 7), (TRGBQuad{0, 0, 255, 255}));
  EXPECT_EQ(wmf.Image().GetPixel(10, 7).Reserved, 0);
  EXPECT_EQ(wmf.Image().GetPixel(1, 2).Reserved, 0);
  EXPECT_EQ(wmf.Image().GetPixel(15, 9), (TRGBQuad{255, 0, 0, 255}));

  TBitmap canvas(20, 10, 24);
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 20; ++x) canvas.SetPixel(x, y, RGB(1, 2, 3));
  }
  wmf.Draw(canvas);
  EXPECT_EQ(canvas.GetPixel(5, 5), RGB(255, 0, 0));
  EXPECT_EQ(canvas.GetPixel(15, 5), RGB(1, 2, 3));
}

TEST(MetafileTest, AWmfWithoutPlaceableHeaderTakesItsWindowExtent) {
  TMetafile wmf = Decoded<TMetafile>(Wmf(false));
  EXPECT_EQ(wmf.Width(), 20);
  EXPECT_EQ(wmf.Height(), 10);
  EXPECT_EQ(wmf.Image().GetPixel(5, 5), (TRGBQuad{0, 0, 255, 255}));
}

TEST(MetafileTest, PlaysAnEmfIntoItsFrame) {
  TMetafile emf = Decoded<TMetafile>(Emf());
  ASSERT_EQ(emf.Width(), 10);
  ASSERT_EQ(emf.Height(), 10);
  EXPECT_EQ(emf.Image().GetPixel(2, 2), (TRGBQuad{0, 0, 0, 255}));
  EXPECT_EQ(emf.Image().GetPixel(8, 8).Reserved, 0);
}

// A 64 x 64 placeable metafile with a solid red brush selected, then count copies of one record.
std::vector<std::uint8_t> Repeated(int count, unsigned function,
                                   const std::vector<unsigned>& words) {
  TByteWriter w;
  w.U32LE(0x9AC6CDD7).U16LE(0).U16LE(0).U16LE(0).U16LE(64).U16LE(64).U16LE(96).U32LE(0).U16LE(0);
  w.U16LE(1).U16LE(9).U16LE(0x0300).U32LE(0).U16LE(65535).U32LE(8).U16LE(0);
  WmfRecord(w, 0x02FC, {0, 0x00FF, 0x0000, 0});  // solid red brush, kept by the default pen
  WmfRecord(w, 0x012D, {0});
  for (int i = 0; i < count; ++i) WmfRecord(w, function, words);
  WmfRecord(w, 0, {});
  return w.Bytes;
}

// Records cost what they do, not what their header asks: playback paints at most a few times the
// picture's pixels, and every record, drawn or not, counts against the same budget of the file,
// so a small file of many large fills or of many objects is refused at once, while ordinary
// overdraw and thousands of objects still play.
TEST(MetafileTest, RecordsAndDrawingStopAtTheBudgetOfTheFile) {
  const std::string refusal =
      "无法加载图像，WMF图像的记录和绘制超出了每个文件 1048576 个单位的预算。";
  struct TCase {
    const char* Name;
    int Count;
    unsigned Function;
    std::vector<unsigned> Words;
    bool Plays;
  };
  const TCase cases[] = {
      {"20 fills", 20, 0x041B, {64, 64, 0, 0}, true},
      {"400 fills", 400, 0x041B, {64, 64, 0, 0}, false},
      {"60000 objects", 60000, 0x02FC, {0, 0x00FF, 0x0000, 0}, true},
      {"100000 objects", 100000, 0x02FC, {0, 0x00FF, 0x0000, 0}, false},
  };
  for (const TCase& c : cases) {
    TMetafile m;
    try {
      m.LoadFromBytes(Repeated(c.Count, c.Function, c.Words));
      EXPECT_TRUE(c.Plays) << c.Name;
      EXPECT_EQ(m.Image().GetPixel(30, 30).Reserved, c.Function == 0x041B ? 255 : 0) << c.Name;
    } catch (const EInvalidGraphicFormat& e) {
      EXPECT_FALSE(c.Plays) << c.Name;
      EXPECT_EQ(e.Kind(), TGraphicFault::TooLarge) << c.Name;
      EXPECT_EQ(e.what(), refusal) << c.Name;
    }
  }
}

// A header costs nothing to write: a picture that claims more than the playback size plays
// scaled down to it, proportions kept, its drawing where it would be at full size.
TEST(MetafileTest, PicturesLargerThanThePlaybackSizeAreScaledDown) {
  auto wmf = Wmf();  // 20 x 10 units, red from (2, 2) to (10, 8)
  wmf[14] = 1;       // one unit per inch: 1920 x 960 pixels, not scaled
  TMetafile fits = Decoded<TMetafile>(wmf);
  EXPECT_EQ(fits.Width(), 1920);
  EXPECT_EQ(fits.Height(), 960);
  wmf[10] = 0x20, wmf[11] = 0x4E;  // 20000 x 10000 units at 96 per inch
  wmf[12] = 0x10, wmf[13] = 0x27;
  wmf[14] = 96;
  TMetafile scaled = Decoded<TMetafile>(wmf);
  EXPECT_LE(std::uint64_t{1} * scaled.Width() * scaled.Height(), std::uint64_t{1} << 22);
  EXPECT_EQ(scaled.Width(), 2 * scaled.Height());
  EXPECT_EQ(scaled.Image().GetPixel(0, 0), (TRGBQuad{0, 0, 255, 255}));

  auto emf = Emf();  // a frame of 10 x 10 pixels, black from (0, 0) to (5, 5)
  emf[34] = 0x10;    // frame right and bottom 265 + 0x100000 hundredths of a millimetre
  emf[38] = 0x10;
  TMetafile big = Decoded<TMetafile>(emf);
  EXPECT_EQ(big.Width(), 2048);
  EXPECT_EQ(big.Height(), 2048);
}

TEST(MetafileTest, RefusesDamagedFiles) {
  using K = TGraphicFault;
  // The rectangle record claims 9 words it does not have... as a polygon.
  const std::size_t rectangle = 40 + 14 + 16 + 14;
  const auto wmf = Wmf();
  ExpectRefusals(TMetafile::ClassInfo, wmf,
                 {{"type", {{22, 7}}, K::NotThisFormat},
                  {"zero units per inch", {{14, 0}}, K::NotThisFormat},
                  {"record shorter than its header", {{40, 1}}, K::Damaged},
                  {"record cut", {}, K::Truncated, wmf.size() - 8},
                  {"points beyond the record",
                   {{rectangle, 9}, {rectangle + 4, 0x24}, {rectangle + 5, 0x03}},
                   K::Truncated}});
  // The window extent record becomes an unknown one.
  ExpectRefusals(TMetafile::ClassInfo, Wmf(false), {{"no size", {{23, 0x11}}, K::NotThisFormat}});
  auto noFrame = Emf();
  std::fill(noFrame.begin() + 8, noFrame.begin() + 40, 0);
  std::fill(noFrame.begin() + 16, noFrame.begin() + 20, 0xFB);
  const auto emf = Emf();
  ExpectRefusals(TMetafile::ClassInfo, emf,
                 {{"no EMF signature", {{40, 'X'}}, K::NotThisFormat},
                  {"record size not a multiple of four", {{92, 13}}, K::Damaged},
                  {"polygon cut", {}, K::Truncated, emf.size() - 24},
                  {"point count beyond the record", {{88 + 24 + 24, 200}}, K::Damaged},
                  {"header too small", {{4, 8}}, K::NotThisFormat}});
  ExpectRefusals(TMetafile::ClassInfo,
                 {{"empty", {}, K::NotThisFormat},
                  {"letters", std::vector<std::uint8_t>(100, 0x41), K::NotThisFormat},
                  {"empty frame and inverted bounds", noFrame, K::NotThisFormat}});
  // Without its signature an enhanced metafile is taken for an old one.
  TMetafile m;
  EXPECT_TRUE(LoadFailsWith(m, Patched(emf, {{40, 'X'}}), InvalidFormatMessage("WMF")));
  EXPECT_TRUE(LoadFailsWith(m, noFrame, InvalidFormatMessage("EMF")));
}

TEST(MetafileTest, EveryPrefixLoadsOrFailsCleanly) {
  EXPECT_TRUE(LoadsAndEveryPrefixFailsCleanly(TMetafile::ClassInfo, Wmf()));
  EXPECT_TRUE(LoadsAndEveryPrefixFailsCleanly(TMetafile::ClassInfo, Emf()));
}

}  // namespace
}  // namespace pennacrow::test
