// Keyed adaptive writing: the syndrome-trellis coder against a brute-force decoder, the ±1
// layers, the keyed order and header, and round trips through bitmaps and their files.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <random>
#include <set>

#include "TestUtil.h"
#include "adaptive/AdaptiveBitmap.h"
#include "adaptive/Hill.h"
#include "adaptive/KeyedEmbedding.h"
#include "adaptive/KeyedOrder.h"
#include "codec/Container.h"
#include "formats/Registry.h"
#include "formats/SavePicture.h"
#include "picture/FractalImage.h"
#include "picture/Graphic.h"

namespace pennacrow {
namespace {

using namespace adaptive;

const TSealParameters kCheap = MinimumSealParameters();

float CostOf(std::span<const std::uint8_t> x, std::span<const std::uint8_t> y,
             std::span<const float> cost) {
  float sum = 0;
  for (std::size_t i = 0; i < x.size(); ++i) sum += x[i] != y[i] ? cost[i] : 0.0f;
  return sum;
}

// Every y of n bits: the least cost of those with the message as syndrome, or infinity.
float BruteForceBest(std::span<const std::uint8_t> x, std::span<const float> cost,
                     std::span<const std::uint8_t> message, int height) {
  float best = kWet;
  std::vector<std::uint8_t> y(x.size());
  for (std::uint32_t bits = 0; bits < (1u << x.size()); ++bits) {
    for (std::size_t i = 0; i < y.size(); ++i) y[i] = (bits >> i) & 1u;
    const float c = CostOf(x, y, cost);
    if (c < best && StcExtract(y, message.size(), height) ==
                        std::vector<std::uint8_t>(message.begin(), message.end())) {
      best = c;
    }
  }
  return best;
}

TEST(SyndromeTrellisTest, FindsWhatABruteForceDecoderFinds) {
  std::mt19937 random(7);
  int feasible = 0;
  for (int trial = 0; trial < 120; ++trial) {
    const int height = 1 + static_cast<int>(random() % 8);  // up to the vector kernels' sizes
    const std::size_t n = 3 + random() % 12, m = 1 + random() % n;
    std::vector<std::uint8_t> x(n), message(m);
    std::vector<float> cost(n);
    for (auto& b : x) b = random() & 1u;
    for (auto& b : message) b = random() & 1u;
    for (auto& c : cost) c = random() % 6 == 0 ? kWet : static_cast<float>(random() % 50) / 8;
    const float best = BruteForceBest(x, cost, message, height);
    SCOPED_TRACE(testing::Message() << "trial " << trial << " h " << height << " n " << n);
    if (best == kWet) {
      EXPECT_THROW(StcEmbed(x, cost, message, height), EStcInfeasible);
      continue;
    }
    ++feasible;
    for (const TStcKernel kernel : {TStcKernel::Auto, TStcKernel::Portable}) {
      const std::vector<std::uint8_t> y = StcEmbed(x, cost, message, height, kernel);
      EXPECT_EQ(StcExtract(y, m, height), message);
      EXPECT_FLOAT_EQ(CostOf(x, y, cost), best);
    }
  }
  EXPECT_GT(feasible, 60);
}

TEST(SyndromeTrellisTest, LongVectorsWithWetBitsKeepThemAndTheMessage) {
  std::mt19937 random(3);
  // Blocks of 10 and of 100 columns, the columns mostly wet in the second, as in a JPEG.
  for (const int height : {7, 8, 10}) {
    for (const std::size_t m : {3000u, 300u}) {
      const std::size_t n = 30000;
      std::vector<std::uint8_t> x(n), message(m);
      std::vector<float> cost(n);
      for (auto& b : x) b = random() & 1u;
      for (auto& b : message) b = random() & 1u;
      const unsigned dry = m == 300 ? 8 : 3;
      for (auto& c : cost)
        c = random() % dry != 0 ? kWet : 1.0f + static_cast<float>(random() % 100);
      std::vector<std::uint8_t> y(n), plain(n);
      TStcWriter(height).Embed(x, cost, message, y);
      TStcWriter(height, TStcKernel::Portable).Embed(x, cost, message, plain);
      EXPECT_EQ(y, plain) << height;
      EXPECT_EQ(StcExtract(y, m, height), message) << height;
      for (std::size_t i = 0; i < n; ++i) {
        if (cost[i] == kWet) {
          ASSERT_EQ(y[i], x[i]) << i;
        }
      }
    }
  }
}

TEST(PlusMinusOneTest, TwoLayersCarryTheirBitsByOneStepChanges) {
  std::mt19937 random(5);
  const std::size_t n = 20000;
  std::vector<std::int16_t> values(n);
  std::vector<std::uint8_t> plus(n), minus(n);
  TCostHistogram histogram;
  for (std::size_t i = 0; i < n; ++i) {
    values[i] = static_cast<std::int16_t>(static_cast<int>(random() % 600) - 300);
    plus[i] = random() % 10 == 0 ? kWetLevel : static_cast<std::uint8_t>(random() % 255);
    minus[i] = random() % 10 == 0 ? kWetLevel : static_cast<std::uint8_t>(random() % 255);
    const bool odd = values[i] & 1;
    histogram.Add(odd ? plus[i] : minus[i], odd ? minus[i] : plus[i]);
  }
  const TTernaryPlan plan = PlanTernary(histogram, 4000);
  EXPECT_EQ(plan.P2Bits + plan.P1Bits, 4000u);
  // λ makes the elements' entropies add up to the payload, and the first layer takes the
  // entropy of the decisions whether P2 flips.
  double entropy = 0, p2Entropy = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const bool odd = values[i] & 1;
    const std::uint8_t flip = odd ? plus[i] : minus[i], keep = odd ? minus[i] : plus[i];
    auto weight = [&](std::uint8_t l) {
      return l == kWetLevel ? 0.0 : std::exp(-plan.Lambda * LevelCost(l));
    };
    const double z = 1 + weight(flip) + weight(keep);
    for (const double pi : {1 / z, weight(flip) / z, weight(keep) / z}) {
      if (pi > 0) entropy -= pi * std::log2(pi);
    }
    const double q = weight(flip) / z;
    if (q > 0) p2Entropy -= q * std::log2(q) + (1 - q) * std::log2(1 - q);
  }
  EXPECT_NEAR(entropy, 4000, 1);
  EXPECT_NEAR(static_cast<double>(plan.P2Bits), p2Entropy, 1);
  std::vector<std::uint8_t> p2(plan.P2Bits), p1(plan.P1Bits);
  for (auto& b : p2) b = random() & 1u;
  for (auto& b : p1) b = random() & 1u;
  // Changes past a limit are left out; a limit under which a layer no longer fits (0: every
  // change) gives way to the write with every change allowed.
  for (const float limit : {kWet, 6.0f, 0.0f}) {
    TTernaryPlan limited = plan;
    limited.DryLimit = limit;
    std::vector<std::int8_t> changes(n);
    TTernaryWriter(8).Embed({values, plus, minus}, limited, p2, p1, changes);
    std::vector<std::int16_t> stego(values);
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint8_t level = changes[i] > 0 ? plus[i] : changes[i] < 0 ? minus[i] : 0;
      ASSERT_NE(level, kWetLevel) << i;
      if (limit > 0 && changes[i] != 0) {
        ASSERT_LE(plan.Lambda * LevelCost(level), limit) << i;
      }
      stego[i] = static_cast<std::int16_t>(stego[i] + changes[i]);
    }
    const TTernaryBits back = ExtractTernary(stego, p2.size(), p1.size(), 8);
    EXPECT_EQ(back.P2, p2) << limit;
    EXPECT_EQ(back.P1, p1) << limit;
  }
  EXPECT_THROW(PlanTernary(histogram, 2 * n), EStcInfeasible);
}

