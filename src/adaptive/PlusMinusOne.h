#pragma once
// Embedding by ±1 changes with two binary syndrome-trellis layers. A value y within 1 of its
// cover value x is told apart from the other two by its two lowest bits: P1(y) = y mod 2 and
// P2(y) = floor(y / 2) mod 2. The first layer carries its bits in P2: of x - 1 and x + 1 exactly
// one has the other P2, so the layer decides which elements take that change. The second layer
// carries the rest in P1 of the elements the first left alone, each of which can still take the
// one change that keeps its P2. Splitting the message between the layers as the entropy of the
// optimal change probabilities splits (Filler, Judas and Fridrich, 2011) makes the pair as good
// as one ternary code.
//
// The optimal probabilities for a payload of m bits follow the Gibbs distribution
// π(c) ∝ exp(-λ·ρ(c)) over the changes c ∈ {-1, 0, +1}, ρ(0) = 0, with λ set so that the
// entropies sum to m. Values are 16-bit integers (pixels or JPEG coefficients).
//
// Costs come as levels on one logarithmic scale (ρ doubles every 16 levels), so that a picture's
// costs take a byte per change and the whole distribution is a histogram of levels. Only the
// ratios of costs matter (λ absorbs any common factor), so a cost function need only fit its
// range into the scale's 16 octaves.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "adaptive/SyndromeTrellis.h"

namespace pennacrow::adaptive {

// The level of a change that is not allowed.
inline constexpr std::uint8_t kWetLevel = 255;
inline constexpr int kLevelsPerOctave = 16;
// The cost of a level: 2^((level - 192) / 16), from 2^-12 to almost 2^4.
float LevelCost(std::uint8_t level);
// The nearest level of a cost, the ends of the scale taking every cost beyond them.
std::uint8_t CostLevel(float cost);

// How many elements have each pair of levels (the change that flips P2, the one that keeps it).
class TCostHistogram {
 public:
  TCostHistogram() : FCounts(256 * 256, 0) {}
  void Add(std::uint8_t flipLevel, std::uint8_t keepLevel, std::uint64_t count = 1) {
    FCounts[flipLevel * 256u + keepLevel] += count;
  }
  // Every count times numerator / denominator: the share of a cover a part of it holds.
  void Scale(std::uint64_t numerator, std::uint64_t denominator);
  std::uint64_t Count(std::uint8_t flipLevel, std::uint8_t keepLevel) const {
    return FCounts[flipLevel * 256u + keepLevel];
  }
  // Elements with at least one allowed change.
  std::uint64_t Usable() const;

 private:
  std::vector<std::uint64_t> FCounts;
};

// How a message is split between the layers, and each layer's cost per level at the λ that
// carries it.
struct TTernaryPlan {
  double Lambda = 0;
  std::size_t P2Bits = 0;  // carried by the first layer
  std::size_t P1Bits = 0;  // carried by the second
  // First layer: an element's cost is FlipP2[its flip level] + SoftKeep[its keep level].
  std::array<float, 256> FlipP2{};
  std::array<float, 256> SoftKeep{};
  // Second layer: the cost of the change that keeps P2.
  std::array<float, 256> KeepP2{};
  // A change whose layer cost passes this is left out of its code, as a wet one: at λ it would
  // be made with a chance near e^-limit, yet the code spends as much time on it as on any other.
  // Should a layer then not fit, the writer tries again with every change allowed.
  float DryLimit = kWet;
};

// The entropy in bits of the changes when every element may change freely (λ = 0): no payload
// reaches it, and the coder needs room below it.
double TernaryEntropyLimit(const TCostHistogram& histogram);

// λ and the layer split for messageBits bits over elements distributed as the histogram.
// Raises EStcInfeasible when they cannot carry so many bits at all.
TTernaryPlan PlanTernary(const TCostHistogram& histogram, std::size_t messageBits);

// The cover elements of one run of the coder: values and the levels of their +1 and -1.
struct TTernaryCover {
  std::span<const std::int16_t> Values;
  std::span<const std::uint8_t> PlusLevel;
  std::span<const std::uint8_t> MinusLevel;
};

// Embeds p2Message in the P2 bits and p1Message in the P1 bits of the values at the plan's
// costs, one syndrome-trellis code for both layers. Its working memory stays with it from one
// run to the next.
class TTernaryWriter {
 public:
  explicit TTernaryWriter(int height, TStcKernel kernel = TStcKernel::Auto)
      : FStc(height, kernel) {}
  // Writes the change of every element to changes: -1, 0 or +1. Raises EStcInfeasible when a
  // layer cannot be carried.
  void Embed(const TTernaryCover& cover, const TTernaryPlan& plan,
             std::span<const std::uint8_t> p2Message, std::span<const std::uint8_t> p1Message,
             std::span<std::int8_t> changes);

 private:
  void EmbedLayers(const TTernaryCover& cover, const TTernaryPlan& plan,
                   std::span<const std::uint8_t> p2Message, std::span<const std::uint8_t> p1Message,
                   std::span<std::int8_t> changes);

  TStcWriter FStc;
  std::vector<std::uint8_t> FBits;
  std::vector<std::uint8_t> FStego;
  std::vector<float> FCost;
};

// What a reader gets back: the P2 layer's bits, then the P1 layer's.
struct TTernaryBits {
  std::vector<std::uint8_t> P2;
  std::vector<std::uint8_t> P1;
};
TTernaryBits ExtractTernary(std::span<const std::int16_t> values, std::size_t p2Bits,
                            std::size_t p1Bits, int height);

}  // namespace pennacrow::adaptive
