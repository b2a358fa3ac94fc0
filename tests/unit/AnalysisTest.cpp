#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <random>

#include "analysis/Analysis.h"
#include "codec/BinaryUnit.h"
#include "codec/Container.h"

namespace pennacrow::analysis {
namespace {

TChannelPlane PlaneOfRows(const std::vector<std::vector<int>>& rows) {
  TChannelPlane plane;
  plane.Height = static_cast<int>(rows.size());
  plane.Width = static_cast<int>(rows.front().size());
  for (const auto& row : rows) {
    for (const int v : row) plane.Samples.push_back(static_cast<std::uint8_t>(v));
  }
  return plane;
}

constexpr int kControl = static_cast<int>(TRegion::Control);

// Each cover tuple once per flip pattern, as often as that pattern's probability at rate p says
// (flip probability p/2 per sample): the counts are then exactly their expectation.
TChannelPlane ExpectedStego(const std::vector<std::vector<int>>& covers, double p, int scale) {
  std::vector<std::vector<int>> rows;
  const double q = p / 2;
  for (const auto& cover : covers) {
    const int n = static_cast<int>(cover.size());
    for (int pattern = 0; pattern < (1 << n); ++pattern) {
      const int flips = __builtin_popcount(static_cast<unsigned>(pattern));
      const double weight = std::pow(q, flips) * std::pow(1 - q, n - flips);
      std::vector<int> row = cover;
      for (int i = 0; i < n; ++i) row[static_cast<std::size_t>(i)] ^= (pattern >> i) & 1;
      for (int k = 0; k < std::lround(weight * scale); ++k) rows.push_back(row);
    }
  }
  return PlaneOfRows(rows);
}

TEST(AnalysisTest, PairsAndGroupsAreClassedAsThePapersDefineThem) {
  // (4,5): Y and W; (5,5): Z; (5,3): X; (3,2): Y and W.
  const TPlaneCounts pairs = CountPlane(PlaneOfRows({{4, 5, 5, 3, 2}}));
  const TSpaCounts s = pairs.Spa[kControl];
  EXPECT_EQ(std::vector<std::int64_t>({s.X, s.Y, s.Z, s.W, s.Pairs}),
            std::vector<std::int64_t>({1, 2, 1, 2, 4}));
  // (10,12,12,10): f = 4. M gives (10,13,13,10), f = 6: regular; -M (10,11,11,10), f = 2:
  // singular. Every bit flipped, (11,13,13,11): M (11,12,12,11) singular, -M (11,14,14,11)
  // regular.
  const TRsCounts r = CountPlane(PlaneOfRows({{10, 12, 12, 10}})).Rs[kControl];
  EXPECT_EQ(std::vector<std::int64_t>({r.Groups, r.Rm, r.Sm, r.Rn, r.Sn, r.FlippedRm, r.FlippedSm,
                                       r.FlippedRn, r.FlippedSn}),
            std::vector<std::int64_t>({1, 1, 0, 0, 1, 0, 1, 1, 0}));
}

TEST(AnalysisTest, SamplePairsSolveExactExpectationsExactly) {
  // Covers with as many X as Y pairs of every difference, as the method assumes.
  std::vector<std::vector<int>> covers;
  for (int u = 40; u < 200; u += 3) {
    for (const int d : {0, 1, 2, 3, 5}) {
      covers.push_back({u, u + d});
      covers.push_back({u + d, u});
    }
  }
  for (const double p : {0.0, 0.2, 0.5, 0.8}) {
    const TSpaCounts spa = CountPlane(ExpectedStego(covers, p, 10000)).Spa[kControl];
    EXPECT_NEAR(SpaRate(spa).value(), p, 2e-3) << p;
  }
}

TEST(AnalysisTest, RsOnExpectedGroupsComesClose) {
  std::vector<std::vector<int>> covers;
  // Each shape at an even and the next odd base: what F1 does to one, F-1 does to the other, so
  // the cover has as many regular groups under M as under -M, as the method assumes.
  for (int u = 40; u < 200; u += 7 + u % 2 * 6) {
    for (const int d : {1, 2, 3}) {
      covers.push_back({u, u + d, u + 2 * d, u + 3 * d});
      covers.push_back({u, u + d, u, u + d});
      covers.push_back({u + d, u, u + 2 * d, u + d});
    }
  }
  for (const double p : {0.0, 0.3, 0.6}) {
    const TRsCounts rs = CountPlane(ExpectedStego(covers, p, 1000)).Rs[kControl];
    EXPECT_NEAR(RsRate(rs).value(), p, 0.05) << p;
  }
}

// A plane that is linear in x and y: the four-neighbour prediction is exact.
TChannelPlane Ramp(int width, int height) {
  std::vector<std::vector<int>> rows(static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) rows[static_cast<std::size_t>(y)].push_back(20 + x / 2 + y);
  }
  return PlaneOfRows(rows);
}

TEST(AnalysisTest, WeightedStegoOfAnExactlyPredictedPlane) {
  TChannelPlane plane = Ramp(100, 100);
  EXPECT_DOUBLE_EQ(WsRate(CountPlane(plane).Ws[kControl]).value(), 0.0);
  // Flipping one pixel in every 3x3 block away from its neighbours' prediction: each flipped
  // pixel contributes (s - s')(s - pred) = 1; its neighbours' predictions, which it spoils, take
  // some of that back, so the estimate lies below the 2/9 of samples that carry a flip.
  for (int y = 1; y < 99; y += 3) {
    for (int x = 1; x < 99; x += 3) plane.Samples[static_cast<std::size_t>(y * 100 + x)] ^= 1;
  }
  const TWsSums sums = CountPlane(plane).Ws[kControl];
  EXPECT_GT(WsRate(sums).value(), 0.08);
  EXPECT_LT(WsRate(sums).value(), 0.3);
  // Too few samples give no estimate at all.
  EXPECT_FALSE(WsRate(CountPlane(Ramp(10, 10)).Ws[kControl]).has_value());
}

TEST(AnalysisTest, ChiSquareSeesEqualPairsAndWhereTheyStop) {
  EXPECT_NEAR(ChiSquareUpperTail(18.307, 10), 0.05, 0.003);
  EXPECT_NEAR(ChiSquareUpperTail(124.342, 100), 0.05, 0.002);
  std::vector<std::uint8_t> samples;
  // The first 40%: each pair of values equally often (an embedded message); then only even.
  for (int i = 0; i < 400000; ++i) samples.push_back(static_cast<std::uint8_t>(i % 256));
  for (int i = 0; i < 600000; ++i) samples.push_back(static_cast<std::uint8_t>((i * 2) % 256));
  const TChiSquareResult chi = ChiSquare(samples);
  EXPECT_NEAR(static_cast<double>(chi.End), 400000, 20000);
  EXPECT_LT(chi.WholeP, 0.01);
}

// A smooth picture with a little sensor-like noise, what the estimators are made for: a coarse
// random field, bilinearly enlarged, plus fine noise.
TBitmap SmoothPicture(int width, int height, std::uint32_t seed) {
  constexpr int kCell = 32;
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> level(40, 215);
  std::normal_distribution<double> noise(0, 1.5);
  const int gw = width / kCell + 2, gh = height / kCell + 2;
  std::vector<double> grid(static_cast<std::size_t>(gw * gh * 3));
  for (double& g : grid) g = level(random);
  auto at = [&](int gx, int gy, int c) {
    return grid[static_cast<std::size_t>((gy * gw + gx) * 3 + c)];
  };
  TBitmap bitmap(width, height, 24);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = bitmap.RowAt(y);
    const double fy = static_cast<double>(y % kCell) / kCell;
    for (int x = 0; x < width; ++x) {
      const double fx = static_cast<double>(x % kCell) / kCell;
      const int gx = x / kCell, gy = y / kCell;
      for (int c = 0; c < 3; ++c) {
        const double v = (1 - fy) * ((1 - fx) * at(gx, gy, c) + fx * at(gx + 1, gy, c)) +
                         fy * ((1 - fx) * at(gx, gy + 1, c) + fx * at(gx + 1, gy + 1, c));
        row[x * 3 + c] =
            static_cast<std::uint8_t>(std::clamp(std::lround(v + noise(random)), 0L, 255L));
      }
    }
  }
  return bitmap;
}