TEST(KeyedOrderTest, IsAPermutationThatDependsOnTheKey) {
  std::array<std::uint8_t, kOrderKeySize> key{}, other{};
  other[31] = 1;
  for (const TOrderDomain domain : {TOrderDomain::PowerOfTwo, TOrderDomain::Rectangle}) {
    for (const std::uint64_t size : {1u, 2u, 3u, 5u, 4097u, 70001u, 70225u}) {
      const TKeyedOrder order(key, size, domain);
      std::set<std::uint32_t> seen;
      for (std::uint64_t p = 0; p < size; ++p) seen.insert(order[p]);
      EXPECT_EQ(seen.size(), size);
      EXPECT_LT(*seen.rbegin(), size);
    }
    const TKeyedOrder a(key, 70001, domain), b(other, 70001, domain);
    int same = 0;
    for (std::uint64_t p = 0; p < 1000; ++p) same += a[p] == b[p];
    EXPECT_LT(same, 5);
    // The batches the writer asks for give what one position at a time gives, from any
    // position (a rectangle's halves step along from it) to the last.
    for (const std::uint64_t first : {0u, 264u, 5000u, 69000u}) {
      std::vector<std::uint32_t> batch(1001);
      a.Fill(first, batch);
      for (std::size_t i = 0; i < batch.size(); ++i) ASSERT_EQ(batch[i], a[first + i]) << i;
    }
  }
  // The two domains give different orders of one key.
  const TKeyedOrder binary(key, 70001), rectangle(key, 70001, TOrderDomain::Rectangle);
  int same = 0;
  for (std::uint64_t p = 0; p < 1000; ++p) same += binary[p] == rectangle[p];
  EXPECT_LT(same, 5);
}

