#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <map>
#include <random>
#include <regex>

#include "analysis/Analysis.h"
#include "codec/BinaryUnit.h"
#include "codec/Container.h"
#include "codec/SealedContainer.h"

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
TBitmap SmoothPicture(int width, int height, std::uint32_t seed, double grain = 1.5) {
  constexpr int kCell = 32;
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> level(40, 215);
  std::normal_distribution<double> noise(0, grain);
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

TEST(AnalysisTest, StealthWritingReadsBackAndHidesFromTheEstimators) {
  // Byte values 0 and 255 among the carrier bytes: neither may wrap around. The picture is
  // large enough that the random steps keep every estimate clear of the threshold (no failure
  // in 300 repeats).
  TBitmap cover = SmoothPicture(1024, 640, 8);
  for (int x = 0; x < 1024; x += 5) cover.RowAt(0)[x] = x % 2 == 0 ? 0 : 255;
  const std::string text = RandomBytes(1024 * 640 / 8 / 2, 6);  // half the capacity
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
  // the low byte's five low bits are blue, whose low bit the writer changes. The JSON names each
  // channel in English whatever the report's language.
  struct TCase {
    int Bpp;
    bool Grey;
    std::vector<std::string> Names, Keys;
  };
  const std::vector<TCase> cases = {
      {32, false, {"B", "G", "R", "A"}, {"blue", "green", "red", "alpha"}},
      {24, false, {"B", "G", "R"}, {"blue", "green", "red"}},
      {16, false, {"B"}, {"blue"}},
      {8, true, {"灰度"}, {"grey"}},
      {8, false, {"索引"}, {"index"}},
      {4, true, {}, {}},
      {1, true, {}, {}}};
  for (const auto& [bpp, grey, names, keys] : cases) {
    TBitmap bitmap(64, 48, bpp);
    if (bpp <= 8) bitmap.Palette().assign(std::size_t{1} << bpp, TRGBQuad{7, 7, 7, 0});
    if (bpp <= 8 && !grey) bitmap.Palette().at(1).Red = 200;
    const TAnalysisReport report = AnalyzeBitmap(bitmap);
    std::vector<std::string> got, gotKeys;
    for (const TChannelReport& c : report.Channels) got.push_back(c.Name);
    const std::string json = FormatReportJson(report, "p.bmp");
    const std::regex key("\"name\":\"([^\"]*)\"");
    for (auto m = std::sregex_iterator(json.begin(), json.end(), key); m != std::sregex_iterator();
         ++m) {
      gotKeys.push_back((*m)[1]);
    }
    EXPECT_EQ(got, names) << bpp;
    EXPECT_EQ(gotKeys, keys) << bpp;
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

TBitmap Solid(int width, int height, std::uint8_t b, std::uint8_t g, std::uint8_t r) {
  TBitmap bitmap(width, height, 24);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::uint8_t* pixel = bitmap.RowAt(y) + 3 * x;
      pixel[0] = b, pixel[1] = g, pixel[2] = r;
    }
  }
  return bitmap;
}

// Clips every sample of the top rows that lies below 90 to 0: a dark area of a photograph.
TBitmap ClippedAtTop(TBitmap bitmap, int rows) {
  for (int y = 0; y < rows; ++y) {
    for (int x = 0; x < bitmap.Width() * 3; ++x) {
      std::uint8_t& sample = bitmap.RowAt(y)[x];
      if (sample < 90) sample = 0;
    }
  }
  return bitmap;
}

TEST(AnalysisTest, VerdictsByKindOfPicture) {
  TBitmap tinyWithText = SmoothPicture(40, 30, 11);
  AddBinaryToImage(tinyWithText, BuildBinaryString("Meet me at the old mill", kFormatPlain));
  TBitmap sealed = SmoothPicture(800, 600, 12);
  const std::string payload = RandomBytes(20000, 13);
  HideSealed(sealed, "password", {TSealedKind::File, "f", payload}, MinimumSealParameters());
  struct TCase {
    const char* Kind;
    TBitmap Picture;
    TVerdict Verdict;
    TVerdictBasis Basis;
  };
  const TCase cases[] = {
      {"tiny picture", SmoothPicture(40, 30, 10), TVerdict::Undecided, TVerdictBasis::TooSmall},
      {"tiny picture with a text", std::move(tinyWithText), TVerdict::Detectable,
       TVerdictBasis::Text},
      // Each channel is 1 modulo 4: read two bits at a time the low bits spell "UUUU...".
      {"flat picture", Solid(400, 300, 5, 101, 201), TVerdict::Undecided,
       TVerdictBasis::NotPhotograph},
      {"photograph", SmoothPicture(400, 300, 14), TVerdict::Clean, TVerdictBasis::Nothing},
      {"sealed container", std::move(sealed), TVerdict::Detectable, TVerdictBasis::Estimators},
  };
  for (const TCase& c : cases) {
    const TAnalysisReport report = AnalyzeBitmap(c.Picture);
    EXPECT_EQ(report.Verdict, c.Verdict) << c.Kind;
    EXPECT_EQ(report.Basis, c.Basis) << c.Kind;
    EXPECT_EQ(report.Texts.empty(), c.Basis != TVerdictBasis::Text) << c.Kind;
    // Scripts read the same in English words, whatever the language.
    const std::string json = FormatReportJson(report, "p.png");
    EXPECT_NE(json.find(std::string("\"verdict\":\"") + VerdictKey(c.Verdict) + "\",\"basis\":\"" +
                        BasisKey(c.Basis) + "\""),
              std::string::npos)
        << json;
  }
  // The sealed container's region is measured like a text's: it fills it with random bits.
  const TAnalysisReport report = AnalyzeBitmap(cases[4].Picture);
  EXPECT_EQ(report.ContainerBits,
            24 + 8 * static_cast<std::int64_t>(SealedSize({TSealedKind::File, "f", payload})));
  EXPECT_GT(report.Agreed[static_cast<int>(TArea::Written)].value(), 0.8);
  EXPECT_LT(report.Agreed[static_cast<int>(TArea::Control)].value(), 0.05);
}

TEST(AnalysisTest, ClippedSamplesAreShownAndAStealthWriteThereIsReplacement) {
  // The top third of a photograph clipped to black in its dark parts; a random message of a
  // tenth of the capacity lies there.
  const TBitmap cover = ClippedAtTop(SmoothPicture(900, 600, 15), 200);
  const std::string message = RandomBytes(900 * 600 / 8 / 10, 16);
  const TAnalysisReport clean = AnalyzeBitmap(cover);
  EXPECT_EQ(clean.Verdict, TVerdict::Clean);
  const auto bits = 24 + 8 * static_cast<std::int64_t>(message.size());
  std::int64_t clipped = 0;
  for (std::int64_t p = 0; p < bits; ++p) clipped += cover.ConstRowAt(p / 900)[p % 900] == 0;
  for (const auto writing : {TLowBitWriting::Stealth, TLowBitWriting::Replace}) {
    TBitmap stego;
    stego.Assign(cover);
    AddBinaryToImage(stego, BuildBinaryString(message, kFormatPlain), writing);
    const TAnalysisReport report = AnalyzeBitmap(stego);
    // Shown over the container's bytes: the clipped ones still at 0 after the write.
    EXPECT_GT(report.SaturatedShare, 0.05);
    EXPECT_LE(report.SaturatedShare, static_cast<double>(clipped) / bits);
    // A black byte can only go up: the estimators see the clipped share as replaced.
    EXPECT_GT(report.Agreed[static_cast<int>(TArea::Written)].value(),
              static_cast<double>(clipped) / bits / 2);
    EXPECT_NE(report.Verdict, TVerdict::Clean);
  }
}

TEST(AnalysisTest, OnlyRealTextCounts) {
  const std::pair<const char*, bool> runs[] = {
      {"UUUUUUUUUUUUUUUUUUUU", false},      // one character: a flat colour
      {"3333333333333333", false},          //
      {"abcdabcdabcdabcdabcd", false},      // a pattern of four
      {"abcdefgabcdefgabcdefg", false},     // seven kinds of character
      {"xxxxxxxxxxxxabcdefghij", false},    // one character is more than half
      {"Nl;vl;YNb;Ib'vl;vb;wq", false},     // the punctuation of random low bits
      {"The quick brown fox jumps", true},  //
      {"8GAYFmuVH8SqoFWNd+JqEBVYl", true},  // Base64, as an encrypted text looks
      {"abcdefghabcdefghabcdefgh", true},   // a period of eight is text enough
  };
  for (const auto& [run, text] : runs) EXPECT_EQ(LooksLikeText(run), text) << run;
}

// A plane of width x height from a function of (x, y).
template <typename TValue>
TChannelPlane PlaneFrom(int width, int height, TValue value) {
  TChannelPlane plane;
  plane.Width = width;
  plane.Height = height;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) plane.Samples.push_back(static_cast<std::uint8_t>(value(x, y)));
  }
  return plane;
}

