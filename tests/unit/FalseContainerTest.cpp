// Pictures that hold no container must not be reported as holding one. Flat, dark and palette
// pictures are where chance headers live: their low bits are mostly 0, and one set bit makes a
// format byte or a version 1 length. Each picture here goes through a decoder, as a user's file
// would, and the probe must find nothing in it.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>

#include "SampleBuilder.h"
#include "codec/Container.h"
#include "formats/PNGGraphic.h"
#include "formats/PngWriter.h"
#include "formats/Registry.h"
#include "picture/PictureRows.h"

namespace pennacrow::test {
namespace {

namespace fs = std::filesystem;
using TBytes = std::vector<std::uint8_t>;
using TContent = std::function<std::uint8_t(int x, int y)>;

// What row 0 of flat pictures with a few marks reads as, and ramps, bands and checks.
std::vector<std::pair<std::string, TContent>> Contents(int width) {
  std::vector<std::pair<std::string, TContent>> contents = {
      {"black", [](int, int) { return 0; }},
      {"ramp", [](int x, int) { return x & 255; }},
      {"slow ramp", [](int x, int) { return (x / 2) & 255; }},
      {"vertical ramp", [](int, int y) { return y * 4 & 255; }},
      {"bands", [width](int x, int) { return x * 8 / width * 32; }},
      {"checks", [](int x, int y) { return ((x / 4 + y / 4) % 2) * 255; }},
  };
  // One mark in row 0 at each probed position: a format byte, a length, the bit at 31.
  for (int p = 0; p < 48; ++p) {
    contents.emplace_back("mark at " + std::to_string(p),
                          [p](int x, int y) { return x == p && y == 0 ? 1 : 0; });
  }
  // Every format byte over black, in one size: the kinds of file change nothing here.
  for (int b = 1; b < 256 && width == 64; ++b) {
    contents.emplace_back("format byte " + std::to_string(b),
                          [b](int x, int y) { return y == 0 && x < 8 ? (b >> (7 - x)) & 1 : 0; });
  }
  return contents;
}

TBitmap GreyPicture(int width, int height, const TContent& content, std::size_t colours) {
  TBitmap bitmap(width, height, 8);
  bitmap.Palette().resize(256);
  for (std::size_t i = 0; i < 256; ++i) {
    // Grey, or a palette of a few colours repeated (its indices are the carrier bytes).
    const auto v = static_cast<std::uint8_t>(colours == 256 ? i : i % colours * 255 / colours);
    bitmap.Palette()[i] = RGB(v, static_cast<std::uint8_t>(255 - v), v);
  }
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) bitmap.RowAt(y)[x] = content(x, y);
  }
  return bitmap;
}

// An 8-bit BMP of another kind than our writer makes: the OS/2 core header, or RLE8 in runs of
// one byte (every row coded, ended, and the picture ended).
TBytes BmpOf(const TBitmap& bitmap, bool os2, bool rle) {
  const int w = bitmap.Width(), h = bitmap.Height();
  const std::uint32_t header = os2 ? 12 : 40, entry = os2 ? 3 : 4;
  TByteWriter pixels;
  for (int y = h - 1; y >= 0; --y) {
    const std::uint8_t* row = bitmap.ConstRowAt(y);
    for (int x = 0; x < w; ++x) rle ? pixels.U8s({1, row[x]}) : pixels.U8(row[x]);
    rle ? pixels.U8s({0, 0}) : pixels.Fill((4 - w % 4) % 4);
  }
  if (rle) pixels.U8s({0, 1});
  const std::uint32_t offset = 14 + header + 256 * entry;
  TByteWriter file;
  file.Text("BM").U32LE(offset + pixels.Size()).U32LE(0).U32LE(offset).U32LE(header);
  if (os2) {
    file.U16LE(w).U16LE(h).U16LE(1).U16LE(8);
  } else {
    file.U32LE(w).U32LE(h).U16LE(1).U16LE(8).U32LE(rle ? 1 : 0).U32LE(pixels.Size());
    file.U32LE(2835).U32LE(2835).U32LE(256).U32LE(0);
  }
  for (const TRGBQuad& c : bitmap.Palette()) {
    file.U8s({c.Blue, c.Green, c.Red});
    if (!os2) file.U8(0);
  }
  return file.Append(pixels.Bytes).Bytes;
}

