#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "TestUtil.h"
#include "formats/PngChunks.h"
#include "formats/PngFilter.h"
#include "formats/PngWriter.h"
#include "picture/Errors.h"

namespace pennacrow {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct TChunk {
  std::string Type;
  Bytes Data;
};

std::uint32_t U32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

// Splits a PNG file into its chunks, checking the signature, every length and every CRC.
std::vector<TChunk> Chunks(const Bytes& file) {
  static const Bytes kSignature{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  std::vector<TChunk> chunks;
  EXPECT_TRUE(file.size() >= 8 && std::equal(kSignature.begin(), kSignature.end(), file.begin()));
  std::size_t at = 8;
  while (at + 12 <= file.size()) {
    const std::uint32_t length = U32(&file[at]);
    EXPECT_LE(at + 12 + length, file.size());
    if (at + 12 + length > file.size()) break;
    TChunk chunk{std::string(file.begin() + at + 4, file.begin() + at + 8),
                 Bytes(file.begin() + at + 8, file.begin() + at + 8 + length)};
    EXPECT_EQ(U32(&file[at + 8 + length]), crc32(0, &file[at + 4], length + 4)) << chunk.Type;
    chunks.push_back(std::move(chunk));
    at += 12 + length;
  }
  EXPECT_EQ(at, file.size());
  return chunks;
}

std::string Order(const std::vector<TChunk>& chunks) {
  std::string order;
  for (const TChunk& c : chunks) order += (order.empty() ? "" : " ") + c.Type;
  return order;
}

Bytes Inflate(const Bytes& stream) {
  Bytes out(1 << 16);
  uLongf size = out.size();
  for (;;) {
    size = out.size();
    const int rc = uncompress(out.data(), &size, stream.data(), stream.size());
    if (rc == Z_OK) break;
    EXPECT_EQ(rc, Z_BUF_ERROR);
    if (rc != Z_BUF_ERROR) return {};
    out.resize(out.size() * 4);
  }
  out.resize(size);
  return out;
}

// Decodes with libpng into red, green, blue bytes.
struct TDecoded {
  png_uint_32 Width = 0;
  png_uint_32 Height = 0;
  png_uint_32 FileFormat = 0;
  Bytes Rgb;
};

TDecoded DecodeWithLibpng(const Bytes& file) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  TDecoded decoded;
  if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) {
    ADD_FAILURE() << image.message;
    return decoded;
  }
  decoded.Width = image.width;
  decoded.Height = image.height;
  decoded.FileFormat = image.format;
  image.format = PNG_FORMAT_RGB;
  decoded.Rgb.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, decoded.Rgb.data(), 0, nullptr)) {
    ADD_FAILURE() << image.message;
  }
  png_image_free(&image);
  return decoded;
}

// Every pixel libpng decoded has the colour the bitmap shows there.
void ExpectDecodedPixels(const TDecoded& decoded, const TBitmap& source) {
  for (int y = 0; y < source.Height(); ++y) {
    for (int x = 0; x < source.Width(); ++x) {
      const TRGBQuad want = source.GetPixel(x, y);
      const std::uint8_t* got =
          &decoded.Rgb[(static_cast<std::size_t>(y) * source.Width() + x) * 3];
      ASSERT_EQ(RGB(got[0], got[1], got[2]), RGB(want.Red, want.Green, want.Blue)) << x << "," << y;
    }
  }
}

Bytes Save(const TBitmap& bitmap) {
  TPngWriter writer;
  writer.Assign(bitmap);
  return writer.SaveToStream();
}

// A smooth picture with a little noise, so that every filter gets chosen somewhere. Integer
// arithmetic only, so that its pinned bytes do not depend on the maths library.
TBitmap NaturalBitmap(int width, int height) {
  TBitmap bitmap(width, height, 24);
  std::uint32_t noise = 12345;
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = bitmap.RowAt(y);
    for (int x = 0; x < width; ++x) {
      noise = noise * 1103515245 + 12345;
      const int n = static_cast<int>((noise >> 16) % 5) - 2;
      const int v = (x * x / 7 + y * y / 5 + x * y / 11) % 256;
      row[3 * x] = static_cast<std::uint8_t>(std::clamp(v + n, 0, 255));
      row[3 * x + 1] = static_cast<std::uint8_t>((x * 255) / std::max(1, width - 1));
      row[3 * x + 2] = static_cast<std::uint8_t>(x < width / 3 ? 40 : (y * 3 + n) & 0xFF);
    }
  }
  return bitmap;
}