std::size_t SpamIndex(int group, int u, int v, int w) {
  return static_cast<std::size_t>(group * kSpamGroup + (u + 3) * 49 + (v + 3) * 7 + (w + 3));
}

TEST(AnalysisTest, SpamTransitionsFollowTheDirectionsOfThePaper) {
  // Rising by one to the right, constant down each column: every difference along a row is -1
  // (s - its right neighbour), +1 read leftwards, 0 up and down; along the diagonals -1 towards
  // the lower right and the upper right, +1 towards the other two.
  const TSpamFeatures f =
      SpamFeatures(PlaneFrom(20, 12, [](int x, int) { return 50 + x; }), {0, 0, 20, 12});
  std::map<std::size_t, double> expected = {{SpamIndex(0, -1, -1, -1), 0.25},
                                            {SpamIndex(0, 1, 1, 1), 0.25},
                                            {SpamIndex(0, 0, 0, 0), 0.5},
                                            {SpamIndex(1, -1, -1, -1), 0.5},
                                            {SpamIndex(1, 1, 1, 1), 0.5}};
  for (std::size_t i = 0; i < f.size(); ++i) {
    EXPECT_DOUBLE_EQ(f[i], expected.count(i) ? expected[i] : 0.0) << i;
  }
  // Steps larger than three are outside every transition: no feature at all.
  const TSpamFeatures steep =
      SpamFeatures(PlaneFrom(20, 12, [](int x, int y) { return 5 * x + 9 * y; }), {0, 0, 20, 12});
  EXPECT_EQ(*std::max_element(steep.begin(), steep.end()), 0.0);
}

