// Rows on demand: the first rows a format reads alone must be the rows a whole decode gives, and
// the container readers that use them must answer exactly as they do over the whole picture.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "DecoderSamples.h"
#include "SampleBuilder.h"
#include "TestUtil.h"
#include "codec/BinaryUnit.h"
#include "codec/Container.h"
#include "formats/PngWriter.h"
#include "formats/Registry.h"
#include "picture/Errors.h"
#include "picture/FileFormats.h"
#include "picture/FractalImage.h"
#include "picture/PictureRows.h"

namespace pennacrow {
namespace {

using test::TBytes;
using test::TTempDir;
using test::VersionOneBits;

TBitmap WholeDecode(const std::string& fileName) {
  TFractalImage picture(FileFormats());
  picture.LoadPictureFile(fileName);
  return std::move(picture.PictureBitmap());
}

// A load from the file (which the decoders read as they go) and one from the file's bytes in
// memory must give the same picture or fail with the same message.
std::string LoadOutcome(const std::string& fileName, bool fromBytes) {
  try {
    std::unique_ptr<TGraphic> graphic =
        FileFormats().ClassForExtension(ExtractExtension(fileName))->Create();
    if (fromBytes) {
      graphic->LoadFromBytes(test::ReadFileBytes(fileName));
    } else {
      graphic->LoadFromFile(fileName);
    }
    const TBitmap* bitmap = graphic->GetBitmap();
    if (bitmap == nullptr) return "no bitmap";
    std::string outcome = std::to_string(bitmap->Width()) + "x" + std::to_string(bitmap->Height()) +
                          "x" + std::to_string(bitmap->BitsPerPixel()) + ":";
    for (const TRGBQuad& c : bitmap->Palette())
      outcome += {char(c.Blue), char(c.Green), char(c.Red)};
    const std::span<const std::uint8_t> bits = bitmap->Bits();
    outcome.append(bits.begin(), bits.end());
    return outcome;
  } catch (const std::exception& e) {
    return std::string("error: ") + e.what();
  }
}

void ExpectFileLoadIsBytesLoad(const std::string& fileName, const std::string& name) {
  const std::string fromFile = LoadOutcome(fileName, false);
  const std::string fromBytes = LoadOutcome(fileName, true);
  EXPECT_TRUE(fromFile == fromBytes)
      << name << ": " << fromFile.substr(0, 80) << " | " << fromBytes.substr(0, 80);
}

void ExpectSameTopRows(const TBitmap& part, const TBitmap& whole, int count,
                       const std::string& name) {
  ASSERT_GE(part.Height(), std::min(count, whole.Height())) << name;
  ASSERT_EQ(part.Width(), whole.Width()) << name;
  ASSERT_EQ(part.BitsPerPixel(), whole.BitsPerPixel()) << name;
  EXPECT_EQ(part.Palette(), whole.Palette()) << name;
  for (int r = 0; r < std::min(count, whole.Height()); ++r) {
    ASSERT_TRUE(
        std::equal(part.ConstRowAt(r), part.ConstRowAt(r) + part.RowLength(), whole.ConstRowAt(r)))
        << name << ", row " << r;
  }
}

// A BMP whose rows run from the top: the height negated and the rows in the other order.
TBytes TopDownBmp(const TBitmap& bitmap) {
  TBytes bytes = bitmap.SaveToBytes();
  const std::size_t offset = bytes[10] | (bytes[11] << 8) | (bytes[12] << 16);
  const std::int32_t height = -bitmap.Height();
  for (int i = 0; i < 4; ++i) bytes[22 + i] = static_cast<std::uint8_t>(height >> (8 * i));
  TBytes flipped(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
  for (int r = 0; r < bitmap.Height(); ++r) {
    const std::uint8_t* row = bitmap.ConstRowAt(r);
    flipped.insert(flipped.end(), row, row + bitmap.RowLength());
  }
  return flipped;
}

TBytes PngOf(const TBitmap& bitmap) {
  TPngWriter writer;
  writer.Assign(bitmap);
  return writer.SaveToStream();
}

TBytes JpegOf(const TBitmap& bitmap, int components) {
  TBytes samples;
  for (int y = 0; y < bitmap.Height(); ++y) {
    const std::uint8_t* row = bitmap.ConstRowAt(y);
    samples.insert(samples.end(), row, row + bitmap.Width() * components);
  }
  return test::MakeJpeg(bitmap.Width(), bitmap.Height(), components, samples, 95);
}

TBytes RawPpmOf(const TBitmap& bitmap) {
  const std::string header =
      "P6\n" + std::to_string(bitmap.Width()) + " " + std::to_string(bitmap.Height()) + "\n255\n";
  TBytes bytes(header.begin(), header.end());
  for (int y = 0; y < bitmap.Height(); ++y) {
    const std::uint8_t* row = bitmap.ConstRowAt(y);
    for (int x = 0; x < bitmap.Width(); ++x) {
      bytes.insert(bytes.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
    }
  }
  return bytes;
}

// An uncompressed 24-bit Targa file, its rows from the top or from the bottom.
TBytes TargaOf(const TBitmap& bitmap, bool topDown) {
  test::TByteWriter bytes;
  bytes.U8s({0, 0, 2}).Fill(9).U16LE(static_cast<unsigned>(bitmap.Width()));
  bytes.U16LE(static_cast<unsigned>(bitmap.Height())).U8s({24, topDown ? 0x20u : 0u});
  for (int r = 0; r < bitmap.Height(); ++r) {
    const std::uint8_t* row = bitmap.ConstRowAt(topDown ? r : bitmap.Height() - 1 - r);
    bytes.Bytes.insert(bytes.Bytes.end(), row, row + 3 * bitmap.Width());
  }
  return bytes.Bytes;
}

// A TIFF of the bitmap's samples, red first: 8-bit grey for an 8-bit bitmap, else RGB.
TBytes TiffOf(const TBitmap& bitmap, bool tiled, bool planar, int compression = COMPRESSION_NONE) {
  const bool rgb = bitmap.BitsPerPixel() == 24;
  test::TTiffSample sample;
  sample.Width = bitmap.Width();
  sample.Height = bitmap.Height();
  sample.SamplesPerPixel = rgb ? 3 : 1;
  sample.Photometric = rgb ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
  sample.Planar = planar ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG;
  sample.Compression = compression;
  sample.Tiled = tiled;
  for (int p = 0; p < (planar ? 3 : 1); ++p) {
    for (int y = 0; y < bitmap.Height(); ++y) {
      const std::uint8_t* row = bitmap.ConstRowAt(y);
      for (int x = 0; x < bitmap.Width(); ++x) {
        if (!rgb) {
          sample.Rows.push_back(row[x]);
        } else if (planar) {
          sample.Rows.push_back(row[3 * x + 2 - p]);
        } else {
          sample.Rows.insert(sample.Rows.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
        }
      }
    }
  }
  return test::MakeTiff(sample);
}

// A PCX file: 24-bit as three planes of 8 bits, 8-bit with its palette at the end; lines
// run-length encoded (every byte as a run of one where it would read as a count) or stored.
TBytes PcxOf(const TBitmap& bitmap, bool rle) {
  const int planes = bitmap.BitsPerPixel() / 8;
  const auto w = static_cast<unsigned>(bitmap.Width()), h = static_cast<unsigned>(bitmap.Height());
  const unsigned lineBytes = w + w % 2;
  test::TByteWriter header;
  header.U8s({0x0A, 5, rle ? 1u : 0u, 8}).Fill(4).U16LE(w - 1).U16LE(h - 1).Fill(53).U8(planes);
  TBytes bytes = header.U16LE(lineBytes).Fill(60).Bytes;
  for (int y = 0; y < bitmap.Height(); ++y) {
    const std::uint8_t* row = bitmap.ConstRowAt(y);
    for (int p = 0; p < planes; ++p) {
      for (unsigned x = 0; x < lineBytes; ++x) {
        const std::uint8_t v = x < w ? row[x * planes + (planes == 3 ? 2 - p : 0)] : 0;
        // Runs of equal bytes where they occur, so that both kinds of packet are read.
        unsigned run = 1;
        while (rle && x + run < w && run < 63 &&
               row[(x + run) * planes + (planes == 3 ? 2 - p : 0)] == v)
          ++run;
        if (rle && (run > 1 || v >= 0xC0)) bytes.push_back(static_cast<std::uint8_t>(0xC0 | run));
        bytes.push_back(v);
        x += run - 1;
      }
    }
  }
  if (planes == 1) {
    bytes.push_back(0x0C);
    for (const TRGBQuad& c : bitmap.Palette()) bytes.insert(bytes.end(), {c.Red, c.Green, c.Blue});
    bytes.resize(bytes.size() + 3 * (256 - bitmap.Palette().size()), 0);
  }
  return bytes;
}

// Large enough that the first read of a file (a quarter of a megabyte) misses the lower rows.
constexpr int kWidth = 203;
constexpr int kHeight = 1500;

TEST(RowsOnDemandTest, FirstRowsEqualWholeDecodeAndSurviveALaterCut) {
  struct TCase {
    const char* Name;
    const char* Extension;
    std::function<TBytes()> Make;
    bool TopRowsFirst;  // a cut file keeps its top rows
  };
  const TBitmap colour = test::PatternBitmap(kWidth, kHeight, 24, 7);
  const TBitmap indexed = test::PatternBitmap(kWidth, kHeight, 8, 8);
  const std::vector<TCase> cases = {
      {"BMP bottom-up", "bmp", [&] { return colour.SaveToBytes(); }, false},
      {"BMP bottom-up, 8 bits", "bmp", [&] { return indexed.SaveToBytes(); }, false},
      {"BMP top-down", "bmp", [&] { return TopDownBmp(colour); }, true},
      {"PNG", "png", [&] { return PngOf(colour); }, true},
      {"PNG, palette", "png", [&] { return PngOf(indexed); }, true},
      {"JPEG", "jpg", [&] { return JpegOf(colour, 3); }, true},
      {"JPEG, grey", "jpg", [&] { return JpegOf(indexed, 1); }, true},
      {"PPM", "ppm", [&] { return RawPpmOf(colour); }, true},
      {"Targa bottom-up", "tga", [&] { return TargaOf(colour, false); }, false},
      {"Targa top-down", "tga", [&] { return TargaOf(colour, true); }, true},
      // The TIFF writer puts the directory after the pixels: a cut file has none.
      {"TIFF strips", "tif", [&] { return TiffOf(colour, false, false); }, false},
      {"TIFF tiles", "tif", [&] { return TiffOf(colour, true, false); }, false},
      {"TIFF planes", "tif", [&] { return TiffOf(colour, false, true); }, false},
      {"TIFF planes in tiles", "tif", [&] { return TiffOf(colour, true, true); }, false},
      {"TIFF grey tiles", "tif", [&] { return TiffOf(indexed, true, false); }, false},
      {"PCX run-length", "pcx", [&] { return PcxOf(colour, true); }, true},
      {"PCX stored", "pcx", [&] { return PcxOf(colour, false); }, true},
      // Its palette is at the end of the file.
      {"PCX 8 bits", "pcx", [&] { return PcxOf(indexed, true); }, false},
  };
  const TTempDir dir;
  for (const TCase& c : cases) {
    const TBytes bytes = c.Make();
    const std::string file = dir.Path(std::string("whole.") + c.Extension);
    test::WriteFileBytes(file, bytes);
    const TBitmap whole = WholeDecode(file);
    ExpectFileLoadIsBytesLoad(file, c.Name);
    for (const int count : {1, kHeight / 2, kHeight, kHeight + 5}) {
      const TPictureRows rows = LoadPictureRows(FileFormats(), file, count);
      EXPECT_EQ(rows.Height, kHeight) << c.Name;
      ExpectSameTopRows(rows.Rows, whole, count,
                        std::string(c.Name) + ", " + std::to_string(count) + " rows");
    }
    // Only what the rows need is read: a file cut below them still gives them, one cut before
    // them is refused as a damaged picture.
    const std::string cut = dir.Path(std::string("cut.") + c.Extension);
    test::WriteFileBytes(cut, TBytes(bytes.begin(), bytes.begin() + bytes.size() * 7 / 10));
    if (c.TopRowsFirst) {
      ExpectSameTopRows(LoadPictureRows(FileFormats(), cut, 8).Rows, whole, 8, c.Name);
    } else {
      EXPECT_THROW(LoadPictureRows(FileFormats(), cut, 8), EInvalidGraphic) << c.Name;
    }
    EXPECT_THROW(LoadPictureRows(FileFormats(), cut, kHeight), EInvalidGraphic) << c.Name;
    ExpectFileLoadIsBytesLoad(cut, std::string(c.Name) + ", cut");
    test::WriteFileBytes(cut, TBytes(bytes.begin(), bytes.begin() + 40));
    EXPECT_THROW(LoadPictureRows(FileFormats(), cut, 1), EInvalidGraphic) << c.Name;
  }
}

// A TIFF's strips or tiles below the rows asked for are not read: damage there does not stop
// them, though it stops the whole picture.
TEST(RowsOnDemandTest, TiffDamageBelowTheRowsIsNotRead) {
  const TBitmap colour = test::PatternBitmap(kWidth, kHeight, 24, 9);
  const TTempDir dir;
  for (const bool tiled : {false, true}) {
    const TBytes bytes = TiffOf(colour, tiled, false, COMPRESSION_ADOBE_DEFLATE);
    const std::string file = dir.Path("deflate.tif");
    test::WriteFileBytes(file, bytes);
    const TBitmap whole = WholeDecode(file);
    // Garbage in the middle of the strip or tile that starts the picture's lower half.
    std::uint64_t at = 0;
    {
      TIFF* tif = TIFFOpen(file.c_str(), "r");
      ASSERT_NE(tif, nullptr);
      std::uint64_t* offsets = nullptr;
      std::uint64_t* counts = nullptr;
      TIFFGetField(tif, tiled ? TIFFTAG_TILEOFFSETS : TIFFTAG_STRIPOFFSETS, &offsets);
      TIFFGetField(tif, tiled ? TIFFTAG_TILEBYTECOUNTS : TIFFTAG_STRIPBYTECOUNTS, &counts);
      const std::uint32_t chunk = tiled ? TIFFComputeTile(tif, 0, kHeight / 2, 0, 0)
                                        : TIFFComputeStrip(tif, kHeight / 2, 0);
      at = offsets[chunk] + counts[chunk] / 2;
      TIFFClose(tif);
    }
    TBytes damaged = bytes;
    std::fill_n(damaged.begin() + static_cast<std::ptrdiff_t>(at), 4, 0x5A);
    test::WriteFileBytes(file, damaged);
    const std::string name = tiled ? "tiles" : "strips";
    EXPECT_THROW(WholeDecode(file), EInvalidGraphic) << name;
    const TPictureRows rows = LoadPictureRows(FileFormats(), file, kHeight / 4);
    EXPECT_EQ(rows.Height, kHeight) << name;
    ExpectSameTopRows(rows.Rows, whole, kHeight / 4, name);
    EXPECT_THROW(LoadPictureRows(FileFormats(), file, kHeight), EInvalidGraphic) << name;
  }
}

// What a read gives, or the message it fails with.
std::string Outcome(const std::function<THiddenText()>& read) {
  try {
    const THiddenText hidden = read();
    return std::to_string(hidden.Format) + ":" + hidden.Text;
  } catch (const std::exception& e) {
    return std::string("error: ") + e.what();
  }
}

// A plain file that ends inside a number must not give the cut number as a row.
TEST(RowsOnDemandTest, PlainFileCutInsideANumberIsNotRead) {
  const TTempDir dir;
  const std::string file = dir.Path("plain.pgm");
  const std::string text = "P2\n1 2\n255\n255\n";
  test::WriteFileBytes(file, TBytes(text.begin(), text.end() - 2));  // "25" of the last 255
  EXPECT_THROW(LoadPictureRows(FileFormats(), file, 1), EInvalidGraphic);
  test::WriteFileBytes(file, TBytes(text.begin(), text.end()));
  EXPECT_EQ(LoadPictureRows(FileFormats(), file, 1).Rows.ConstRowAt(0)[0], 255);
}

TEST(RowsOnDemandTest, ContainerReadersAnswerAsOverTheWholePicture) {
  struct TCase {
    const char* Name;
    int Width, Height, Depth;
    std::string Bits;  // written from carrier position 0
  };
  const std::vector<TCase> cases = {
      {"plain", 64, 200, 24, BuildBinaryString("hello", kFormatPlain)},
      {"encrypted, many rows", 64, 200, 24,
       BuildBinaryString(std::string(700, 'x'), kFormatEncrypted)},
      {"narrower than the header", 5, 300, 24, BuildBinaryString("abc", kFormatPlain)},
      {"8 bits", 50, 120, 8, BuildBinaryString("grey", kFormatPlain)},
      {"version 1", 40, 200, 24, VersionOneBits("AB")},
      {"chance version 1 hit", 40, 200, 24, VersionOneBits("a\x01")},
      {"length beyond the picture", 64, 200, 24, "00000001" + std::string(16, '1')},
      {"nothing", 64, 200, 24, std::string(48, '0')},
      {"4 bits", 64, 200, 4, ""},
  };
  const TTempDir dir;
  for (const TCase& c : cases) {
    TBitmap bitmap = test::PatternBitmap(c.Width, c.Height, c.Depth, 11);
    if (!c.Bits.empty()) AddBinaryToImage(bitmap, c.Bits);
    for (const char* extension : {"bmp", "png"}) {
      const std::string file = dir.Path(std::string("carrier.") + extension);
      test::WriteFileBytes(file,
                           extension == std::string("bmp") ? bitmap.SaveToBytes() : PngOf(bitmap));
      const TBitmap whole = WholeDecode(file);
      const std::string name = std::string(c.Name) + ", " + extension;
      for (const bool force : {false, true}) {
        TPictureFileRows rows(FileFormats(), file);
        EXPECT_EQ(Outcome([&] { return ReadHiddenText(rows, force); }),
                  Outcome([&] { return ReadHiddenText(whole, force); }))
            << name << (force ? ", forced" : "");
      }
      TPictureFileRows rows(FileFormats(), file);
      EXPECT_EQ(DetectDataFormat(rows), DetectDataFormat(&whole)) << name;
      EXPECT_EQ(rows.Height(), whole.Height()) << name;
      // The probe of a wide picture decodes its top row, not the picture.
      if (c.Width >= 48 && c.Depth >= 8) {
        EXPECT_LT(rows.Rows(1).Height(), c.Height) << name;
      }
    }
  }
}

// The decoder samples the other tests use: the readers answer alike, whatever the file holds,
// and a decoder that reads the file as it goes decodes or refuses it as it does from memory.
TEST(RowsOnDemandTest, SampleFilesProbeAsWhole) {
  namespace fs = std::filesystem;
  const fs::path corpus =
      fs::path(PENNACROW_TEST_DATA).parent_path().parent_path() / "fuzz" / "corpus";
  const TTempDir dir;
  int compared = 0;
  for (const auto& [target, extension] :
       {std::pair{"bmp", "bmp"}, std::pair{"png", "png"}, std::pair{"jpeg", "jpg"},
        std::pair{"ppm", "ppm"}, std::pair{"tiff", "tif"}, std::pair{"pcx", "pcx"},
        std::pair{"targa", "tga"}}) {
    for (const auto& entry : fs::directory_iterator(corpus / target)) {
      const std::string file = dir.Path(std::string("sample.") + extension);
      fs::copy_file(entry.path(), file, fs::copy_options::overwrite_existing);
      ExpectFileLoadIsBytesLoad(file, entry.path());
      TBitmap whole;
      try {
        whole = WholeDecode(file);
      } catch (const std::exception&) {
        continue;  // refused samples are the decoders' tests' business
      }
      TPictureFileRows rows(FileFormats(), file);
      EXPECT_EQ(Outcome([&] { return ReadHiddenText(rows, true); }),
                Outcome([&] { return ReadHiddenText(whole, true); }))
          << entry.path();
      TPictureFileRows probed(FileFormats(), file);
      EXPECT_EQ(DetectDataFormat(probed), DetectDataFormat(&whole)) << entry.path();
      ++compared;
    }
  }
  EXPECT_GT(compared, 10);
}

}  // namespace
}  // namespace pennacrow
