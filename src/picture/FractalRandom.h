#pragma once
// The random numbers of the chaos-game and IFS painters: a 32-bit linear congruential generator
// whose whole state is GeneratorState. A paint seeds it from the time of day, so two paints
// started within the same millisecond paint the same picture.

#include <cstdint>

namespace pennacrow {

class TFractalRandom {
 public:
  TFractalRandom() = default;
  explicit TFractalRandom(std::uint32_t seed) : GeneratorState(seed) {}

  // A number in 0 .. n - 1: the state steps first, then the upper 32 bits of state x n.
  std::uint32_t Random(std::uint32_t n) {
    GeneratorState = GeneratorState * 134775813u + 1u;
    return static_cast<std::uint32_t>((std::uint64_t{GeneratorState} * n) >> 32);
  }

  std::uint32_t GeneratorState = 0;
};

// Milliseconds since midnight UTC: ((hour x 60 + minute) x 60 + second) x 1000 + millisecond.
std::uint32_t TimeOfDaySeed();

}  // namespace pennacrow