TEST(AnalysisTest, RatesOfRandomReplacement) {
  const TBitmap cover = SmoothPicture(800, 600, 3);
  std::mt19937 random(4);
  for (const double rate : {0.0, 0.1, 0.5, 1.0}) {
    TBitmap stego;
    stego.Assign(cover);
    std::bernoulli_distribution chosen(rate);
    for (std::uint8_t& b : stego.MutableBits()) {
      if (chosen(random)) b = static_cast<std::uint8_t>((b & 0xFE) | (random() & 1));
    }
    const TAnalysisReport report = AnalyzeBitmap(stego);
    ASSERT_EQ(report.Channels.size(), 3u);
    for (const TChannelReport& c : report.Channels) {
      const TRates& r = c.Rates[static_cast<int>(TArea::Whole)];
      // At full embedding both methods sit at the end of their range, where a picture this
      // small leaves them a little more room than a photograph does.
      const double tolerance = rate < 1 ? 0.05 : 0.08;
      EXPECT_NEAR(r.Spa.value(), rate, tolerance) << c.Name << " SPA at " << rate;
      EXPECT_NEAR(r.Rs.value(), rate, tolerance) << c.Name << " RS at " << rate;
    }
    const TVerdict expected = rate == 0    ? TVerdict::Clean
                              : rate < 0.2 ? TVerdict::Suspicious
                                           : TVerdict::Detectable;
    EXPECT_EQ(report.Verdict, expected) << rate;
  }
}

