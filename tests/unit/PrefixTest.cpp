// Damaged files: every prefix of the sample files of each library format and of BMP, and copies
// with a few bytes changed, must either decode to a consistent picture or be refused with one of
// our errors, never a crash, a foreign exception or a picture whose rows lie outside its pixels.
// The samples are the hand-made seeds of the fuzz corpora (fuzz/corpus/<target>/).
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "DecodeCheck.h"
#include "DecoderSamples.h"
#include "SampleBuilder.h"
#include "TestUtil.h"
#include "formats/EPSGraphic.h"
#include "formats/GIFImage.h"
#include "formats/JPEGImage.h"
#include "formats/PNGGraphic.h"
#include "formats/PPMGraphic.h"
#include "formats/TIFFGraphic.h"
#include "picture/Bitmap.h"
#include "picture/Errors.h"
#include "picture/PixelLimits.h"

namespace pennacrow {
namespace {

namespace fs = std::filesystem;
using TBytes = std::vector<std::uint8_t>;

fs::path CorpusDir(const std::string& target) {
  // PENNACROW_TEST_DATA is <source>/tests/data.
  return fs::path(PENNACROW_TEST_DATA).parent_path().parent_path() / "fuzz" / "corpus" / target;
}

// The seeds written by hand; files named by libFuzzer after their hash are left to the fuzz
// replay tests.
std::vector<fs::path> Samples(const std::string& target) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(CorpusDir(target))) {
    const std::string name = entry.path().filename().string();
    const bool hashName =
        name.size() == 40 && name.find_first_not_of("0123456789abcdef") == std::string::npos;
    if (entry.is_regular_file() && !hashName) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

void CheckEveryPrefixAndSomeFlips(const std::string& target, const TGraphicClass& pictureClass) {
  const std::vector<fs::path> samples = Samples(target);
  ASSERT_FALSE(samples.empty()) << CorpusDir(target);
  for (const fs::path& sample : samples) {
    SCOPED_TRACE(sample.filename().string());
    const TBytes whole = test::ReadFileBytes(sample.string());
    ASSERT_EQ(check::DecodeFault(pictureClass, whole), "");
    // Every prefix of the header region, then a stride so that larger samples stay quick.
    ASSERT_EQ(
        check::PrefixFault(pictureClass, whole, 512, std::max<std::size_t>(1, whole.size() / 1500)),
        "");
    // Single bytes set to the values that most often reach an unchecked path.
    std::uint32_t state = 12345;
    for (int i = 0; i < 60; ++i) {
      state = state * 1103515245u + 12345u;
      TBytes flipped = whole;
      const std::size_t at = (state >> 8) % whole.size();
      static const std::uint8_t kValues[] = {0x00, 0xFF, 0x7F, 0x80, 0x01};
      flipped[at] = i % 6 == 5 ? static_cast<std::uint8_t>(flipped[at] ^ 0x10) : kValues[i % 6];
      ASSERT_EQ(check::DecodeFault(pictureClass, flipped), "") << "byte " << at << " changed";
    }
  }
}

TEST(PrefixTest, EveryDecodersPrefixesAndFlipsFailCleanly) {
  const std::pair<const char*, const TGraphicClass*> decoders[] = {
      {"bmp", &TBitmap::ClassInfo},       {"jpeg", &TJPEGImage::ClassInfo},
      {"png", &TPNGGraphic::ClassInfo},   {"gif", &TGIFImage::ClassInfo},
      {"tiff", &TTIFFGraphic::ClassInfo}, {"eps", &TEPSGraphic::ClassInfo},
      {"ppm", &TPPMGraphic::ClassInfo}};
  for (const auto& [target, pictureClass] : decoders) {
    SCOPED_TRACE(target);
    CheckEveryPrefixAndSomeFlips(target, *pictureClass);
  }
}

// Sizes are refused before anything is allocated for them: a header that declares a huge
// picture over a few bytes of data gets the size or truncation message, not a memory error.
void ExpectRefusal(TGraphic& graphic, const TBytes& data, const std::string& message) {
  EXPECT_TRUE(test::LoadFailsWith(graphic, data, message));
}

TEST(LimitsTest, HugeDeclaredSizesOverShortDataAreRefusedFirst) {
  // BMP: 20000 x 10000 at 24 bits, with no pixel data at all.
  TBytes bmp(54, 0);
  bmp[0] = 'B';
  bmp[1] = 'M';
  bmp[10] = 54;
  bmp[14] = 40;
  bmp[18] = 0x20, bmp[19] = 0x4E;  // 20000
  bmp[22] = 0x10, bmp[23] = 0x27;  // 10000
  bmp[26] = 1;
  bmp[28] = 24;
  bmp.push_back(0);
  TBitmap bitmap;
  ExpectRefusal(bitmap, bmp, "无法加载图像，无效的BMP位图：文件在像素数据处截断。");

  const std::string ppm = "P6\n12000 12000\n255\nabc";
  TPPMGraphic pnm;
  ExpectRefusal(pnm, TBytes(ppm.begin(), ppm.end()), "无法加载图像，PPM图像文件不完整。");
  const std::string plain = "P2\n20000 10000\n255\n1 2 3";
  ExpectRefusal(pnm, TBytes(plain.begin(), plain.end()), "无法加载图像，PPM图像文件不完整。");

  // PNG: an IHDR of 100000 x 100000 is refused by our limit before libpng starts.
  TBytes png = {0x89, 'P',  'N',  'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R', 0,
                1,    0x86, 0xA0, 0,   1,    0x86, 0xA0, 8,    2, 0, 0, 0,  0,   0,   0,   0};
  TPNGGraphic pngGraphic;
  ExpectRefusal(
      pngGraphic, png,
      TooLargeError("PNG", "100000x100000", TPixelLimits{}.MaxPixels, TPixelLimits{}.MaxBytes)
          .what());
  // A text chunk that declares 1 GB in a file of a hundred bytes: libpng would allocate it.
  const TBytes crasher = test::ReadFileBytes(
      (CorpusDir("png") / ".." / ".." / "regressions" / "png" / "oom-text-chunk-longer-than-file")
          .string());
  ExpectRefusal(pngGraphic, crasher, "无法加载图像，PNG图像文件不完整。");
}

TEST(LimitsTest, JpegWithThousandsOfScansIsRefused) {
  // The last scan of a progressive sample repeated: each repetition costs libjpeg a pass over
  // the whole coefficient buffer.
  const TBytes good = test::ReadFileBytes((CorpusDir("jpeg") / "progressive.jpg").string());
  std::size_t lastScan = 0;
  for (std::size_t i = 0; i + 1 < good.size(); ++i) {
    if (good[i] == 0xFF && good[i + 1] == 0xDA) lastScan = i;
  }
  ASSERT_GT(lastScan, 0u);
  ASSERT_TRUE(good[good.size() - 2] == 0xFF && good.back() == 0xD9);
  TBytes many(good.begin(), good.end() - 2);
  for (int i = 0; i < 300; ++i) many.insert(many.end(), good.begin() + lastScan, good.end() - 2);
  many.push_back(0xFF);
  many.push_back(0xD9);
  TJPEGImage jpeg;
  ExpectRefusal(jpeg, many, "无法加载图像，不支持JPEG的超过 256 次扫描的渐进式文件。");
  EXPECT_NO_THROW(jpeg.LoadFromBytes(good));
}

TEST(LimitsTest, TiffScanlinesLongerThanTheByteLimitAreRefused) {
  // 100 x 1 pixels of 30 samples each: 400 bytes of 32-bit rows, but one scanline of 3000 bytes.
  test::TTiffSample sample;
  sample.Width = 100;
  sample.SamplesPerPixel = 30;
  sample.Rows.assign(3000, 7);
  const TBytes tiff = test::MakeTiff(sample);
  TTIFFGraphic graphic;
  graphic.SetLimits({TPixelLimits{}.MaxPixels, 2000});
  ExpectRefusal(graphic, tiff, "无法加载图像，不支持TIFF的30 个 8 位采样的像素。");
}

}  // namespace
}  // namespace pennacrow
