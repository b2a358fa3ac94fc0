#include "adaptive/KeyedOrder.h"

#include <sodium.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "base/Error.h"

namespace pennacrow::adaptive {

namespace {

constexpr int kRounds = 8;

// The rounds over a rectangle: each half steps on by the other's table entry, modulo its range.
inline std::uint32_t RectangleRounds(const std::uint16_t* const* table, std::uint32_t rows,
                                     std::uint32_t columns, std::uint32_t high, std::uint32_t low) {
  for (int round = 0; round < kRounds; round += 2) {
    high += table[round][low];
    high -= high >= rows ? rows : 0;
    low += table[round + 1][high];
    low -= low >= columns ? columns : 0;
  }
  return high * columns + low;
}

// The rounds over 2^k: each half takes the other's table entry in by exclusive or.
inline std::uint32_t BinaryRounds(const std::uint16_t* const* table, int lowBits, std::uint32_t x) {
  std::uint32_t high = x >> lowBits, low = x & ((1u << lowBits) - 1);
  for (int round = 0; round < kRounds; round += 2) {
    high ^= table[round][low];
    low ^= table[round + 1][high];
  }
  return (high << lowBits) | low;
}

}  // namespace

TKeyedOrder::TKeyedOrder(std::span<const std::uint8_t, kOrderKeySize> key, std::uint64_t size,
                         TOrderDomain domain)
    : FSize(size), FRectangle(domain == TOrderDomain::Rectangle) {
  if (size == 0 || size > (std::uint64_t{1} << 32) || sodium_init() < 0) {
    throw EPennacrowError("keyed order of an unusable size");
  }
  if (FRectangle) {
    auto rows = static_cast<std::uint64_t>(std::sqrt(static_cast<double>(size)));
    while (rows * rows < size) ++rows;
    while (rows > 1 && (rows - 1) * (rows - 1) >= size) --rows;
    FRows = static_cast<std::uint32_t>(rows);
    FColumns = static_cast<std::uint32_t>((size + rows - 1) / rows);
  } else {
    int bits = 2;
    while ((std::uint64_t{1} << bits) < size) ++bits;
    FHighBits = (bits + 1) / 2;
    FLowBits = bits / 2;
    FRows = 1u << FHighBits;
    FColumns = 1u << FLowBits;
  }
  std::vector<unsigned char> stream;
  std::vector<std::size_t> starts;
  for (int round = 0; round < kRounds; ++round) {
    const bool even = round % 2 == 0;
    // An even round's table is looked up by R and changes L; an odd one's the other way round.
    const std::uint32_t entries = even ? FColumns : FRows;
    const std::uint32_t range = even ? FRows : FColumns;
    std::array<unsigned char, crypto_stream_chacha20_ietf_NONCEBYTES> nonce{};
    nonce[0] = static_cast<unsigned char>(round);
    nonce[1] = FRectangle ? 1 : 0;
    stream.resize(std::size_t{entries} * 4);
    crypto_stream_chacha20_ietf(stream.data(), stream.size(), nonce.data(), key.data());
    starts.push_back(FTables.size());
    for (std::size_t i = 0; i < entries; ++i) {
      const std::uint32_t word =
          std::uint32_t{stream[4 * i]} | std::uint32_t{stream[4 * i + 1]} << 8 |
          std::uint32_t{stream[4 * i + 2]} << 16 | std::uint32_t{stream[4 * i + 3]} << 24;
      FTables.push_back(static_cast<std::uint16_t>(FRectangle ? word % range : word & (range - 1)));
    }
  }
  for (const std::size_t start : starts) FTable.push_back(FTables.data() + start);
  sodium_memzero(stream.data(), stream.size());
}

std::uint32_t TKeyedOrder::Permute(std::uint32_t x) const {
  return FRectangle ? RectangleRounds(FTable.data(), FRows, FColumns, x / FColumns, x % FColumns)
                    : BinaryRounds(FTable.data(), FLowBits, x);
}

std::uint32_t TKeyedOrder::operator[](std::uint64_t position) const {
  // Walking the cycle of a permutation of its domain from a value below N reaches one again.
  std::uint32_t x = Permute(static_cast<std::uint32_t>(position));
  while (x >= FSize) x = Permute(x);
  return x;
}

namespace {

// The rounds of a batch of numbers given by their halves, one round over the whole batch before
// the next: a round looks up a single table, which then stays in the nearest cache, and its
// lookups are independent of one another. (Each number's eight rounds in turn would have all
// eight tables compete for that cache.)
void RectangleBatch(const std::uint16_t* const* table, std::uint32_t rows, std::uint32_t columns,
                    std::uint32_t* high, std::uint32_t* low, std::size_t count) {
  for (int round = 0; round < kRounds; round += 2) {
    const std::uint16_t* const even = table[round];
    const std::uint16_t* const odd = table[round + 1];
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint32_t x = high[i] + even[low[i]];
      high[i] = x >= rows ? x - rows : x;
    }
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint32_t x = low[i] + odd[high[i]];
      low[i] = x >= columns ? x - columns : x;
    }
  }
}

