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

template <typename TNext, typename TPermute>
void TKeyedOrder::FillWith(std::span<std::uint32_t> out, TNext next, TPermute permute) const {
  constexpr std::size_t kBatch = 64;
  const auto size = static_cast<std::uint32_t>(FSize - 1);
  std::array<std::uint32_t, kBatch> walking{};
  std::array<std::uint32_t, kBatch> slot{};
  for (std::size_t done = 0; done < out.size(); done += kBatch) {
    const std::size_t count = std::min(kBatch, out.size() - done);
    // Each position's rounds in one go, the positions independent of one another, so that the
    // processor has the lookups of several in flight; values not yet below N are kept aside
    // without a branch (which would go either way at random) and walk on in the next pass.
    std::size_t left = 0;
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint32_t y = next();
      out[done + i] = y;
      walking[left] = y;
      slot[left] = static_cast<std::uint32_t>(i);
      left += y > size;
    }
    while (left > 0) {
      std::size_t still = 0;
      for (std::size_t j = 0; j < left; ++j) {
        const std::uint32_t y = permute(walking[j]);
        out[done + slot[j]] = y;
        walking[still] = y;
        slot[still] = slot[j];
        still += y > size;
      }
      left = still;
    }
  }
}

void TKeyedOrder::Fill(std::uint64_t first, std::span<std::uint32_t> out) const {
  std::array<const std::uint16_t*, kRounds> table{};
  std::copy(FTable.begin(), FTable.end(), table.begin());
  if (FRectangle) {
    const std::uint32_t rows = FRows, columns = FColumns;
    auto rounds = [&table, rows, columns](std::uint32_t high, std::uint32_t low) {
      return RectangleRounds(table.data(), rows, columns, high, low);
    };
    // The positions follow one another: their halves step along without a division.
    auto high = static_cast<std::uint32_t>(first / columns);
    auto low = static_cast<std::uint32_t>(first % columns);
    auto next = [&] {
      const std::uint32_t y = rounds(high, low);
      ++low;
      if (low == columns) low = 0, ++high;
      return y;
    };
    FillWith(out, next, [&](std::uint32_t x) { return rounds(x / columns, x % columns); });
    return;
  }
  const int lowBits = FLowBits;
  auto permute = [&table, lowBits](std::uint32_t x) {
    return BinaryRounds(table.data(), lowBits, x);
  };
  auto position = static_cast<std::uint32_t>(first);
  FillWith(
      out, [&] { return permute(position++); }, permute);
}

}  // namespace pennacrow::adaptive
