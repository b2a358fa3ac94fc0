#include "adaptive/KeyedOrder.h"

#include <sodium.h>

#include <array>

#include "base/Error.h"

namespace pennacrow::adaptive {

namespace {

constexpr int kRounds = 8;

}  // namespace

TKeyedOrder::TKeyedOrder(std::span<const std::uint8_t, kOrderKeySize> key, std::uint64_t size)
    : FSize(size) {
  if (size == 0 || size > (std::uint64_t{1} << 32) || sodium_init() < 0) {
    throw EPennacrowError("keyed order of an unusable size");
  }
  int bits = 2;
  while ((std::uint64_t{1} << bits) < size) ++bits;
  FHighBits = (bits + 1) / 2;
  FLowBits = bits / 2;
  std::vector<unsigned char> stream;
  for (int round = 0; round < kRounds; ++round) {
    const std::size_t entries = std::size_t{1} << (round % 2 == 0 ? FLowBits : FHighBits);
    std::array<unsigned char, crypto_stream_chacha20_ietf_NONCEBYTES> nonce{};
    nonce[0] = static_cast<unsigned char>(round);
    stream.resize(entries * 4);
    crypto_stream_chacha20_ietf(stream.data(), stream.size(), nonce.data(), key.data());
    FTableStart.push_back(FTables.size());
    for (std::size_t i = 0; i < entries; ++i) {
      FTables.push_back(std::uint32_t{stream[4 * i]} | std::uint32_t{stream[4 * i + 1]} << 8 |
                        std::uint32_t{stream[4 * i + 2]} << 16 |
                        std::uint32_t{stream[4 * i + 3]} << 24);
    }
  }
  sodium_memzero(stream.data(), stream.size());
}

std::uint32_t TKeyedOrder::operator[](std::uint64_t position) const {
  const std::uint32_t lowMask = (1u << FLowBits) - 1, highMask = (1u << FHighBits) - 1;
  auto x = static_cast<std::uint32_t>(position);
  // Walking the cycle of a permutation of [0, 2^k) from a value below N reaches one again.
  do {
    std::uint32_t high = x >> FLowBits, low = x & lowMask;
    for (int round = 0; round < kRounds; round += 2) {
      high ^= FTables[FTableStart[round] + low] & highMask;
      low ^= FTables[FTableStart[round + 1] + high] & lowMask;
    }
    x = (high << FLowBits) | low;
  } while (x >= FSize);
  return x;
}

}  // namespace pennacrow::adaptive