TEST(AnalysisTest, SpamFeaturesAreBlindToMirrorsAndKeepToTheirRectangle) {
  std::mt19937 random(21);
  std::uniform_int_distribution<int> noise(-2, 2);
  std::vector<int> values;
  for (int i = 0; i < 61 * 47; ++i) values.push_back(100 + noise(random));
  const auto at = [&](int x, int y) { return values[static_cast<std::size_t>(y * 61 + x)]; };
  const TSpamFeatures f = SpamFeatures(PlaneFrom(61, 47, at), {0, 0, 61, 47});
  // Each group averages a direction with its opposite and its turn by a right angle.
  const TSpamFeatures mirrored =
      SpamFeatures(PlaneFrom(61, 47, [&](int x, int y) { return at(60 - x, y); }), {0, 0, 61, 47});
  const TSpamFeatures transposed =
      SpamFeatures(PlaneFrom(47, 61, [&](int x, int y) { return at(y, x); }), {0, 0, 47, 61});
  // A rectangle counts only the runs inside it, as the same samples cut out would.
  const TSpamFeatures inside = SpamFeatures(PlaneFrom(61, 47, at), {7, 5, 30, 20});
  const TSpamFeatures cut = SpamFeatures(
      PlaneFrom(30, 20, [&](int x, int y) { return at(x + 7, y + 5); }), {0, 0, 30, 20});
  for (std::size_t i = 0; i < f.size(); ++i) {
    EXPECT_NEAR(mirrored[i], f[i], 1e-12) << i;
    EXPECT_NEAR(transposed[i], f[i], 1e-12) << i;
    EXPECT_DOUBLE_EQ(inside[i], cut[i]) << i;
  }
}

TEST(AnalysisTest, TheShippedDetectorAnswersToStealthWritingOverTheContainersRows) {
  // A model file left at zeros, or features in another order than the one it was trained on,
  // would answer one half everywhere.
  const TBitmap cover = SmoothPicture(512, 512, 22, 0.6);
  TBitmap stego;
  stego.Assign(cover);
  HideSealed(stego, "password", {TSealedKind::File, "f", RandomBytes(30000, 23)},
             MinimumSealParameters(), TLowBitWriting::Stealth);
  const TAnalysisReport clean = AnalyzeBitmap(cover), written = AnalyzeBitmap(stego);
  constexpr int kWritten = static_cast<int>(TArea::Written);
  EXPECT_FALSE(clean.Trained[kWritten].has_value());
  ASSERT_TRUE(written.Trained[kWritten].has_value());
  EXPECT_GT(*written.Trained[kWritten] - clean.Trained[static_cast<int>(TArea::Whole)].value(),
            0.2);
  EXPECT_FALSE(written.Trained[static_cast<int>(TArea::Control)].has_value());
}

TEST(AnalysisTest, TheContainersRowsAreThoseItFillsWhole) {
  struct TCase {
    int Width, Height, BytesPerPixel;
    std::int64_t Bits;
    int RectWidth, RectHeight;
  };
  for (const TCase& c :
       {TCase{256, 256, 3, 9830, 85, 38}, TCase{100, 50, 4, 250, 25, 2},
        TCase{100, 50, 1, 99, 100, 0}, TCase{10, 4, 3, 1000, 3, 4}, TCase{10, 4, 3, 0, 0, 0}}) {
    const TSampleRect r = ContainerRect(c.Width, c.Height, c.BytesPerPixel, c.Bits);
    EXPECT_EQ(std::vector<int>({r.Left, r.Top, r.Width, r.Height}),
              std::vector<int>({0, 0, c.RectWidth, c.RectHeight}))
        << c.Width << "x" << c.Height << " " << c.Bits;
  }
}

}  // namespace
}  // namespace pennacrow::analysis
