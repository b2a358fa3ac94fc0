#include "adaptive/PlusMinusOne.h"

#include <algorithm>
#include <cmath>

#include "base/LargeBuffer.h"

namespace pennacrow::adaptive {

namespace {

constexpr int kLevelZero = 192;  // the level that costs 1

double BinaryEntropy(double p) {
  if (p <= 0 || p >= 1) return 0;
  return -(p * std::log2(p) + (1 - p) * std::log2(1 - p));
}

struct TEntropy {
  double Total = 0;  // bits of the ternary change
  double P2 = 0;     // bits of the decision whether P2 flips
};

// exp(-λ·ρ) of every level, 0 for the wet one.
std::array<double, 256> Weights(double lambda) {
  std::array<double, 256> w{};
  for (int level = 0; level < kWetLevel; ++level) {
    w[level] = std::exp(-lambda * LevelCost(static_cast<std::uint8_t>(level)));
  }
  return w;
}

TEntropy EntropyAt(const TCostHistogram& histogram, double lambda) {
  const std::array<double, 256> w = Weights(lambda);
  TEntropy sum;
  for (int flip = 0; flip < 256; ++flip) {
    for (int keep = 0; keep < 256; ++keep) {
      const auto count = static_cast<double>(
          histogram.Count(static_cast<std::uint8_t>(flip), static_cast<std::uint8_t>(keep)));
      if (count == 0) continue;
      const double z = 1 + w[flip] + w[keep];
      // -Σ π ln π = ln Z + λ·E[ρ] for π ∝ exp(-λρ).
      double expected = 0;
      if (flip != kWetLevel) expected += w[flip] * LevelCost(static_cast<std::uint8_t>(flip));
      if (keep != kWetLevel) expected += w[keep] * LevelCost(static_cast<std::uint8_t>(keep));
      sum.Total += count * (std::log(z) + lambda * expected / z) / std::log(2.0);
      sum.P2 += count * BinaryEntropy(w[flip] / z);
    }
  }
  return sum;
}

// The layers' costs at λ. The first layer's binary cost ln((1 - q) / q), q the probability that
// P2 flips, makes the binary code aim at that q; the second's is what the change it may still
// make costs, λ·ρ.
void FillLayerCosts(TTernaryPlan& plan) {
  for (int level = 0; level < 256; ++level) {
    if (level == kWetLevel) {
      plan.FlipP2[level] = plan.KeepP2[level] = kWet;
      plan.SoftKeep[level] = 0;
      continue;
    }
    const double cost = plan.Lambda * LevelCost(static_cast<std::uint8_t>(level));
    plan.FlipP2[level] = plan.KeepP2[level] = static_cast<float>(cost);
    plan.SoftKeep[level] = static_cast<float>(std::log1p(std::exp(-cost)));
  }
}

}  // namespace

float LevelCost(std::uint8_t level) {
  return std::exp2(static_cast<float>(level - kLevelZero) / kLevelsPerOctave);
}

std::uint8_t CostLevel(float cost) {
  if (!(cost > 0)) return 0;
  const float level = std::round(std::log2(cost) * kLevelsPerOctave) + kLevelZero;
  return static_cast<std::uint8_t>(std::clamp(level, 0.0f, float(kWetLevel - 1)));
}

void TCostHistogram::Scale(std::uint64_t numerator, std::uint64_t denominator) {
  for (std::uint64_t& count : FCounts) {
    count = static_cast<std::uint64_t>(static_cast<long double>(count) * numerator / denominator);
  }
}

std::uint64_t TCostHistogram::Usable() const {
  std::uint64_t usable = 0;
  for (std::size_t i = 0; i < FCounts.size(); ++i) {
    if (i != kWetLevel * 257u) usable += FCounts[i];
  }
  return usable;
}

double TernaryEntropyLimit(const TCostHistogram& histogram) {
  return EntropyAt(histogram, 0).Total;
}

TTernaryPlan PlanTernary(const TCostHistogram& histogram, std::size_t messageBits) {
  TTernaryPlan plan;
  if (messageBits > 0) {
    const auto target = static_cast<double>(messageBits);
    if (target >= TernaryEntropyLimit(histogram)) throw EStcInfeasible();
    // The entropy falls as λ grows: find a λ past the target, then halve the interval.
    double low = 0, high = 1;
    while (EntropyAt(histogram, high).Total > target) {
      low = high;
      high *= 2;
      if (high > 1e30) throw EStcInfeasible();
    }
    for (int i = 0; i < 60; ++i) {
      const double middle = 0.5 * (low + high);
      (EntropyAt(histogram, middle).Total > target ? low : high) = middle;
    }
    plan.Lambda = 0.5 * (low + high);
    const double p2 = std::round(EntropyAt(histogram, plan.Lambda).P2);
    plan.P2Bits = std::min(messageBits, static_cast<std::size_t>(std::max(0.0, p2)));
    plan.P1Bits = messageBits - plan.P2Bits;
  }
  FillLayerCosts(plan);
  return plan;
}

void TTernaryWriter::Embed(const TTernaryCover& cover, const TTernaryPlan& plan,
                           std::span<const std::uint8_t> p2Message,
                           std::span<const std::uint8_t> p1Message,
                           std::span<std::int8_t> changes) {
  const std::size_t n = cover.Values.size();
  ResizeLarge(FBits, n);
  ResizeLarge(FStego, n);
  ResizeLarge(FCost, n);
  if (plan.DryLimit == kWet) {
    EmbedLayers(cover, plan, p2Message, p1Message, changes);
    return;
  }
  try {
    EmbedLayers(cover, plan, p2Message, p1Message, changes);
  } catch (const EStcInfeasible&) {
    TTernaryPlan every = plan;
    every.DryLimit = kWet;
    EmbedLayers(cover, every, p2Message, p1Message, changes);
  }
}

void TTernaryWriter::EmbedLayers(const TTernaryCover& cover, const TTernaryPlan& plan,
                                 std::span<const std::uint8_t> p2Message,
                                 std::span<const std::uint8_t> p1Message,
                                 std::span<std::int8_t> changes) {
  const std::size_t n = cover.Values.size();
  // Each layer's cost per level with the dry limit applied, so that an element costs two
  // lookups. The change that flips P2 is +1 from an odd value and -1 from an even one, the one
  // that keeps it the other; their levels are picked without a branch, which would go either
  // way at random.
  std::array<float, 256> flipCost{}, keepCost{};
  for (std::size_t level = 0; level < 256; ++level) {
    flipCost[level] = plan.FlipP2[level] > plan.DryLimit ? kWet : plan.FlipP2[level];
    keepCost[level] = plan.KeepP2[level] > plan.DryLimit ? kWet : plan.KeepP2[level];
  }
  const std::int16_t* const values = cover.Values.data();
  const std::uint8_t* const plus = cover.PlusLevel.data();
  const std::uint8_t* const minus = cover.MinusLevel.data();
  std::uint8_t* const bits = FBits.data();
  float* const cost = FCost.data();
  std::int8_t* const change = changes.data();
  for (std::size_t i = 0; i < n; ++i) {
    const bool odd = values[i] & 1;
    bits[i] = static_cast<std::uint8_t>((values[i] >> 1) & 1);
    cost[i] = flipCost[odd ? plus[i] : minus[i]] + plan.SoftKeep[odd ? minus[i] : plus[i]];
  }
  FStc.Embed(FBits, FCost, p2Message, FStego);
  const std::uint8_t* const stego = FStego.data();
  for (std::size_t i = 0; i < n; ++i) {
    const bool odd = values[i] & 1;
    const bool flipped = stego[i] != bits[i];
    change[i] = static_cast<std::int8_t>(flipped ? (odd ? +1 : -1) : 0);
    // Second layer: P1 of the elements left alone, each free to take the change that keeps P2;
    // an element the first layer changed keeps its new P1.
    bits[i] = static_cast<std::uint8_t>(odd ^ flipped);
    cost[i] = flipped ? kWet : keepCost[odd ? minus[i] : plus[i]];
  }
  FStc.Embed(FBits, FCost, p1Message, FStego);
  for (std::size_t i = 0; i < n; ++i) {
    if (stego[i] != bits[i]) change[i] = static_cast<std::int8_t>(values[i] & 1 ? -1 : +1);
  }
}

TTernaryBits ExtractTernary(std::span<const std::int16_t> values, std::size_t p2Bits,
                            std::size_t p1Bits, int height) {
  std::vector<std::uint8_t> layer(values.size());
  for (std::size_t i = 0; i < values.size(); ++i) {
    layer[i] = static_cast<std::uint8_t>((values[i] >> 1) & 1);
  }
  TTernaryBits bits;
  bits.P2 = StcExtract(layer, p2Bits, height);
  for (std::size_t i = 0; i < values.size(); ++i) layer[i] = values[i] & 1;
  bits.P1 = StcExtract(layer, p1Bits, height);
  return bits;
}

}  // namespace pennacrow::adaptive