// Values a reader written from docs/security.md alone computes, for pictures far larger than
// the pinned one: the codes' columns and the order of a 12-megapixel photograph's samples.
TEST(KeyedLayoutTest, ColumnsAndOrderAreThoseTheLayoutDescribes) {
  struct TColumnCase {
    int Height;
    std::size_t Width, Offset;
    std::uint32_t Column;
  };
  for (const TColumnCase& c :
       {TColumnCase{7, 17, 0, 107}, TColumnCase{7, 17, 16, 115}, TColumnCase{8, 2, 1, 137},
        TColumnCase{10, 20, 19, 683}, TColumnCase{9, 300000, 123456, 361}}) {
    EXPECT_EQ(StcColumn(c.Height, c.Width, c.Offset), c.Column) << c.Height << " " << c.Width;
  }
  std::array<std::uint8_t, kOrderKeySize> key{};
  for (std::size_t i = 0; i < key.size(); ++i) key[i] = static_cast<std::uint8_t>(i);
  const TKeyedOrder order(key, 36'000'000);
  EXPECT_EQ(order[0], 31671634u);
  EXPECT_EQ(order[1], 29479329u);
  EXPECT_EQ(order[4096], 32439208u);
  EXPECT_EQ(order[35'999'999], 16306533u);
  // The batched walk gives the same values, across a batch's end and up to the last position.
  std::vector<std::uint32_t> head(4097), tail(10);
  order.Fill(0, head);
  order.Fill(35'999'990, tail);
  EXPECT_EQ(head[0], 31671634u);
  EXPECT_EQ(head[1], 29479329u);
  EXPECT_EQ(head[4096], 32439208u);
  EXPECT_EQ(tail[9], 16306533u);
  // A 12-megapixel JPEG's coefficients (4:2:0) in the rectangle: 4245 rows of 4245 columns.
  const TKeyedOrder jpeg(key, 18'016'000, TOrderDomain::Rectangle);
  EXPECT_EQ(jpeg[0], 13289912u);
  EXPECT_EQ(jpeg[1], 13569921u);
  EXPECT_EQ(jpeg[4096], 15100755u);
  EXPECT_EQ(jpeg[18'015'999], 5069462u);
}

TEST(KeyedLayoutTest, HeightAndSegmentsFollowTheSize) {
  struct TCase {
    std::uint64_t Elements;
    int Height;
    std::uint64_t Segments;
  };
  for (const TCase& c :
       {TCase{4096 + 272, 10, 1}, TCase{4096 + 131072, 10, 1}, TCase{4096 + 131073, 10, 2},
        TCase{12'000'000 * 3ull, 7, 35}, TCase{(1ull << 23) + 4096, 9, 32}}) {
    const std::optional<TKeyedLayout> layout = KeyedLayout(c.Elements);
    ASSERT_TRUE(layout) << c.Elements;
    EXPECT_EQ(layout->Height, c.Height) << c.Elements;
    EXPECT_EQ(layout->Segments, c.Segments) << c.Elements;
    EXPECT_EQ(layout->SegmentStart(0), kHeaderPositions);
    EXPECT_EQ(layout->SegmentStart(layout->Segments), c.Elements);
  }
  EXPECT_FALSE(KeyedLayout(4096 + 271));
  EXPECT_EQ(KeyedSealParameters().OpsLimit, 8);
  EXPECT_EQ(KeyedSealParameters().MemLimitLog2, 26);
}

