#include "adaptive/Hill.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "adaptive/PlusMinusOne.h"

namespace pennacrow::adaptive {

namespace {

constexpr int kStripRows = 32;
constexpr int kLargeRadius = 7;  // the 15 × 15 average
// Rows of the residual a strip needs beyond its own: the large average's reach, the small's,
// and the high-pass filter's.
constexpr int kResidualReach = kLargeRadius + 1;
// A smooth area has no residual at all; its inverse is taken as that of half the smallest
// residual there can be (a sum of 1 over the nine samples), the highest cost of the scale.
constexpr float kSmoothInverse = 18.0f;

// The symmetric mirror of i into [0, n): -1 is 0, n is n - 1.
int Mirror(int i, int n) {
  const int period = 2 * n;
  i %= period;
  if (i < 0) i += period;
  return i < n ? i : period - 1 - i;
}

// Rows of floats for a run of the picture's rows, row y at At(y).
class TRows {
 public:
  TRows(int first, int last, int width)
      : FFirst(first),
        FWidth(width),
        FData(static_cast<std::size_t>(last - first) * static_cast<std::size_t>(width)) {}
  float* At(int y) {
    return FData.data() + static_cast<std::size_t>(y - FFirst) * static_cast<std::size_t>(FWidth);
  }

 private:
  int FFirst;
  int FWidth;
  std::vector<float> FData;
};

// in[x] for x in [-radius, width + radius), mirrored at the ends, into out[x + radius].
template <typename TIn>
void Padded(const TIn* in, std::ptrdiff_t step, int width, int radius, float* out) {
  for (int x = 0; x < width; ++x) out[x + radius] = static_cast<float>(in[x * step]);
  for (int k = 1; k <= radius; ++k) {
    out[radius - k] = static_cast<float>(in[Mirror(-k, width) * step]);
    out[radius + width - 1 + k] = static_cast<float>(in[Mirror(width - 1 + k, width) * step]);
  }
}

// out[x] = the sum of in over x - radius .. x + radius, the row mirrored at its ends.
void HorizontalSum(const float* in, float* out, int width, int radius, std::vector<float>& padded) {
  padded.resize(static_cast<std::size_t>(width + 2 * radius));
  Padded(in, 1, width, radius, padded.data());
  float sum = 0;
  for (int k = 0; k < 2 * radius; ++k) sum += padded[k];
  for (int x = 0; x < width; ++x) {
    sum += padded[x + 2 * radius];
    out[x] = sum;
    sum -= padded[x];
  }
}

// 16·log2(1 + (i + 0.5) / 256): the fraction of a level an ordinary float's top mantissa bits
// give. Costs need not be exact to the last level, and this is a good deal cheaper than log2.
const std::array<float, 256>& MantissaLevels() {
  static const std::array<float, 256> table = [] {
    std::array<float, 256> t{};
    for (int i = 0; i < 256; ++i) t[i] = kLevelsPerOctave * std::log2(1.0f + (i + 0.5f) / 256);
    return t;
  }();
  return table;
}

std::uint8_t FastLevel(float cost) {
  const auto bits = std::bit_cast<std::uint32_t>(cost);
  const int exponent = static_cast<int>((bits >> 23) & 0xFFu) - 127;
  const float level = kLevelsPerOctave * exponent + MantissaLevels()[(bits >> 15) & 0xFFu] + 192;
  return static_cast<std::uint8_t>(std::clamp(std::lround(level), 0L, long{kWetLevel - 1}));
}

// |high-pass residual| for rows [first, last): the filter is the outer product of (1, -2, 1)
// with itself, negated, so a horizontal second difference and a vertical one make it.
void Residuals(const TPlane& plane, int first, int last, TRows& residual) {
  const int width = plane.Width, height = plane.Height;
  const int secondFirst = std::max(0, first - 1), secondLast = std::min(height, last + 1);
  TRows second(secondFirst, secondLast, width);
  std::vector<float> padded(static_cast<std::size_t>(width + 2));
  for (int y = secondFirst; y < secondLast; ++y) {
    Padded(plane.First + y * plane.RowStride, plane.Step, width, 1, padded.data());
    float* out = second.At(y);
    for (int x = 0; x < width; ++x) out[x] = padded[x] - 2 * padded[x + 1] + padded[x + 2];
  }
  for (int y = first; y < last; ++y) {
    const float* above = second.At(Mirror(y - 1, height));
    const float* middle = second.At(y);
    const float* below = second.At(Mirror(y + 1, height));
    float* out = residual.At(y);
    for (int x = 0; x < width; ++x) out[x] = std::fabs(above[x] - 2 * middle[x] + below[x]);
  }
}

// Rows [first, last) of the inverse of the 3 × 3 average of the residual, summed over 15 columns.
void InverseAverages(const TPlane& plane, int first, int last, int residualFirst, int residualLast,
                     TRows& residual, TRows& out) {
  const int width = plane.Width;
  std::vector<float> padded;
  TRows across(residualFirst, residualLast, width);
  for (int y = residualFirst; y < residualLast; ++y) {
    HorizontalSum(residual.At(y), across.At(y), width, 1, padded);
  }
  std::vector<float> inverse(static_cast<std::size_t>(width));
  for (int y = first; y < last; ++y) {
    const float* above = across.At(Mirror(y - 1, plane.Height));
    const float* middle = across.At(y);
    const float* below = across.At(Mirror(y + 1, plane.Height));
    for (int x = 0; x < width; ++x) {
      const float sum = above[x] + middle[x] + below[x];
      inverse[x] = sum > 0 ? 9.0f / sum : kSmoothInverse;
    }
    HorizontalSum(inverse.data(), out.At(y), width, kLargeRadius, padded);
  }
}

void Strip(const TPlane& plane, const TLevelPlane& levels, int first, int last) {
  const int height = plane.Height, width = plane.Width;
  const int residualFirst = std::max(0, first - kResidualReach);
  const int residualLast = std::min(height, last + kResidualReach);
  const int inverseFirst = std::max(0, first - kLargeRadius);
  const int inverseLast = std::min(height, last + kLargeRadius);
  TRows residual(residualFirst, residualLast, width);
  Residuals(plane, residualFirst, residualLast, residual);
  TRows across(inverseFirst, inverseLast, width);
  InverseAverages(plane, inverseFirst, inverseLast, residualFirst, residualLast, residual, across);
  std::vector<float> column(static_cast<std::size_t>(width));
  constexpr float kArea = (2 * kLargeRadius + 1) * (2 * kLargeRadius + 1);
  for (int y = first; y < last; ++y) {
    std::fill(column.begin(), column.end(), 0.0f);
    for (int dy = -kLargeRadius; dy <= kLargeRadius; ++dy) {
      const float* row = across.At(Mirror(y + dy, height));
      for (int x = 0; x < width; ++x) column[x] += row[x];
    }
    std::uint8_t* out = levels.First + y * levels.RowStride;
    for (int x = 0; x < width; ++x) out[x * levels.Step] = FastLevel(column[x] / kArea);
  }
}

}  // namespace

void HillLevels(const TPlane& plane, const TLevelPlane& levels) {
  for (int first = 0; first < plane.Height; first += kStripRows) {
    Strip(plane, levels, first, std::min(plane.Height, first + kStripRows));
  }
}

}  // namespace pennacrow::adaptive
