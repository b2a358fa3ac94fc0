#pragma once
// The keyed order of a cover's elements: a permutation σ of [0, N) that nobody without the key can
// tell from a random one. Position p of the order is element σ(p). The writer and the reader walk
// the positions in order; where the message goes is decided by the key alone.
//
// σ is a Feistel network on k-bit numbers, 2^k the least power of two ≥ max(N, 4), cut down to
// [0, N) by cycle walking (σ(p) = F(p), F(F(p)), ... until the value is below N). A number x
// splits into its high a = ceil(k/2) bits L and low b = floor(k/2) bits R; eight rounds follow,
// round r = 0..7 XORing into L the table entry T_r[R] (r even, masked to a bits) or into R the
// entry T_r[L] (r odd, masked to b bits). Table T_r holds 2^b (r even) or 2^a (r odd) entries,
// entry i being the little-endian 32-bit word at byte 4i of the ChaCha20 (IETF) key stream with
// the order's 32-byte key and the 12-byte nonce r, 0, ..., 0.

#include <cstdint>
#include <span>
#include <vector>

namespace pennacrow::adaptive {

inline constexpr std::size_t kOrderKeySize = 32;

// What the Feistel network above runs on. Rectangle: numbers below A·B, A the least number whose
// square is ≥ N and B = ceil(N / A), split into L = x div B and R = x mod B; round r adds T_r[R]
// to L modulo A (r even) or T_r[L] to R modulo B (r odd), T_r holding B (r even) or A (r odd)
// entries, each the key stream's word as above (nonce r, 1, 0, ..., 0) modulo A or B. A·B
// exceeds N by less than A, where 2^k may be nearly twice N: the walk then seldom takes a second
// step, which halves the order's work on covers just past a power of two.
enum class TOrderDomain { PowerOfTwo, Rectangle };

class TKeyedOrder {
 public:
  // size: N, at most 2^32.
  TKeyedOrder(std::span<const std::uint8_t, kOrderKeySize> key, std::uint64_t size,
              TOrderDomain domain = TOrderDomain::PowerOfTwo);

  std::uint64_t Size() const { return FSize; }
  // σ(position), for position < N.
  std::uint32_t operator[](std::uint64_t position) const;
  // σ(first), σ(first + 1), ... into out: the same values, many at a time, which lets the
  // processor look up several tables at once.
  void Fill(std::uint64_t first, std::span<std::uint32_t> out) const;

 private:
  std::uint32_t Permute(std::uint32_t x) const;

  std::uint64_t FSize;
  bool FRectangle = false;
  int FHighBits = 0;
  int FLowBits = 0;
  std::uint32_t FRows = 0;     // A: the values of L
  std::uint32_t FColumns = 0;  // B: the values of R
  // The eight tables, one after the other, masked (to 16 bits at most): half the words keep
  // more of them in the processor's caches.
  std::vector<std::uint16_t> FTables;
  std::vector<const std::uint16_t*> FTable;
};

}  // namespace pennacrow::adaptive
