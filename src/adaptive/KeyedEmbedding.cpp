#include "adaptive/KeyedEmbedding.h"
#include "base/Translate.h"

#include <sodium.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <future>
#include <mutex>

#include "adaptive/KeyedOrder.h"
#include "adaptive/Workers.h"
#include "base/LargeBuffer.h"
#include "codec/Container.h"
#include "codec/SystemRandom.h"

namespace pennacrow::adaptive {

namespace {

constexpr std::uint64_t kHeaderBits = 8 * kKeyedHeaderSize;
// The smallest record: a kind byte, sealed.
constexpr std::uint64_t kSmallestCipher = 1 + kKeyedTagSize;

// A string of bytes as bits, least significant bit of each byte first, and back.
std::vector<std::uint8_t> ToBits(std::string_view bytes) {
  std::vector<std::uint8_t> bits(8 * bytes.size());
  for (std::size_t i = 0; i < bits.size(); ++i) {
    bits[i] = (static_cast<unsigned char>(bytes[i / 8]) >> (i % 8)) & 1u;
  }
  return bits;
}

std::string FromBits(std::span<const std::uint8_t> bits) {
  std::string bytes(bits.size() / 8, '\0');
  for (std::size_t i = 0; i < bits.size(); ++i) {
    bytes[i / 8] = static_cast<char>(bytes[i / 8] | (bits[i] << (i % 8)));
  }
  return bytes;
}

// Where part s of S of a run of `total` things begins: floor(s·total/S), exactly (the product
// stays far below 2^64: S is at most a few thousand and total below 2^33).
std::uint64_t Share(std::uint64_t s, std::uint64_t segments, std::uint64_t total) {
  return s * total / segments;
}

std::vector<std::uint32_t> Positions(const TKeyedOrder& order, std::uint64_t begin,
                                     std::uint64_t end) {
  std::vector<std::uint32_t> indices(end - begin);
  order.Fill(begin, indices);
  return indices;
}

// The changes a write makes, gathered until the whole message has found its place: a write that
// fails half way leaves the cover as it was.
struct TChanges {
  std::vector<std::uint32_t> Indices;
  std::vector<std::int8_t> Deltas;

  void Add(std::span<const std::uint32_t> indices, std::span<const std::int8_t> changes) {
    for (std::size_t i = 0; i < indices.size(); ++i) {
      if (changes[i] == 0) continue;
      Indices.push_back(indices[i]);
      Deltas.push_back(changes[i]);
    }
  }
};

// One segment's elements, kept from one segment to the next: allocating them afresh would
// have the system clear their pages again for every segment.
struct TSegment {
  std::vector<std::uint32_t> Indices;
  std::vector<std::int16_t> Values;
  std::vector<std::uint8_t> Plus, Minus;
  std::vector<std::int8_t> Changes;