TEST(KeyedSealTest, HeaderAndRecordOpenOnlyWithTheirKeys) {
  const TKeyedKeys keys("password", "pixels 80 60 3", kCheap);
  const TKeyedKeys otherCover("password", "pixels 60 80 3", kCheap);
  TKeyedHeader header;
  header.Nonce = NewKeyedNonce();
  header.CipherBytes = 1234;
  header.P2Bits = 4321;
  const TKeyedHeaderBytes bytes = EncodeKeyedHeader(header, keys);
  EXPECT_EQ(DecodeKeyedHeader(bytes, keys).CipherBytes, 1234u);
  EXPECT_EQ(DecodeKeyedHeader(bytes, keys).P2Bits, 4321u);
  EXPECT_NE(DecodeKeyedHeader(bytes, otherCover).CipherBytes, 1234u);
  const std::string cipher = SealKeyedRecord("\x01record", bytes, header, keys);
  EXPECT_EQ(OpenKeyedRecord(cipher, bytes, header, keys), "\x01record");
  TKeyedHeaderBytes changed = bytes;
  changed[30] ^= 1;
  EXPECT_THROW(OpenKeyedRecord(cipher, changed, header, keys), ESealOpen);
  EXPECT_THROW(OpenKeyedRecord(cipher, bytes, header, otherCover), ESealOpen);
}

TEST(HillTest, SmoothAreasCostMoreThanTexture) {
  // Left half flat grey, right half noise; tiny planes are costed without reading outside.
  std::mt19937 random(1);
  const int width = 64, height = 40;
  std::vector<std::uint8_t> plane(width * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) plane[y * width + x] = x < 32 ? 128 : 60 + random() % 120;
  }
  std::vector<std::uint8_t> levels(plane.size());
  HillLevels({plane.data(), width, height, width, 1}, {levels.data(), width, 1});
  EXPECT_GT(levels[20 * width + 5], levels[20 * width + 58] + 3 * kLevelsPerOctave);
  // Costed in parts, as the writer's threads do, the plane gives the same levels.
  std::vector<std::uint8_t> parts(plane.size());
  for (const auto& [first, last] : {std::pair{0, 3}, std::pair{3, 21}, std::pair{21, height}}) {
    HillLevels({plane.data(), width, height, width, 1}, {parts.data(), width, 1}, first, last);
  }
  EXPECT_EQ(parts, levels);
  // Against the filters written out sample by sample, the plane mirrored at its edges.
  auto mirror = [](int i, int n) { return i < 0 ? -1 - i : i >= n ? 2 * n - 1 - i : i; };
  auto at = [&](int x, int y) {
    return static_cast<double>(plane[mirror(y, height) * width + mirror(x, width)]);
  };
  auto residual = [&](int x, int y) {
    const int kb[3][3] = {{-1, 2, -1}, {2, -4, 2}, {-1, 2, -1}};
    double r = 0;
    for (int dy = -1; dy <= 1; ++dy) {
      for (int dx = -1; dx <= 1; ++dx) r += kb[dy + 1][dx + 1] * at(x + dx, y + dy);
    }
    return std::fabs(r);
  };
  auto inverse = [&](int x, int y) {
    double sum = 0;
    for (int dy = -1; dy <= 1; ++dy) {
      for (int dx = -1; dx <= 1; ++dx)
        sum += residual(mirror(x + dx, width), mirror(y + dy, height));
    }
    return sum > 0 ? 9 / sum : 18.0;
  };
  for (const auto& [x, y] :
       {std::pair{0, 0}, std::pair{31, 17}, std::pair{63, 39}, std::pair{40, 3}}) {
    double sum = 0;
    for (int dy = -7; dy <= 7; ++dy) {
      for (int dx = -7; dx <= 7; ++dx) {
        sum += inverse(mirror(x + dx, width), mirror(y + dy, height));
      }
    }
    EXPECT_NEAR(levels[y * width + x], CostLevel(static_cast<float>(sum / 225)), 1)
        << x << "," << y;
  }
  for (const auto& [w, h] : {std::pair{1, 1}, std::pair{2, 3}, std::pair{5, 1}}) {
    std::vector<std::uint8_t> small(static_cast<std::size_t>(w * h), 77), out(small.size(), 0);
    HillLevels({small.data(), w, h, w, 1}, {out.data(), w, 1});
    EXPECT_EQ(out[0], CostLevel(18.0f)) << w << "x" << h;
  }
}

// A cover with texture, a smooth gradient and a clipped block of 255.
TBitmap Photo(int width, int height, int bitsPerPixel) {
  TBitmap bitmap(width, height, bitsPerPixel);
  for (int i = 0; bitsPerPixel == 8 && i < 256; ++i) {
    bitmap.Palette().push_back(RGB(i, i, i));
  }
  std::mt19937 random(11);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = bitmap.RowAt(y);
    for (std::size_t i = 0; i < bitmap.RowLength(); ++i) {
      const int base = 40 + y * 150 / height + static_cast<int>(i % 50);
      row[i] = static_cast<std::uint8_t>(y < height / 4 && i < 30 ? 255 : base + random() % 9);
    }
  }
  return bitmap;
}