TEST(FalseContainers, GreyAndPalettePicturesOfEveryKindHoldNone) {
  struct TKind {
    const char* Name;
    std::function<TBytes(const TBitmap&)> Write;
    std::function<std::unique_ptr<TGraphic>()> Reader;
  };
  const auto bmp = [] { return std::unique_ptr<TGraphic>(new TBitmap); };
  const TKind kinds[] = {
      {"BMP", [](const TBitmap& b) { return b.SaveToBytes(); }, bmp},
      {"BMP, OS/2 header", [](const TBitmap& b) { return BmpOf(b, true, false); }, bmp},
      {"BMP, RLE8", [](const TBitmap& b) { return BmpOf(b, false, true); }, bmp},
      {"PNG",
       [](const TBitmap& b) {
         TPngWriter writer;
         writer.Assign(b);
         return writer.SaveToStream();
       },
       [] { return std::unique_ptr<TGraphic>(new TPNGGraphic); }},
  };
  int pictures = 0;
  for (const auto& [width, height] : {std::pair{127, 64}, std::pair{64, 64}, std::pair{33, 9}}) {
    for (const auto& [name, content] : Contents(width)) {
      for (const std::size_t colours : {256u, 16u}) {
        const TBitmap picture = GreyPicture(width, height, content, colours);
        for (const TKind& kind : kinds) {
          const std::unique_ptr<TGraphic> graphic = kind.Reader();
          graphic->LoadFromBytes(kind.Write(picture));
          const std::uint8_t format = DetectDataFormat(graphic->GetBitmap());
          EXPECT_FALSE(HoldsContainer(format))
              << kind.Name << " " << width << "x" << height << ", " << name << ", " << colours
              << " colours: format " << int{format};
          ++pictures;
        }
      }
    }
  }
  EXPECT_GT(pictures, 3000);
}

TEST(FalseContainers, NoisePicturesHoldNone) {
  std::mt19937 random(29);
  for (int i = 0; i < 3000; ++i) {
    TBitmap bitmap(61, 40, i % 2 == 0 ? 24 : 8);
    if (bitmap.BitsPerPixel() == 8) bitmap.Palette().resize(256);
    for (std::uint8_t& byte : bitmap.MutableBits()) byte = static_cast<std::uint8_t>(random());
    const std::uint8_t format = DetectDataFormat(&bitmap);
    EXPECT_FALSE(HoldsContainer(format)) << "picture " << i << ": format " << int{format};
  }
}

// The sample of files other programs wrote, where this tree sits beside it (it is not part of
// the tree, so a fresh clone skips this).
fs::path RealWorldSample() {
  if (const char* dir = std::getenv("PENNACROW_REALWORLD")) return dir;
  for (fs::path up = fs::path(PENNACROW_TEST_DATA).parent_path(); up.has_relative_path();
       up = up.parent_path()) {
    if (fs::is_directory(up / "shared" / "realworld" / "files")) return up / "shared/realworld";
  }
  return {};
}

TEST(FalseContainers, FilesOtherProgramsWroteHoldNone) {
  const fs::path sample = RealWorldSample();
  if (sample.empty()) GTEST_SKIP() << "no shared/realworld beside this tree";
  int probed = 0;
  for (const auto& entry : fs::directory_iterator(sample / "files")) {
    TPictureFileRows rows(FileFormats(), entry.path().string());
    try {
      rows.Rows(1);
    } catch (const EInvalidGraphic&) {
      continue;  // refused files are the decoders' business
    }
    const TContainerProbe probe = ProbeContainer(rows);
    EXPECT_EQ(probe.State, TContainerState::None) << entry.path();
    EXPECT_FALSE(HoldsContainer(probe.Format)) << entry.path();
    ++probed;
  }
  EXPECT_GT(probed, 0);
}

}  // namespace
}  // namespace pennacrow::test
