// Keyed adaptive writing in a JPEG's own coefficients: round trips over files of every kind,
// what a write keeps (tables, mode, markers, size), what a rewrite that keeps the coefficients
// keeps and a recompression loses, and damaged files refused by kind.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <random>

#include "DecoderSamples.h"
#include "adaptive/AdaptiveJpeg.h"
#include "adaptive/PlusMinusOne.h"
#include "adaptive/Uerd.h"
#include "codec/Container.h"
#include "formats/JPEGCoefficients.h"
#include "picture/Errors.h"

namespace pennacrow {
namespace {

using TBytes = std::vector<std::uint8_t>;

const TSealParameters kCheap = MinimumSealParameters();

struct TJpegKind {
  const char* Name;
  int Components = 3;
  int ChromaSampling = 2;  // 2: 4:2:0, 1: 4:4:4
  bool Progressive = false;
  int RestartRows = 0;
  bool Optimize = false;
  bool Arithmetic = false;
  int Quality = 85;
  bool OwnScript = false;  // progressive by spectral selection alone, one component a scan
};

// A picture with texture under a flat sky (the top quarter), encoded as the kind says.
TBytes MakeJpeg(const TJpegKind& kind, int width = 320, int height = 240) {
  std::mt19937 random(7);
  TBytes samples(std::size_t(width) * height * kind.Components);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const std::size_t x = i / kind.Components % width, y = i / kind.Components / width;
    samples[i] = static_cast<std::uint8_t>(
        y < std::size_t(height / 4) ? 200 : 60 + (x * 3 + y * (i % 3 + 1)) % 120 + random() % 60);
  }
  return test::MakeJpeg(width, height, kind.Components, samples,
                        {kind.Quality, kind.ChromaSampling, kind.Progressive, kind.RestartRows,
                         kind.Optimize, kind.Arithmetic, kind.OwnScript});
}

// An APPn or comment segment put right after the start-of-image marker.
TBytes WithSegment(TBytes file, std::uint8_t marker, const std::string& data) {
  const std::size_t length = data.size() + 2;
  TBytes segment{0xFF, marker, static_cast<std::uint8_t>(length >> 8),
                 static_cast<std::uint8_t>(length)};
  segment.insert(segment.end(), data.begin(), data.end());
  file.insert(file.begin() + 2, segment.begin(), segment.end());
  return file;
}

// A little-endian EXIF block: orientation 6, and a GPS directory with a latitude when gps.
std::string Exif(bool gps) {
  std::string t = std::string("Exif\0\0", 6) + std::string("II*\0\x08\0\0\0", 8);
  auto word = [&](unsigned v, int bytes) {
    for (int i = 0; i < bytes; ++i) t += static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  word(2, 2);                                           // IFD0: two entries
  word(0x0112, 2), word(3, 2), word(1, 4), word(6, 4);  // orientation: rotate 90°
  word(gps ? 0x8825 : 0x0131, 2), word(4, 2), word(1, 4), word(38, 4);
  word(0, 4);
  word(1, 2);  // the GPS IFD at 38: one entry
  word(gps ? 2 : 7, 2), word(5, 2), word(3, 4), word(0, 4);
  word(0, 4);
  return t;
}

// The coefficients that differ, each by one at most; the planes and tables are the same.
std::size_t CountChanges(const TJpegCoefficients& a, const TJpegCoefficients& b) {
  std::size_t changes = 0;
  for (int c = 0; c < a.ComponentCount(); ++c) {
    const TJpegComponent &x = a.Component(c), &y = b.Component(c);
    EXPECT_EQ(x.Quant, y.Quant);
    EXPECT_TRUE(x.WidthInBlocks == y.WidthInBlocks && x.HeightInBlocks == y.HeightInBlocks);
    for (std::uint32_t k = 0; k < 64 * x.WidthInBlocks * x.HeightInBlocks; ++k) {
      const int d = a.Block(c, k / 64 / x.WidthInBlocks, k / 64 % x.WidthInBlocks)[k % 64] -
                    b.Block(c, k / 64 / x.WidthInBlocks, k / 64 % x.WidthInBlocks)[k % 64];
      EXPECT_LE(std::abs(d), 1);
      changes += d != 0;
    }
  }
  return changes;
}

const TJpegKind kKinds[] = {
    {"4:2:0"},
    {"4:4:4", 3, 1},
    {"grey", 1},
    {"progressive", 3, 2, true},
    {"restart markers", 3, 2, false, 1},
    {"optimised tables", 3, 1, false, 0, true, false, 95},
    {"arithmetic", 3, 2, false, 0, false, true},
    {"progressive grey low quality", 1, 1, true, 0, false, false, 30},
    {"progressive, its own scan script", 3, 1, true, 0, false, false, 90, true},
};

TEST(JpegCoefficientsTest, SealedRoundTripsKeepTheFileAsItWas) {
  for (const TJpegKind& kind : kKinds) {
    SCOPED_TRACE(kind.Name);
    const TBytes source = WithSegment(MakeJpeg(kind), 0xE1, Exif(false));
    TSealedContent content;
    content.Bytes = "a message of some fifty bytes, sealed in the JPEG.";
    const TBytes written =
        HideAdaptiveInJpegFile(TJpegCoefficients(source), "pw", content, true, kCheap);

    const TJpegCoefficients original(source), stego(written);
    // Written again unchanged, the file keeps its size to a few bytes: same tables, same scans.
    EXPECT_NEAR(double(original.Write().size()), double(source.size()), 16.0);
    ASSERT_EQ(original.ComponentCount(), stego.ComponentCount());
    EXPECT_EQ(stego.Progressive(), kind.Progressive);
    EXPECT_TRUE(stego.Metadata().Exif);
    const std::size_t changes = CountChanges(original, stego);
    EXPECT_GT(changes, 0u);
    EXPECT_LT(changes, 8 * content.Bytes.size() + 600);  // the header's share and the payload's
    EXPECT_NEAR(double(written.size()), double(source.size()), 0.02 * double(source.size()));
    EXPECT_EQ(RevealAdaptiveJpeg(stego, "pw", kCheap).Bytes, content.Bytes);
    EXPECT_THROW(RevealAdaptiveJpeg(original, "pw", kCheap), ESealOpen);
    // A rewrite of the coefficients alone, its markers dropped, keeps the message (the command
    // line's test has jpegtran rewrite it, and a recompression lose it).
    const TJpegCoefficients rewritten(stego.Write(false));
    EXPECT_FALSE(rewritten.Metadata().Any());
    EXPECT_EQ(RevealAdaptiveJpeg(rewritten, "pw", kCheap).Bytes, content.Bytes);
  }
  // A picture of one block row is too small to hold anything, and says so before a password.
  EXPECT_THROW(RevealAdaptiveJpeg(TJpegCoefficients(MakeJpeg(kKinds[2], 64, 8)), "pw", kCheap),
               ENoAdaptiveRoom);
  const TJpegCoefficients full(MakeJpeg(kKinds[0]));
  const std::string tooLong(AdaptiveJpegCapacity(full).Largest + 1, 'x');
  EXPECT_THROW(RequireAdaptiveJpegFits(full, {TSealedKind::Text, {}, tooLong}), ETextDoesNotFit);
}

TEST(JpegCoefficientsTest, MarkersAreKeptOrDroppedAndAGpsPositionIsSeen) {
  TBytes file = MakeJpeg(kKinds[0]);
  file = WithSegment(file, 0xFE, "a comment");
  file = WithSegment(file, 0xE2, std::string("ICC_PROFILE\0\x01\x01", 14) + "profile");
  file = WithSegment(file, 0xE1, Exif(true));
  const TJpegCoefficients jpeg(file);
  const TJpegMetadata& m = jpeg.Metadata();
  EXPECT_TRUE(m.Exif && m.Icc && m.Comment && m.GpsPosition);
  const TJpegCoefficients kept(jpeg.Write(true));
  EXPECT_TRUE(kept.Metadata().Exif && kept.Metadata().Icc && kept.Metadata().Comment &&
              kept.Metadata().GpsPosition);
  EXPECT_FALSE(TJpegCoefficients(jpeg.Write(false)).Metadata().Any());
  EXPECT_FALSE(TJpegCoefficients(WithSegment(MakeJpeg(kKinds[0]), 0xE1, Exif(false)))
                   .Metadata()
                   .GpsPosition);
  // Damaged EXIF blocks say no, and read nothing beyond their end.
  const std::string exif = Exif(true).substr(6);
  for (const std::size_t cut : {0, 4, 9, 20, 40, 45}) {
    const std::string part = exif.substr(0, cut);
    EXPECT_FALSE(
        ExifHasGpsPosition({reinterpret_cast<const std::uint8_t*>(part.data()), part.size()}));
  }
}

// Flat blocks with flat neighbourhoods never change; busy blocks are cheaper than quiet ones.
TEST(JpegCoefficientsTest, UerdCostsFollowTheBlocksEnergy) {
  const TJpegCoefficients jpeg(MakeJpeg(kKinds[2]));  // grey: one plane
  const TJpegComponent& plane = jpeg.Component(0);
  std::vector<std::uint8_t> levels(64 * std::size_t{plane.WidthInBlocks} * plane.HeightInBlocks);
  adaptive::UerdLevels(jpeg, levels);
  const std::vector<float> weights = adaptive::UerdBlockWeights(jpeg, 0);
  auto level = [&](std::uint32_t y, std::uint32_t x, int k) {
    return levels[(std::size_t{y} * plane.WidthInBlocks + x) * 64 + k];
  };
  EXPECT_EQ(weights[0], 0.0f);  // the flat sky
  EXPECT_EQ(level(0, 0, 5), adaptive::kWetLevel);
  const std::uint32_t busy = plane.HeightInBlocks - 2;
  ASSERT_GT(weights[std::size_t{busy} * plane.WidthInBlocks + 3], 0.0f);
  EXPECT_LT(level(busy, 3, 1), adaptive::kWetLevel);
  // Higher frequencies have larger steps, so cost more; zero and non-zero alike.
  EXPECT_LT(level(busy, 3, 1), level(busy, 3, 63));
  // The capacity's count of coefficients a write may change is that of the dry levels, for
  // every kind of file and with a coefficient too large to change.
  for (const TJpegKind& kind : kKinds) {
    TJpegCoefficients file(MakeJpeg(kind));
    file.Block(0, file.Component(0).HeightInBlocks - 2, 3)[0] = 2000;  // a busy block
    std::size_t elements = 0;
    for (int c = 0; c < file.ComponentCount(); ++c) {
      elements +=
          64 * std::size_t{file.Component(c).WidthInBlocks} * file.Component(c).HeightInBlocks;
    }
    std::vector<std::uint8_t> all(elements);
    adaptive::UerdLevels(file, all);
    const auto dry = static_cast<std::uint64_t>(std::count_if(
        all.begin(), all.end(), [](std::uint8_t l) { return l != adaptive::kWetLevel; }));
    EXPECT_EQ(UsableJpegCoefficients(file), dry) << kind.Name;
    EXPECT_LT(dry, elements) << kind.Name;
  }
}

// Damaged and hostile files: refused by kind, before anything large is allocated.
TEST(JpegCoefficientsTest, DamagedFilesAreRefusedByKind) {
  const TBytes good = MakeJpeg(kKinds[0]);
  const TBytes progressive = MakeJpeg(kKinds[3]);
  auto frame = [](const TBytes& file) {  // where the SOF0/SOF2 segment's data begins
    for (std::size_t i = 2; i + 1 < file.size(); ++i) {
      if (file[i] == 0xFF && (file[i + 1] == 0xC0 || file[i + 1] == 0xC2)) return i + 4;
    }
    return std::size_t{0};
  };
  auto patched = [&](TBytes file, std::size_t at, std::initializer_list<std::uint8_t> bytes) {
    std::copy(bytes.begin(), bytes.end(), file.begin() + static_cast<std::ptrdiff_t>(at));
    return file;
  };
  const std::size_t sof = frame(good);
  TBytes restarts = MakeJpeg(kKinds[4]);
  for (std::size_t i = restarts.size() / 2; i + 1 < restarts.size(); ++i) {
    if (restarts[i] == 0xFF && (restarts[i + 1] & 0xF8) == 0xD0) {
      restarts[i + 1] = 0xD0 | ((restarts[i + 1] + 3) & 7);  // a restart out of order
      break;
    }
  }
  struct TCase {
    const char* Name;
    TBytes File;
    TGraphicFault Fault;
  };
  const std::vector<TCase> cases = {
      {"empty", {}, TGraphicFault::NotThisFormat},
      {"not a JPEG", {'P', '6', '\n', '1'}, TGraphicFault::NotThisFormat},
      {"header only", TBytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(sof + 20)),
       TGraphicFault::Truncated},
      {"scan cut in half",
       TBytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() / 2)),
       TGraphicFault::Truncated},
      {"progressive cut",
       TBytes(progressive.begin(),
              progressive.begin() + static_cast<std::ptrdiff_t>(progressive.size() * 2 / 3)),
       TGraphicFault::Truncated},
      // 60000 x 60000 declared over a few kilobytes: beyond the limits.
      {"huge frame", patched(good, sof + 1, {0xEA, 0x60, 0xEA, 0x60}), TGraphicFault::TooLarge},
      // 8000 x 8000 is within them, but the coded data cannot hold its blocks.
      {"planes larger than their data", patched(good, sof + 1, {0x1F, 0x40, 0x1F, 0x40}),
       TGraphicFault::Truncated},
      {"12-bit samples", patched(good, sof, {12}), TGraphicFault::Unsupported},
      {"marker inside the scan", patched(good, good.size() / 2, {0xFF, 0xC4, 0x00, 0x02}),
       TGraphicFault::Damaged},
      {"zero width", patched(good, sof + 3, {0, 0}), TGraphicFault::Damaged},
      {"restart marker out of order", restarts, TGraphicFault::Damaged},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    try {
      TJpegCoefficients jpeg(c.File);
      ADD_FAILURE() << "accepted";
    } catch (const EInvalidGraphicFormat& e) {
      EXPECT_EQ(e.Kind(), c.Fault) << e.what();
    }
  }
}

}  // namespace
}  // namespace pennacrow