TEST(AdaptiveBitmapTest, RoundTripsThroughBmpAndPngFiles) {
  test::TTempDir dir;
  struct TCase {
    const char* Name;
    int Bits;
    TSealedContent Content;
  };
  const std::string file(3000, '\x7f');
  for (const TCase& c : {TCase{"a.bmp", 24, {TSealedKind::Text, "", "密钥 😀 text"}},
                         TCase{"b.png", 24, {TSealedKind::File, "报告.bin", file}},
                         TCase{"c.bmp", 32, {TSealedKind::Text, "", "alpha stays"}},
                         TCase{"d.png", 8, {TSealedKind::Text, "", "grey through PNG"}}}) {
    TBitmap bitmap = Photo(200, 120, c.Bits);
    const TBitmap cover = Photo(200, 120, c.Bits);
    HideAdaptive(bitmap, "pw", c.Content, kCheap);
    int changed = 0;
    for (std::size_t i = 0; i < bitmap.Bits().size(); ++i) {
      const int d = bitmap.Bits()[i] - cover.Bits()[i];
      ASSERT_LE(std::abs(d), 1) << i;
      if (d != 0) {
        ASSERT_TRUE(cover.Bits()[i] != 0 && cover.Bits()[i] != 255) << i;
        ASSERT_TRUE(c.Bits != 32 || i % 4 != 3) << "alpha " << i;
      }
      changed += d != 0;
    }
    EXPECT_GT(changed, 0);
    EXPECT_EQ(DetectDataFormat(&bitmap), DetectDataFormat(&cover)) << c.Name;
    TFractalImage picture(FileFormats());
    picture.PictureBitmap().Assign(bitmap);
    SavePictureFile(picture, dir.Path(c.Name));
    TFractalImage back(FileFormats());
    back.LoadGraphic(LoadRecognisedGraphic(dir.Path(c.Name), ""));
    EXPECT_EQ(RevealAdaptive(back.PictureBitmap(), "pw", kCheap), c.Content) << c.Name;
    EXPECT_THROW(RevealAdaptive(back.PictureBitmap(), "pW", kCheap), ESealOpen) << c.Name;
    // A damaged picture: a few samples moved by one, wherever they are.
    TBitmap& damaged = back.PictureBitmap();
    for (std::size_t i = 7; i < damaged.Bits().size(); i += damaged.Bits().size() / 9) {
      damaged.MutableBits()[i] ^= 1;
    }
    EXPECT_THROW(RevealAdaptive(damaged, "pw", kCheap), ESealOpen) << c.Name;
  }
  EXPECT_THROW(RevealAdaptive(Photo(200, 120, 24), "pw", kCheap), ESealOpen);
}

TEST(AdaptiveBitmapTest, IndexedPicturesBecomeGreyOrColourCarriers) {
  TBitmap grey(150, 100, 4), colour(150, 100, 8);
  for (int i = 0; i < 16; ++i) grey.Palette().push_back(RGB(i * 17, i * 17, i * 17));
  for (int i = 0; i < 256; ++i) colour.Palette().push_back(RGB(i, 255 - i, i / 2));
  std::mt19937 random(2);
  for (TBitmap* b : {&grey, &colour}) {
    for (std::uint8_t& byte : b->MutableBits()) byte = static_cast<std::uint8_t>(random());
  }
  HideAdaptive(grey, "pw", {TSealedKind::Text, "", "grey"}, kCheap);
  EXPECT_EQ(grey.BitsPerPixel(), 8);
  EXPECT_EQ(AdaptiveChannels(grey), 1);
  HideAdaptive(colour, "pw", {TSealedKind::Text, "", "colour"}, kCheap);
  EXPECT_EQ(colour.BitsPerPixel(), 24);
  EXPECT_EQ(RevealAdaptive(grey, "pw", kCheap).Bytes, "grey");
  EXPECT_EQ(RevealAdaptive(colour, "pw", kCheap).Bytes, "colour");
}