// A plain second writer, straight from the format's rules: pixels through GetPixel, the filters
// per byte, the repeated-byte count as four comparisons, one compress2 call, a bitwise CRC.
namespace reference {

std::uint32_t Crc(const Bytes& bytes) {
  std::uint32_t crc = 0xFFFFFFFF;
  for (const std::uint8_t b : bytes) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320 & (0u - (crc & 1)));
  }
  return ~crc;
}

void Put32(Bytes& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

void Chunk(Bytes& out, const std::string& type, const Bytes& data) {
  Put32(out, static_cast<std::uint32_t>(data.size()));
  Bytes typed(type.begin(), type.end());
  typed.insert(typed.end(), data.begin(), data.end());
  out.insert(out.end(), typed.begin(), typed.end());
  Put32(out, Crc(typed));
}

int Filtered(int type, const Bytes& row, const Bytes& prior, std::size_t i, std::size_t bpp) {
  const int a = i >= bpp ? row[i - bpp] : 0;
  const int b = prior[i];
  const int c = i >= bpp ? prior[i - bpp] : 0;
  switch (type) {
    case 1:
      return row[i] - a;
    case 3:
      return row[i] - (a + b) / 2;
    case 4: {
      const int p = a + b - c;
      const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
      return row[i] - (pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
    }
    default:
      return row[i];
  }
}

int Count(const Bytes& v) {
  int count = 0;
  for (std::size_t j = 4; j < v.size(); ++j) {
    if (v[j] == v[j - 1] && v[j] == v[j - 2] && v[j] == v[j - 3] && v[j] == v[j - 4]) ++count;
  }
  return count;
}

Bytes Png(const TBitmap& bitmap) {
  const int depth = bitmap.BitsPerPixel();
  const bool indexed = depth <= 8;
  const int w = bitmap.Width(), h = bitmap.Height();
  const std::size_t bpp = indexed ? 1 : 3;
  const std::size_t rowBytes = indexed ? (static_cast<std::size_t>(w) * depth + 7) / 8 : 3u * w;
  Bytes raw;
  Bytes prior(rowBytes, 0);
  for (int y = 0; y < h; ++y) {
    Bytes row;
    if (indexed) {
      row.assign(bitmap.ConstRowAt(y), bitmap.ConstRowAt(y) + rowBytes);
    } else {
      for (int x = 0; x < w; ++x) {
        const TRGBQuad c = bitmap.GetPixel(x, y);
        row.insert(row.end(), {c.Red, c.Green, c.Blue});
      }
    }
    int bestType = 0, bestCount = -1;
    Bytes best;
    for (const int type : {0, 1, 3, 4}) {
      Bytes candidate;
      for (std::size_t i = 0; i < rowBytes; ++i) {
        candidate.push_back(static_cast<std::uint8_t>(Filtered(type, row, prior, i, bpp)));
      }
      if (Count(candidate) > bestCount) {
        bestType = type;
        bestCount = Count(candidate);
        best = candidate;
      }
    }
    raw.push_back(static_cast<std::uint8_t>(bestType));
    raw.insert(raw.end(), best.begin(), best.end());
    prior = row;
  }
  Bytes out{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  Bytes ihdr;
  Put32(ihdr, static_cast<std::uint32_t>(w));
  Put32(ihdr, static_cast<std::uint32_t>(h));
  ihdr.insert(ihdr.end(), {static_cast<std::uint8_t>(indexed ? depth : 8),
                           static_cast<std::uint8_t>(indexed ? 3 : 2), 0, 0, 0});
  Chunk(out, "IHDR", ihdr);
  if (bitmap.Transparent() && !indexed) {
    const TRGBQuad t = bitmap.TransparentColor();
    Chunk(out, "tRNS", {0, t.Red, 0, t.Green, 0, t.Blue});
  }
  if (indexed) {
    Bytes plte;
    for (const TRGBQuad& c : bitmap.Palette()) plte.insert(plte.end(), {c.Red, c.Green, c.Blue});
    Chunk(out, "PLTE", plte);
  }
  Bytes z(compressBound(raw.size()));
  uLongf zSize = z.size();
  EXPECT_EQ(compress2(z.data(), &zSize, raw.data(), raw.size(), Z_DEFAULT_COMPRESSION), Z_OK);
  z.resize(zSize);
  Chunk(out, "IDAT", z);
  Chunk(out, "IEND", {});
  return out;
}

}  // namespace reference

// --- Pixels survive for every layout --------------------------------------------------------

struct TLayoutCase {
  int BitsPerPixel;
  bool Masks565;
  png_uint_32 ExpectedDepth;
  png_uint_32 ExpectedColorType;
};

class PngWriterLayout : public ::testing::TestWithParam<TLayoutCase> {
 protected:
  static TBitmap Source(const TLayoutCase& c) {
    TBitmap source = test::PatternBitmap(47, 33, c.BitsPerPixel, 5);
    if (c.Masks565) source.SetColorMasks(0xF800, 0x07E0, 0x001F);
    return source;
  }
};

TEST_P(PngWriterLayout, LibpngReadsBackTheColoursOfEveryPixel) {
  const TLayoutCase& c = GetParam();
  const TBitmap source = Source(c);
  const Bytes before(source.Bits().begin(), source.Bits().end());

  const Bytes file = Save(source);
  const std::vector<TChunk> chunks = Chunks(file);
  ASSERT_FALSE(chunks.empty());
  ASSERT_EQ(chunks[0].Data.size(), 13u);
  EXPECT_EQ(chunks[0].Data[8], c.ExpectedDepth);
  EXPECT_EQ(chunks[0].Data[9], c.ExpectedColorType);

  const TDecoded decoded = DecodeWithLibpng(file);
  ASSERT_EQ(decoded.Width, 47u);
  ASSERT_EQ(decoded.Height, 33u);
  EXPECT_EQ((decoded.FileFormat & PNG_FORMAT_FLAG_COLORMAP) != 0, c.ExpectedColorType == 3);
  ExpectDecodedPixels(decoded, source);
  // The writer works on its own copy; the bitmap it was given keeps its layout and bytes.
  EXPECT_EQ(source.BitsPerPixel(), c.BitsPerPixel);
  EXPECT_EQ(Bytes(source.Bits().begin(), source.Bits().end()), before);
}

// The file is streamed with its IDAT length patched afterwards; the bytes must be the ones the
// in-memory writer gives.
TEST_P(PngWriterLayout, SavedFileIsTheInMemoryBytes) {
  const TBitmap source = Source(GetParam());
  test::TTempDir dir;
  SaveAsPNG(source, dir.Path("a.png"));
  EXPECT_EQ(test::ReadFileBytes(dir.Path("a.png")), Save(source));
}

INSTANTIATE_TEST_SUITE_P(
    AllDepths, PngWriterLayout,
    ::testing::Values(TLayoutCase{1, false, 1, 3}, TLayoutCase{4, false, 4, 3},
                      TLayoutCase{8, false, 8, 3}, TLayoutCase{24, false, 8, 2},
                      TLayoutCase{32, false, 8, 2}, TLayoutCase{16, true, 8, 2},
                      TLayoutCase{16, false, 8, 2}, TLayoutCase{15, false, 8, 2}));

// Grey rows each made for one filter: flat (None), a ramp (Sub), noise, the average of its
// left neighbour and the noise above (Average), the same again (Paeth).
TBitmap OneRowPerFilter(int w) {
  TBitmap bitmap(w, 5, 24);
  std::uint32_t seed = 99;
  for (int x = 0; x < w; ++x) {
    seed = seed * 1664525 + 1013904223;
    const auto noise = static_cast<std::uint8_t>(seed >> 24);
    const std::uint8_t left = x ? bitmap.GetPixel(x - 1, 3).Red : 0;
    const auto average = static_cast<std::uint8_t>((left + noise) / 2);
    const std::uint8_t rows[5] = {50, static_cast<std::uint8_t>(3 * x + 1), noise, average,
                                  average};
    for (int y = 0; y < 5; ++y) bitmap.SetPixel(x, y, RGB(rows[y], rows[y], rows[y]));
  }
  return bitmap;
}

// Every filter the writer uses is chosen, and each row still reads back exactly through
// libpng: a wrong Average or Paeth would pass the pinned-bytes test only by luck.
TEST(PngWriter, EveryChosenFilterReadsBackExactly) {
  const int w = 16, h = 5;
  const TBitmap source = OneRowPerFilter(w);
  const Bytes file = Save(source);
  Bytes idat;
  for (const TChunk& c : Chunks(file)) {
    if (c.Type == "IDAT") idat.insert(idat.end(), c.Data.begin(), c.Data.end());
  }
  const Bytes rows = Inflate(idat);
  ASSERT_EQ(rows.size(), static_cast<std::size_t>(h) * (3 * w + 1));
  std::vector<int> chosen;
  for (int y = 0; y < h; ++y) chosen.push_back(rows[static_cast<std::size_t>(y) * (3 * w + 1)]);
  EXPECT_EQ(chosen[0], 0);
  EXPECT_EQ(chosen[1], 1);
  EXPECT_EQ(chosen[3], 3);
  EXPECT_EQ(chosen[4], 4);
  ExpectDecodedPixels(DecodeWithLibpng(file), source);
}

TEST(PngWriter, WidenedCopyLeavesTheWritersOwnPixelsAlone) {
  TPngWriter writer;
  writer.Assign(test::PatternBitmap(9, 4, 32, 3));
  const Bytes before(writer.Bits().begin(), writer.Bits().end());
  const Bytes first = writer.SaveToStream();
  EXPECT_EQ(writer.BitsPerPixel(), 32);
  EXPECT_EQ(Bytes(writer.Bits().begin(), writer.Bits().end()), before);
  EXPECT_EQ(writer.SaveToStream(), first);
}

// --- Chunks and their order -------------------------------------------------------------------

// Palette files carry no tRNS; a transparent 32-bit bitmap is written as RGB, so it keeps its
// tRNS. A second save of the same writer still has one tRNS.
TEST(PngWriter, ChunkOrderWithAndWithoutTransparency) {
  using TCase = std::tuple<int, std::optional<TRGBQuad>, const char*, Bytes>;
  for (const auto& [bpp, transparent, order, trns] :
       {TCase{24, std::nullopt, "IHDR IDAT IEND", {}},
        TCase{8, std::nullopt, "IHDR PLTE IDAT IEND", {}},
        TCase{24, RGB(0x12, 0x34, 0x56), "IHDR tRNS IDAT IEND", {0, 0x12, 0, 0x34, 0, 0x56}},
        TCase{8, RGB(1, 2, 3), "IHDR PLTE IDAT IEND", {}},
        TCase{32, RGB(9, 8, 7), "IHDR tRNS IDAT IEND", {0, 9, 0, 8, 0, 7}}}) {
    TBitmap bitmap = test::PatternBitmap(5, 3, bpp);
    if (transparent) bitmap.SetTransparent(true, *transparent);
    TPngWriter writer;
    writer.Assign(bitmap);
    for (int save = 0; save < 2; ++save) {
      const std::vector<TChunk> chunks = Chunks(writer.SaveToStream());
      EXPECT_EQ(Order(chunks), order) << bpp;
      if (!trns.empty()) {
        EXPECT_EQ(chunks[1].Data, trns) << bpp;
      }
    }
  }
}

TEST(PngWriter, PaletteIsOneTriplePerEntry) {
  TBitmap indexed = test::PatternBitmap(6, 2, 4);
  indexed.Palette().resize(3);
  indexed.Palette()[1] = RGB(10, 20, 30);
  const std::vector<TChunk> chunks = Chunks(Save(indexed));
  ASSERT_EQ(chunks[1].Type, "PLTE");
  const TRGBQuad p0 = indexed.Palette()[0];
  const TRGBQuad p2 = indexed.Palette()[2];
  EXPECT_EQ(chunks[1].Data,
            (Bytes{p0.Red, p0.Green, p0.Blue, 10, 20, 30, p2.Red, p2.Green, p2.Blue}));
}

// PNG refuses a palette longer than the depth can index and an empty one; such bitmaps still give
// files that read back as they show (missing entries are black).
TEST(PngWriter, PaletteFitsTheDepth) {
  TBitmap oneBit = test::PatternBitmap(8, 2, 1);
  oneBit.Palette().push_back(RGB(1, 1, 1));
  oneBit.Palette().push_back(RGB(2, 2, 2));
  EXPECT_EQ(Chunks(Save(oneBit))[1].Data.size(), 6u);

  TBitmap bare = test::PatternBitmap(7, 3, 8);
  bare.Palette().clear();
  const Bytes file = Save(bare);
  EXPECT_EQ(Chunks(file)[1].Data, Bytes(3 * 256, 0));
  const TDecoded decoded = DecodeWithLibpng(file);
  EXPECT_EQ(decoded.Rgb, Bytes(7 * 3 * 3, 0));
}

TEST(PngWriter, ArrangeChunksMendsAnyList) {
  auto types = [](const TPngChunkList& list) {
    std::string s;
    for (const auto& c : list) s += std::string(s.empty() ? "" : " ") + std::string(c->ChunkType());
    return s;
  };
  TPngChunkList list;
  ArrangeChunks(list, 8, true);
  EXPECT_EQ(types(list), "IHDR tRNS PLTE IDAT IEND");

  list.clear();
  list.push_back(std::make_unique<TIendChunk>());
  list.push_back(std::make_unique<TTrnsChunk>());
  list.push_back(std::make_unique<TIhdrChunk>());
  ArrangeChunks(list, 24, false);
  EXPECT_EQ(types(list), "IHDR IDAT IEND");

  list = InitialChunkList();
  list.push_back(std::make_unique<TPlteChunk>());
  ArrangeChunks(list, 4, false);
  EXPECT_EQ(types(list), "IHDR IDAT IEND PLTE");  // a PLTE already there stays where it is
}

TEST(PngWriter, ChunkWithLowerCaseFourthLetterIsNeverWritten) {
  struct TPrivate : TPngChunk {
    std::string_view ChunkType() const override { return "prVt"; }
    void AppendData(const TBitmap&, Bytes& out) const override { out.push_back(1); }
  };
  struct TPublic : TPngChunk {
    std::string_view ChunkType() const override { return "prVT"; }
    void AppendData(const TBitmap&, Bytes& out) const override { out.push_back(1); }
  };
  const TBitmap picture(1, 1, 24);
  Bytes out;
  AppendChunk(TPrivate{}, picture, out);
  EXPECT_TRUE(out.empty());
  AppendChunk(TPublic{}, picture, out);
  Bytes expected{0, 0, 0, 1, 'p', 'r', 'V', 'T', 1};
  reference::Put32(expected, reference::Crc({'p', 'r', 'V', 'T', 1}));
  EXPECT_EQ(out, expected);
}

// --- The filter choice ------------------------------------------------------------------------

TEST(PngWriterFilter, RepeatedByteCount) {
  EXPECT_EQ(RepeatedByteCount(Bytes{}), 0u);
  EXPECT_EQ(RepeatedByteCount(Bytes{7, 7, 7, 7}), 0u);
  EXPECT_EQ(RepeatedByteCount(Bytes{7, 7, 7, 7, 7}), 1u);
  EXPECT_EQ(RepeatedByteCount(Bytes{7, 7, 7, 7, 7, 7, 7}), 3u);
  EXPECT_EQ(RepeatedByteCount(Bytes{1, 1, 1, 1, 2, 1, 1, 1, 1, 1}), 1u);
  EXPECT_EQ(RepeatedByteCount(Bytes{0, 0, 0, 0, 1, 0, 0, 0, 0}), 0u);
}

// Ties go to the lower filter: a flat row over zeros counts 6 for None, 5 for Sub; on the top row
// Paeth predicts from the left exactly as Sub. Steps of one give Sub a run of ones only from the
// sixth byte on, never five long. A row equal to the one above: Paeth predicts it exactly (Up
// would too, but is not offered). RGB rows look three bytes back.
TEST(PngWriterFilter, EachRowTakesTheFilterThatFitsIt) {
  Bytes ramp(12), prior(16), average(16);
  for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<std::uint8_t>(3 * i + 1);
  std::uint32_t seed = 99;
  for (std::size_t i = 0; i < prior.size(); ++i) {
    seed = seed * 1664525 + 1013904223;
    prior[i] = static_cast<std::uint8_t>(seed >> 24);
    average[i] = static_cast<std::uint8_t>(((i ? average[i - 1] : 0) + prior[i]) / 2);
  }
  // The row, the row above (none: the top row), bytes per pixel, the choice, its bytes (none:
  // not checked).
  using TCase = std::tuple<Bytes, Bytes, std::size_t, TPngFilter, Bytes>;
  const TCase cases[] = {
      {{9, 9, 9, 9}, {}, 1, TPngFilter::None, {9, 9, 9, 9}},
      {{0, 1, 2, 3, 4, 40, 90, 13, 200, 77},
       {5, 80, 3, 19, 240, 1, 2, 3, 4, 5},
       1,
       TPngFilter::None,
       {}},
      {Bytes(10, 9), {}, 1, TPngFilter::None, {}},
      {ramp, {}, 1, TPngFilter::Sub, {1, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3}},
      {average, prior, 1, TPngFilter::Average, Bytes(16, 0)},
      {prior, prior, 1, TPngFilter::Paeth, Bytes(16, 0)},
      {{10, 20, 30, 10, 20, 30, 10, 20, 30, 10, 20, 30, 10, 20, 30},
       {},
       3,
       TPngFilter::Sub,
       {10, 20, 30, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const auto& [row, above, bpp, choice, filtered] = cases[i];
    TPngRowFilter filter(row.size(), bpp);
    EXPECT_EQ(filter.Choose(row.data(), above.empty() ? nullptr : above.data()), choice) << i;
    if (!filtered.empty()) {
      EXPECT_EQ(Bytes(filter.Filtered().begin(), filter.Filtered().end()), filtered) << i;
    }
  }
}

// --- Whole files ------------------------------------------------------------------------------

TEST(PngWriter, EmptyBitmap) {
  const Bytes file = Save(TBitmap());
  const std::vector<TChunk> chunks = Chunks(file);
  ASSERT_EQ(Order(chunks), "IHDR IDAT IEND");
  EXPECT_EQ(chunks[0].Data, (Bytes{0, 0, 0, 0, 0, 0, 0, 0, 8, 2, 0, 0, 0}));
  EXPECT_EQ(chunks[1].Data, (Bytes{0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01}));
  EXPECT_TRUE(chunks[2].Data.empty());
}

TEST(PngWriter, SameBytesAsAPlainReferenceWriter) {
  std::vector<TBitmap> bitmaps{test::PatternBitmap(47, 33, 1),
                               test::PatternBitmap(47, 33, 4),
                               test::PatternBitmap(47, 33, 8),
                               test::PatternBitmap(3, 2, 24),
                               test::PatternBitmap(1, 1, 8),
                               test::PatternBitmap(47, 33, 32),
                               test::PatternBitmap(47, 33, 15),
                               NaturalBitmap(47, 33),
                               NaturalBitmap(1, 40)};
  bitmaps[3].SetTransparent(true, RGB(200, 100, 50));
  // Bigger than one block of input to zlib: the split must not change the stream.
  bitmaps.push_back(NaturalBitmap(700, 600));
  for (const TBitmap& bitmap : bitmaps) {
    SCOPED_TRACE(std::to_string(bitmap.Width()) + "x" + std::to_string(bitmap.Height()) + "@" +
                 std::to_string(bitmap.BitsPerPixel()));
    EXPECT_EQ(Save(bitmap), reference::Png(bitmap));
  }
}

// Rows made for one filter each, seen through the whole writer: a ramp on the top row (Sub; Paeth
// ties with it there), the same ramp again (Paeth), the average of left and above (Average), a
// flat row (None).
TEST(PngWriter, EachRowGetsTheFilterThatFitsIt) {
  constexpr int kWidth = 20;
  TBitmap bitmap = test::PatternBitmap(kWidth, 4, 8);
  std::uint8_t* rows[4] = {bitmap.RowAt(0), bitmap.RowAt(1), bitmap.RowAt(2), bitmap.RowAt(3)};
  for (int x = 0; x < kWidth; ++x) {
    rows[0][x] = rows[1][x] = static_cast<std::uint8_t>(1 + 3 * x);
    rows[2][x] = static_cast<std::uint8_t>(((x ? rows[2][x - 1] : 0) + rows[1][x]) / 2);
    rows[3][x] = 9;
  }
  const Bytes raw = Inflate(Chunks(Save(bitmap))[2].Data);
  ASSERT_EQ(raw.size(), 4u * (1 + kWidth));
  EXPECT_EQ((Bytes{raw[0], raw[21], raw[42], raw[63]}), (Bytes{1, 4, 3, 0}));
  EXPECT_EQ(Save(bitmap), reference::Png(bitmap));
}

// The exact bytes of one picture, pinned: any change to chunk layout, filter choice or the
// deflate settings shows up here.
TEST(PngWriter, PinnedBytesOfASyntheticPicture) {
  const Bytes file = Save(NaturalBitmap(47, 33));
  EXPECT_EQ(file.size(), 3276u);
  EXPECT_EQ(crc32(0, file.data(), static_cast<uInt>(file.size())), 2365098132u);
}

TEST(PngWriter, SaveAsPngWritesTheFile) {
  test::TTempDir dir;
  const TBitmap bitmap = NaturalBitmap(20, 10);
  SaveAsPNG(bitmap, dir.Path("a.png"));
  EXPECT_EQ(test::ReadFileBytes(dir.Path("a.png")), Save(bitmap));
  SaveAsPNG(TBitmap(), dir.Path("a.png"));  // overwrites
  EXPECT_EQ(test::ReadFileBytes(dir.Path("a.png")), Save(TBitmap()));
}

// Noise does not compress: the image data runs to several pieces of output and the length
// placeholder is already on disk when it is patched. A FIFO cannot be patched, so the same
// bytes must come out of the buffered path.
TEST(PngWriter, LargeFileStreamedOrThroughAFifoIsTheInMemoryBytes) {
  TBitmap noise(800, 700, 24);
  std::uint32_t seed = 7;
  for (std::uint8_t& byte : noise.MutableBits()) {
    seed = seed * 1664525u + 1013904223u;
    byte = static_cast<std::uint8_t>(seed >> 24);
  }
  const Bytes expected = Save(noise);
  ASSERT_GT(expected.size(), std::size_t{1} << 20);
  test::TTempDir dir;
  SaveAsPNG(noise, dir.Path("a.png"));
  EXPECT_EQ(test::ReadFileBytes(dir.Path("a.png")), expected);

  ASSERT_EQ(::mkfifo(dir.Path("fifo.png").c_str(), 0600), 0);
  Bytes received;
  std::thread reader([&] {
    std::ifstream in(dir.Path("fifo.png"), std::ios::binary);
    received.assign(std::istreambuf_iterator<char>(in), {});
  });
  SaveAsPNG(noise, dir.Path("fifo.png"));
  reader.join();
  EXPECT_EQ(received, expected);
  EXPECT_TRUE(std::filesystem::is_fifo(dir.Path("fifo.png")));
}

TEST(PngWriter, UnwritablePathRaisesAndLeavesNoFile) {
  test::TTempDir dir;
  const TBitmap bitmap = NaturalBitmap(20, 10);
  EXPECT_THROW(SaveAsPNG(bitmap, dir.Path("missing/a.png")), EFileError);
  // The target is a directory: the file is written beside it and the rename fails.
  std::filesystem::create_directory(dir.Path("b.png"));
  EXPECT_THROW(SaveAsPNG(bitmap, dir.Path("b.png")), EFileError);
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path(""))) {
    names.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(names, std::vector<std::string>{"b.png"});
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path("b.png")));
}

TEST(PngWriter, NeverDecodes) {
  TPngWriter writer;
  const Bytes file = Save(NaturalBitmap(4, 4));
  EXPECT_THROW(writer.LoadFromBytes(file), EInvalidGraphicFormat);
}

}  // namespace
}  // namespace pennacrow
