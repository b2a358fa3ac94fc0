#include "adaptive/Uerd.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "adaptive/PlusMinusOne.h"

namespace pennacrow::adaptive {

namespace {

// Costs are placed on a grid of 1/16 octave: the histogram that finds their middle spans 2^-64
// to 2^64, far beyond any quotient of steps and energies.
constexpr int kBucketsPerOctave = kLevelsPerOctave;
constexpr int kHalfRange = 64 * kBucketsPerOctave;
// Where the middle cost goes: eight octaves of the scale above it and eight below.
constexpr int kMiddleLevel = 128;

std::array<float, 64> Numerators(const TJpegComponent& component) {
  std::array<float, 64> numerator{};
  for (int k = 1; k < 64; ++k) numerator[k] = component.Quant[k];
  numerator[0] = 0.5f * (component.Quant[1] + component.Quant[8]);
  return numerator;
}

bool Changeable(std::int16_t value) {
  return std::abs(value) < kMaxChangedCoefficient;
}

}  // namespace

std::vector<float> UerdBlockWeights(const TJpegCoefficients& jpeg, int c) {
  const TJpegComponent& component = jpeg.Component(c);
  const std::uint32_t width = component.WidthInBlocks, height = component.HeightInBlocks;
  std::vector<float> energy(std::size_t{width} * height);
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      const std::int16_t* block = jpeg.Block(c, y, x);
      // 63 coefficients of up to 2^15 times steps of up to 2^16: beyond 32 bits in a hostile file.
      std::uint64_t sum = 0;
      for (int k = 1; k < 64; ++k) sum += std::uint64_t(std::abs(block[k])) * component.Quant[k];
      energy[std::size_t{y} * width + x] = static_cast<float>(sum);
    }
  }
  std::vector<float> weight(energy.size());
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      float around = 0;
      for (std::uint32_t ny = y > 0 ? y - 1 : 0; ny <= std::min(y + 1, height - 1); ++ny) {
        for (std::uint32_t nx = x > 0 ? x - 1 : 0; nx <= std::min(x + 1, width - 1); ++nx) {
          if (nx != x || ny != y) around += energy[std::size_t{ny} * width + nx];
        }
      }
      const std::size_t b = std::size_t{y} * width + x;
      weight[b] = energy[b] + 0.25f * around;
    }
  }
  return weight;
}

void UerdLevels(const TJpegCoefficients& jpeg, std::span<std::uint8_t> levels) {
  // log2 of every component's numerators and block weights, in units of a bucket.
  struct TPlane {
    std::array<int, 64> Numerator;
    std::vector<int> Weight;  // INT32_MIN for a flat neighbourhood
  };
  std::vector<TPlane> planes;
  std::vector<std::uint64_t> histogram(2 * kHalfRange + 1, 0);
  auto bucket = [](double value) {
    return static_cast<int>(std::lround(kBucketsPerOctave * std::log2(value)));
  };
  for (int c = 0; c < jpeg.ComponentCount(); ++c) {
    TPlane plane;
    const std::array<float, 64> numerator = Numerators(jpeg.Component(c));
    for (int k = 0; k < 64; ++k) plane.Numerator[k] = bucket(std::max(numerator[k], 1.0f));
    for (const float w : UerdBlockWeights(jpeg, c)) {
      plane.Weight.push_back(w > 0 ? bucket(w) : INT32_MIN);
    }
    for (const int w : plane.Weight) {
      if (w == INT32_MIN) continue;
      for (int k = 0; k < 64; ++k) {
        ++histogram[std::clamp(plane.Numerator[k] - w, -kHalfRange, kHalfRange) + kHalfRange];
      }
    }
    planes.push_back(std::move(plane));
  }
  std::uint64_t total = 0;
  for (const std::uint64_t n : histogram) total += n;
  int middle = 0;
  for (std::uint64_t seen = 0; middle < 2 * kHalfRange && 2 * (seen + histogram[middle]) < total;
       ++middle) {
    seen += histogram[middle];
  }
  const int shift = kMiddleLevel - (middle - kHalfRange);

  std::size_t element = 0;
  for (int c = 0; c < jpeg.ComponentCount(); ++c) {
    const TJpegComponent& component = jpeg.Component(c);
    const TPlane& plane = planes[static_cast<std::size_t>(c)];
    for (std::uint32_t y = 0; y < component.HeightInBlocks; ++y) {
      for (std::uint32_t x = 0; x < component.WidthInBlocks; ++x) {
        const std::int16_t* block = jpeg.Block(c, y, x);
        const int w = plane.Weight[std::size_t{y} * component.WidthInBlocks + x];
        for (int k = 0; k < 64; ++k, ++element) {
          if (w == INT32_MIN || !Changeable(block[k])) {
            levels[element] = kWetLevel;
            continue;
          }
          levels[element] =
              static_cast<std::uint8_t>(std::clamp(plane.Numerator[k] - w + shift, 0, 254));
        }
      }
    }
  }
}

}  // namespace pennacrow::adaptive