TEST(AdaptiveBitmapTest, RefusalsLeaveThePixelsAlone) {
  const TBitmap cover = Photo(100, 60, 24);
  const TAdaptiveCapacity capacity = AdaptiveCapacity(cover);
  EXPECT_GT(capacity.Largest, capacity.Tolerated);
  EXPECT_LE(capacity.Largest, AdaptiveCapacityBound(cover, cover.Height()).Largest);
  struct TCase {
    TBitmap Bitmap;
    std::size_t Bytes;
    bool TooSmall;
  };
  TBitmap white(100, 60, 24);
  for (std::uint8_t& b : white.MutableBits()) b = 255;
  std::vector<TCase> cases;
  cases.push_back({TBitmap(1, 1, 24), 1, true});
  cases.push_back({std::move(white), 1, true});
  cases.push_back({Photo(100, 60, 24), capacity.Largest + 1, false});
  for (TCase& c : cases) {
    TBitmap before;
    before.Assign(c.Bitmap);
    const TSealedContent content{TSealedKind::Text, "", std::string(c.Bytes, 'x')};
    if (c.TooSmall) {
      EXPECT_THROW(HideAdaptive(c.Bitmap, "pw", content, kCheap), ENoAdaptiveRoom);
    } else {
      EXPECT_THROW(HideAdaptive(c.Bitmap, "pw", content, kCheap), ETextDoesNotFit);
    }
    EXPECT_TRUE(std::equal(before.Bits().begin(), before.Bits().end(), c.Bitmap.Bits().begin()));
  }
  EXPECT_FALSE(MayHoldAdaptive(TBitmap(1, 1, 24)));
  EXPECT_THROW(RevealAdaptive(TBitmap(1, 1, 24), "pw", kCheap), ENoAdaptiveRoom);
  TBitmap full = Photo(100, 60, 24);
  HideAdaptive(full, "pw", {TSealedKind::Text, "", std::string(capacity.Largest, 'y')}, kCheap);
  EXPECT_EQ(RevealAdaptive(full, "pw", kCheap).Bytes.size(), capacity.Largest);
}

// A cover whose samples turn wet after the header has found its place: the code cannot go on,
// and the write must leave every sample as it was rather than a header without its message.
TEST(KeyedEmbeddingTest, AWriteThatFailsChangesNothing) {
  class TWetLater : public TAdaptiveCover {
   public:
    std::uint64_t Size() const override { return 30000; }
    std::string Label() const override { return "test"; }
    void Values(std::span<const std::uint32_t>, std::span<std::int16_t> values) const override {
      std::fill(values.begin(), values.end(), std::int16_t{128});
    }
    std::uint64_t Usable() const override { return Size(); }
    void PrepareCosts() override {}
    TCostHistogram Histogram() const override {
      TCostHistogram histogram;
      histogram.Add(40, 40, Size());
      return histogram;
    }
    void Levels(std::span<const std::uint32_t>, std::span<std::uint8_t> plus,
                std::span<std::uint8_t> minus) const override {
      const std::uint8_t level = Asked++ == 0 ? 40 : kWetLevel;
      std::fill(plus.begin(), plus.end(), level);
      std::fill(minus.begin(), minus.end(), level);
    }
    void Apply(std::span<const std::uint32_t> indices, std::span<const std::int8_t>) override {
      Applied += indices.size();
    }
    mutable std::atomic<int> Asked{0};
    std::size_t Applied = 0;
  } cover;
  EXPECT_THROW(WriteKeyed(cover, "pw", std::string(200, 'x'), kCheap), EStcInfeasible);
  EXPECT_EQ(cover.Applied, 0u);
}

TEST(AdaptiveBitmapTest, SeveralSegmentsOnSeveralThreads) {
  // 330 × 330 × 3 samples: three segments of the height-10 code.
  TBitmap bitmap = Photo(330, 330, 24);
  ASSERT_EQ(KeyedLayout(330 * 330 * 3)->Segments, 3u);
  std::string text(15000, '\0');
  std::mt19937 random(4);
  for (char& c : text) c = static_cast<char>(random());
  HideAdaptive(bitmap, "pw", {TSealedKind::Text, "", text}, kCheap);
  EXPECT_EQ(RevealAdaptive(bitmap, "pw", kCheap).Bytes, text);
}

// A picture written by the first release of the layout: every later release must read it.
TEST(AdaptiveBitmapTest, ReadsThePinnedPicture) {
  TBitmap pinned;
  pinned.LoadFromFile(std::string(PENNACROW_TEST_DATA) + "/keyed/keyed-80x60.bmp");
  EXPECT_EQ(RevealAdaptive(pinned, "Pennacrow 密钥 😀", kCheap),
            (TSealedContent{TSealedKind::Text, "", "keyed layout, first release"}));
}

}  // namespace
}  // namespace pennacrow