void BinaryBatch(const std::uint16_t* const* table, std::uint32_t* high, std::uint32_t* low,
                 std::size_t count) {
  for (int round = 0; round < kRounds; round += 2) {
    const std::uint16_t* const even = table[round];
    const std::uint16_t* const odd = table[round + 1];
    for (std::size_t i = 0; i < count; ++i) high[i] ^= even[low[i]];
    for (std::size_t i = 0; i < count; ++i) low[i] ^= odd[high[i]];
  }
}

}  // namespace

void TKeyedOrder::Fill(std::uint64_t first, std::span<std::uint32_t> out) const {
  constexpr std::size_t kBatch = 512;
  std::array<std::uint32_t, kBatch> high{}, low{}, slot{};
  const std::uint16_t* const* const table = FTable.data();
  const std::uint32_t rows = FRows, columns = FColumns,
                      last = static_cast<std::uint32_t>(FSize - 1);
  const int lowBits = FLowBits;
  auto rounds = [&](std::size_t count) {
    if (FRectangle) {
      RectangleBatch(table, rows, columns, high.data(), low.data(), count);
    } else {
      BinaryBatch(table, high.data(), low.data(), count);
    }
  };
  auto value = [&](std::size_t i) {
    return FRectangle ? high[i] * columns + low[i] : high[i] << lowBits | low[i];
  };
  // The positions follow one another: their halves step along without a division.
  auto nextHigh = static_cast<std::uint32_t>(first / columns);
  auto nextLow = static_cast<std::uint32_t>(first % columns);
  for (std::size_t done = 0; done < out.size(); done += kBatch) {
    const std::size_t count = std::min(kBatch, out.size() - done);
    std::uint32_t* const y = out.data() + done;
    for (std::size_t i = 0; i < count; ++i) {
      high[i] = nextHigh;
      low[i] = nextLow;
      ++nextLow;
      if (nextLow == columns) nextLow = 0, ++nextHigh;
    }
    rounds(count);
    // Values not yet below N are kept aside without a branch (which would go either way at
    // random) and walk on together.
    std::size_t left = 0;
    for (std::size_t i = 0; i < count; ++i) {
      y[i] = value(i);
      slot[left] = static_cast<std::uint32_t>(i);
      left += y[i] > last;
    }
    while (left > 0) {
      for (std::size_t j = 0; j < left; ++j) {
        const std::uint32_t x = y[slot[j]];
        high[j] = FRectangle ? x / columns : x >> lowBits;
        low[j] = FRectangle ? x % columns : x & (columns - 1);
      }
      rounds(left);
      std::size_t still = 0;
      for (std::size_t j = 0; j < left; ++j) {
        y[slot[j]] = value(j);
        slot[still] = slot[j];
        still += y[slot[j]] > last;
      }
      left = still;
    }
  }
}

}  // namespace pennacrow::adaptive