std::string RandomBytes(std::size_t n, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::string bytes(n, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

// Random bytes bent as little as it takes into two-byte characters and ASCII of the payload code
// page, so that the probe takes them for a text while their bits stay about as random.
std::string RandomText(std::size_t n, std::uint32_t seed) {
  std::string text = RandomBytes(n, seed);
  for (std::size_t i = 0; i < n;) {
    auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80 || byte == 0x80 || byte == 0xFF || i + 1 == n) {
      text[i++] = static_cast<char>(byte & 0x7F);
      continue;
    }
    auto trail = static_cast<unsigned char>(text[i + 1]);
    if (trail < 0x40) trail |= 0x80;
    if (trail == 0x7F || trail == 0xFF) trail = 0xFE;
    text[i + 1] = static_cast<char>(trail);
    i += 2;
  }
  return text;
}

TEST(AnalysisTest, StealthWritingReadsBackAndHidesFromTheEstimators) {
  // Byte values 0 and 255 among the carrier bytes: neither may wrap around. The picture is
  // large enough that the random steps keep every estimate clear of the threshold (no failure
  // in 300 repeats).
  TBitmap cover = SmoothPicture(1024, 640, 8);
  for (int x = 0; x < 1024; x += 5) cover.RowAt(0)[x] = x % 2 == 0 ? 0 : 255;
  const std::string text = RandomText(1024 * 640 / 8 / 2, 6);  // half the capacity
  for (const auto writing : {TLowBitWriting::Replace, TLowBitWriting::Stealth}) {
    TBitmap stego;
    stego.Assign(cover);
    AddBinaryToImage(stego, BuildBinaryString(text, kFormatPlain), writing);
    std::uint8_t format = 0;
    EXPECT_EQ(RemoveBinaryFromImage(stego, format), text);
    for (std::size_t i = 0; i < cover.Bits().size(); ++i) {
      ASSERT_LE(std::abs(cover.Bits()[i] - stego.Bits()[i]), 1) << i;
    }
    const TAnalysisReport report = AnalyzeBitmap(stego);
    EXPECT_EQ(report.ContainerBits, 24 + 8 * static_cast<std::int64_t>(text.size()));
    for (const TChannelReport& c : report.Channels) {
      const TRates& r = c.Rates[static_cast<int>(TArea::Written)];
      const std::optional<double> rates[] = {r.Spa, r.Rs, r.Ws};
      for (int e = 0; e < 3; ++e) {
        if (writing == TLowBitWriting::Stealth) {
          EXPECT_LT(rates[e].value(), 0.05) << c.Name << " estimator " << e;
        } else {
          EXPECT_GE(rates[e].value(), 0.15) << c.Name << " estimator " << e;
        }
      }
      EXPECT_LE(c.Rates[static_cast<int>(TArea::Control)].Spa.value(), 0.05) << c.Name;
    }
    // A random payload reads as no text in any stream.
    EXPECT_TRUE(report.Texts.empty());
  }
}

TEST(AnalysisTest, TheWrittenRegionIsExactlyTheBytesTheWriterChanged) {
  struct TCase {
    int Width, Height, Bpp;
    std::size_t TextBytes;
  };
  for (const TCase& t : {TCase{10, 20, 24, 5}, TCase{31, 9, 32, 20}, TCase{17, 12, 8, 7},
                         TCase{48, 4, 16, 9}, TCase{9, 40, 24, 1}}) {
    TBitmap before(t.Width, t.Height, t.Bpp);
    before.Palette().resize(t.Bpp == 8 ? 256 : 0);
    // Every low bit 0 and a text of 0xFF bytes: every written byte after the header changes.
    TBitmap after;
    after.Assign(before);
    AddBinaryToImage(after, BuildBinaryString(std::string(t.TextBytes, '\xff'), kFormatPlain));
    const int bytesPerPixel = t.Bpp / 8;
    const std::int64_t bits = 24 + 8 * static_cast<std::int64_t>(t.TextBytes);
    for (int y = 0; y < t.Height; ++y) {
      for (int c = 0; c < bytesPerPixel; ++c) {
        int lastChanged = 0;
        for (int x = 0; x < t.Width; ++x) {
          if (after.ConstRowAt(y)[x * bytesPerPixel + c] != 0) lastChanged = x + 1;
        }
        // Header bytes may stay 0; the text's bytes all change, and only written ones can.
        const int written = WrittenPixels(t.Width, bytesPerPixel, c, y, bits);
        EXPECT_LE(lastChanged, written) << t.Width << "x" << t.Bpp << " row " << y << " ch " << c;
        if (std::int64_t{y} * t.Width >= 24 && written > 0) {
          EXPECT_EQ(lastChanged, written) << t.Width << "x" << t.Bpp << " row " << y << " ch " << c;
        }
      }
    }
    const auto difference = WriteDifference(before, after);
    ASSERT_TRUE(difference.has_value());
    EXPECT_EQ(difference->ChangedBytes, difference->Raised);  // 0 -> 1 only
    // The format byte 1 and the length's set bits, then every text bit.
    EXPECT_EQ(difference->ChangedBytes,
              1 + std::popcount(t.TextBytes) + 8 * static_cast<std::int64_t>(t.TextBytes));
  }
}

TEST(AnalysisTest, ChannelsFollowTheDepth) {
  // Below 8 bits an index's low bit is half or all of its value: no estimates at all. At 16 bits
  // the low byte's five low bits are blue, whose low bit the writer changes.
  const std::vector<std::pair<int, std::vector<std::string>>> cases = {{32, {"B", "G", "R", "A"}},
                                                                       {24, {"B", "G", "R"}},
                                                                       {16, {"B"}},
                                                                       {8, {"灰度"}},
                                                                       {4, {}},
                                                                       {1, {}}};
  for (const auto& [bpp, names] : cases) {
    TBitmap bitmap(64, 48, bpp);
    if (bpp <= 8) bitmap.Palette().assign(std::size_t{1} << bpp, TRGBQuad{7, 7, 7, 0});
    std::vector<std::string> got;
    for (const TChannelReport& c : AnalyzeBitmap(bitmap).Channels) got.push_back(c.Name);
    EXPECT_EQ(got, names) << bpp;
  }
}

TEST(AnalysisTest, TheScanFindsAPlantedTextInTheCommonOrders) {
  // 29 bytes: the length byte before the text is no printable character.
  const std::string planted = "meet me at the old mill, noon";
  TBitmap bitmap = SmoothPicture(400, 20, 7);
  AddBinaryToImage(bitmap, BuildBinaryString(planted, kFormatPlain));
  const auto findings = ScanReadableText(bitmap);
  ASSERT_FALSE(findings.empty());
  // The writer's order and the top row in memory (BGR) order both start with the header.
  EXPECT_EQ(findings.front().Start.rfind(planted, 0), 0u) << findings.front().Start;
  EXPECT_EQ(findings.front().Offset, 3);
  EXPECT_FALSE(findings.front().Base64);
  EXPECT_EQ(FormatReportLine(AnalyzeBitmap(bitmap), "p.bmp").find("p.bmp: 容易被检测"), 0u);
  EXPECT_GE(MinimumRun(12), 8);
  EXPECT_EQ(PrintableRuns({'a', 'b', 0, 'c', 'd', 'e'}, 3),
            (std::vector<std::pair<std::int64_t, std::int64_t>>{{3, 3}}));
}

}  // namespace
}  // namespace pennacrow::analysis