  void Load(const TAdaptiveCover& cover, const TKeyedOrder& order, std::uint64_t begin,
            std::uint64_t end) {
    const std::size_t n = end - begin;
    ResizeLarge(Indices, n);
    ResizeLarge(Values, n);
    ResizeLarge(Plus, n);
    ResizeLarge(Minus, n);
    ResizeLarge(Changes, n);
    order.Fill(begin, Indices);
    cover.Values(Indices, Values);
    cover.Levels(Indices, Plus, Minus);
  }
};

std::uint64_t UsablePayload(std::uint64_t elements, std::uint64_t usable) {
  return static_cast<std::uint64_t>(static_cast<long double>(usable) *
                                    (elements - kHeaderPositions) / elements);
}

// The header's bits go into the P1 bits of the first positions by ±1 changes, each element
// taking whichever of its changes costs less (a coin decides between equal ones), so that the
// low bits keep the statistics of ±1 and not those of setting bits.
TChanges HeaderChanges(const TAdaptiveCover& cover, const TKeyedOrder& order,
                       const TKeyedHeaderBytes& header) {
  const std::vector<std::uint32_t> indices = Positions(order, 0, kHeaderPositions);
  std::vector<std::int16_t> values(indices.size());
  std::vector<std::uint8_t> plus(indices.size()), minus(indices.size());
  cover.Values(indices, values);
  cover.Levels(indices, plus, minus);
  std::vector<std::uint8_t> coins(indices.size());
  FillFromSystem(coins.data(), coins.size());
  std::vector<std::uint8_t> bits(indices.size());
  std::vector<float> cost(indices.size());
  std::vector<std::int8_t> direction(indices.size());
  for (std::size_t i = 0; i < indices.size(); ++i) {
    bits[i] = values[i] & 1;
    const bool up = plus[i] < minus[i] || (plus[i] == minus[i] && (coins[i] & 1));
    direction[i] = static_cast<std::int8_t>(up ? +1 : -1);
    const std::uint8_t level = up ? plus[i] : minus[i];
    cost[i] = level == kWetLevel ? kWet : LevelCost(level);
  }
  const std::vector<std::uint8_t> message(
      ToBits({reinterpret_cast<const char*>(header.data()), header.size()}));
  const std::vector<std::uint8_t> stego = StcEmbed(bits, cost, message, kHeaderHeight);
  std::vector<std::int8_t> changes(indices.size());
  for (std::size_t i = 0; i < indices.size(); ++i) {
    changes[i] = static_cast<std::int8_t>(stego[i] != bits[i] ? direction[i] : 0);
  }
  TChanges result;
  result.Add(indices, changes);
  return result;
}

TKeyedHeaderBytes ReadHeaderBytes(const TKeyedCover& cover, const TKeyedOrder& order) {
  const std::vector<std::uint32_t> indices = Positions(order, 0, kHeaderPositions);
  std::vector<std::int16_t> values(indices.size());
  cover.Values(indices, values);
  std::vector<std::uint8_t> bits(indices.size());
  for (std::size_t i = 0; i < indices.size(); ++i) bits[i] = values[i] & 1;
  const std::string bytes = FromBits(StcExtract(bits, kHeaderBits, kHeaderHeight));
  TKeyedHeaderBytes header{};
  std::copy(bytes.begin(), bytes.end(), header.begin());
  return header;
}

// Where a segment's bits sit in the two runs of the message.
struct TSegmentBits {
  std::uint64_t P2Begin, P2End, P1Begin, P1End;
};

TSegmentBits SegmentBits(const TKeyedLayout& layout, std::uint64_t s, std::uint64_t p2Bits,
                         std::uint64_t p1Bits) {
  return {Share(s, layout.Segments, p2Bits), Share(s + 1, layout.Segments, p2Bits),
          p2Bits + Share(s, layout.Segments, p1Bits),
          p2Bits + Share(s + 1, layout.Segments, p1Bits)};
}

// The payload's segments on a few threads, each taking the next segment not yet taken.
std::vector<TChanges> PayloadChanges(const TAdaptiveCover& cover, const TKeyedOrder& order,
                                     const TKeyedLayout& layout, const TTernaryPlan& plan,
                                     std::span<const std::uint8_t> bits) {
  std::atomic<std::uint64_t> next{0};
  std::vector<TChanges> found;
  std::mutex lock;
  const auto workers = static_cast<unsigned>(std::min<std::uint64_t>(layout.Segments, kMaxWorkers));
  RunWorkers(workers, [&](const std::atomic<bool>& stop) {
    TTernaryWriter writer(layout.Height);
    TSegment segment;
    TChanges changes;
    for (std::uint64_t s = next++; s < layout.Segments && !stop; s = next++) {
      segment.Load(cover, order, layout.SegmentStart(s), layout.SegmentStart(s + 1));
      const TSegmentBits part = SegmentBits(layout, s, plan.P2Bits, plan.P1Bits);
      writer.Embed({segment.Values, segment.Plus, segment.Minus}, plan,
                   bits.subspan(part.P2Begin, part.P2End - part.P2Begin),
                   bits.subspan(part.P1Begin, part.P1End - part.P1Begin), segment.Changes);
      changes.Add(segment.Indices, segment.Changes);
    }
    const std::lock_guard<std::mutex> guard(lock);
    found.push_back(std::move(changes));
  });
  return found;
}

std::string ReadPayload(const TKeyedCover& cover, const TKeyedOrder& order,
                        const TKeyedLayout& layout, const TKeyedHeader& header) {
  const std::uint64_t total = 8 * std::uint64_t{header.CipherBytes};
  const std::uint64_t p1Bits = total - header.P2Bits;
  std::vector<std::uint8_t> bits(total);
  // The segments on a few threads as the writer's, each writing its own share of the bits.
  std::atomic<std::uint64_t> next{0};
  const auto workers = static_cast<unsigned>(std::min<std::uint64_t>(layout.Segments, kMaxWorkers));
  RunWorkers(workers, [&](const std::atomic<bool>& stop) {
    std::vector<std::uint32_t> indices;
    std::vector<std::int16_t> values;
    for (std::uint64_t s = next++; s < layout.Segments && !stop; s = next++) {
      const std::uint64_t begin = layout.SegmentStart(s), end = layout.SegmentStart(s + 1);
      ResizeLarge(indices, end - begin);
      ResizeLarge(values, end - begin);
      order.Fill(begin, indices);
      cover.Values(indices, values);
      const TSegmentBits part = SegmentBits(layout, s, header.P2Bits, p1Bits);
      const TTernaryBits got = ExtractTernary(values, part.P2End - part.P2Begin,
                                              part.P1End - part.P1Begin, layout.Height);
      std::copy(got.P2.begin(), got.P2.end(),
                bits.begin() + static_cast<std::ptrdiff_t>(part.P2Begin));
      std::copy(got.P1.begin(), got.P1.end(),
                bits.begin() + static_cast<std::ptrdiff_t>(part.P1Begin));
    }
  });
  return FromBits(bits);
}

// A header that a wrong password or a cover without a message gives is random: lengths that no
// writer could have written are refused before the payload is read at all.
bool Plausible(const TKeyedHeader& header, const TKeyedLayout& layout) {
  const std::uint64_t bits = 8 * std::uint64_t{header.CipherBytes};
  return header.CipherBytes >= kSmallestCipher &&
         header.CipherBytes <= kMaxKeyedRecordBytes + kKeyedTagSize &&
         2 * bits <= layout.PayloadPositions() && header.P2Bits <= bits;
}

}  // namespace

TCostHistogram TSymmetricCover::Histogram() const {
  std::array<std::uint64_t, 256> counts{};
  for (const std::uint8_t level : FLevels) ++counts[level];
  TCostHistogram histogram;
  for (int level = 0; level < 256; ++level) {
    const auto l = static_cast<std::uint8_t>(level);
    histogram.Add(l, l, counts[level]);
  }
  return histogram;
}

void TSymmetricCover::Levels(std::span<const std::uint32_t> indices, std::span<std::uint8_t> plus,
                             std::span<std::uint8_t> minus) const {
  // The elements lie all over the cover: ask for their levels well before they are read, so
  // far ahead that a fetch from the last-level cache or memory is over by then (16 ahead left
  // most of it waiting).
  constexpr std::size_t kAhead = 128;
  const std::uint8_t* const levels = FLevels.data();
  const std::uint32_t* const index = indices.data();
  const std::size_t n = indices.size();
  for (std::size_t i = 0; i < n; ++i) {
    if (i + kAhead < n) __builtin_prefetch(levels + index[i + kAhead]);
    plus[i] = minus[i] = levels[index[i]];
  }
}

std::uint64_t TKeyedLayout::SegmentStart(std::uint64_t s) const {
  return kHeaderPositions + Share(s, Segments, PayloadPositions());
}

std::optional<TKeyedLayout> KeyedLayout(std::uint64_t elements) {
  if (elements < kHeaderPositions + 2 * 8 * kSmallestCipher ||
      elements > (std::uint64_t{1} << 32)) {
    return std::nullopt;
  }
  TKeyedLayout layout;
  layout.Elements = elements;
  const std::uint64_t n = layout.PayloadPositions();
  layout.Height = n <= (1u << 22) ? 10 : n <= (1u << 23) ? 9 : n <= (1u << 24) ? 8 : 7;
  const std::uint64_t segment = std::uint64_t{1} << (27 - layout.Height);
  layout.Segments = (n + segment - 1) / segment;
  return layout;
}

std::uint64_t LargestKeyedRecord(std::uint64_t elements, std::uint64_t usable) {
  if (!KeyedLayout(elements)) return 0;
  const std::uint64_t bytes = UsablePayload(elements, usable) / 2 / 8;
  if (bytes < kSmallestCipher) return 0;
  return std::min<std::uint64_t>(bytes - kKeyedTagSize, kMaxKeyedRecordBytes);
}

std::uint64_t ToleratedKeyedRecord(std::uint64_t elements, std::uint64_t usable) {
  if (!KeyedLayout(elements)) return 0;
  // A tenth of a bit per sample free to change: there bench/detectability's SPAM detector,
  // trained for this writer, stays at P_E 0.47 on held-out photo tiles (0.44 at a fifth).
  const std::uint64_t bytes = UsablePayload(elements, usable) / 10 / 8;
  if (bytes < kSmallestCipher) return 0;
  return std::min<std::uint64_t>(bytes - kKeyedTagSize, kMaxKeyedRecordBytes);
}

void WriteKeyed(TAdaptiveCover& cover, std::string_view password, std::string_view record,
                TSealParameters parameters) {
  const std::optional<TKeyedLayout> layout = KeyedLayout(cover.Size());
  const std::uint64_t largest = LargestKeyedRecord(cover.Size(), cover.Usable());
  if (!layout || record.empty() || record.size() > largest) {
    throw ETextDoesNotFit(TrF("内容太大：这张图片用密钥自适应写入最多能放 %1 字节，内容有 %2 字节",
                              {std::to_string(largest), std::to_string(record.size())}));
  }
  std::optional<TKeyedKeys> derived;
  if (cover.CostsBesideKey()) {
    // The costs need no key: the other processor works them out meanwhile.
    std::future<void> costs = std::async(std::launch::async, [&cover] { cover.PrepareCosts(); });
    derived.emplace(password, cover.Label(), parameters);
    costs.get();
  } else {
    derived.emplace(password, cover.Label(), parameters);
    cover.PrepareCosts();
  }
  const TKeyedKeys& keys = *derived;
  TCostHistogram histogram = cover.Histogram();
  histogram.Scale(layout->PayloadPositions(), layout->Elements);
  TKeyedHeader header;
  header.Nonce = NewKeyedNonce();
  header.CipherBytes = static_cast<std::uint32_t>(record.size() + kKeyedTagSize);
  TTernaryPlan plan = PlanTernary(histogram, 8 * std::size_t{header.CipherBytes});
  plan.DryLimit = cover.DryLimit();
  header.P2Bits = static_cast<std::uint32_t>(plan.P2Bits);
  const TKeyedHeaderBytes headerBytes = EncodeKeyedHeader(header, keys);
  std::string cipher = SealKeyedRecord(record, headerBytes, header, keys);
  std::vector<std::uint8_t> bits = ToBits(cipher);

  const TKeyedOrder order(keys.Order(), layout->Elements, cover.OrderDomain());
  const TChanges headerChanges = HeaderChanges(cover, order, headerBytes);
  for (const TChanges& part : PayloadChanges(cover, order, *layout, plan, bits)) {
    cover.Apply(part.Indices, part.Deltas);
  }
  cover.Apply(headerChanges.Indices, headerChanges.Deltas);
}

std::string ReadKeyed(const TKeyedCover& cover, std::string_view password,
                      TSealParameters parameters) {
  const std::optional<TKeyedLayout> layout = KeyedLayout(cover.Size());
  if (!layout) throw ESealOpen();
  const TKeyedKeys keys(password, cover.Label(), parameters);
  const TKeyedOrder order(keys.Order(), layout->Elements, cover.OrderDomain());
  const TKeyedHeaderBytes headerBytes = ReadHeaderBytes(cover, order);
  const TKeyedHeader header = DecodeKeyedHeader(headerBytes, keys);
  if (!Plausible(header, *layout)) throw ESealOpen();
  return OpenKeyedRecord(ReadPayload(cover, order, *layout, header), headerBytes, header, keys);
}

}  // namespace pennacrow::adaptive
