#include "adaptive/Hill.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <vector>

#include "adaptive/PlusMinusOne.h"

namespace pennacrow::adaptive {

namespace {

constexpr int kLargeRadius = 7;  // the 15 × 15 average
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

// The last `count` rows (a power of two) of one stage of the filters, row y at Row(y).
class TRing {
 public:
  TRing(int count, int width)
      : FCount(count),
        FWidth(width),
        FData(static_cast<std::size_t>(count) * static_cast<std::size_t>(width)) {}
  float* Row(int y) {
    return FData.data() +
           static_cast<std::size_t>(y & (FCount - 1)) * static_cast<std::size_t>(FWidth);
  }

 private:
  int FCount;
  int FWidth;
  std::vector<float> FData;
};

// in[x · step] for x in [-radius, width + radius), mirrored at the ends, into out[x + radius].
template <typename TIn>
void Padded(const TIn* in, std::ptrdiff_t step, int width, int radius, float* out) {
  for (int x = 0; x < width; ++x) out[x + radius] = static_cast<float>(in[x * step]);
  for (int k = 1; k <= radius; ++k) {
    out[radius - k] = static_cast<float>(in[Mirror(-k, width) * step]);
    out[radius + width - 1 + k] = static_cast<float>(in[Mirror(width - 1 + k, width) * step]);
  }
}

// The working rows of one plane; every loop over a row is a plain loop the compiler vectorises.
class THill {
 public:
  THill(const TPlane& plane, const TLevelPlane& levels)
      : FPlane(plane),
        FLevels(levels),
        FWidth(plane.Width),
        FSecond(4, FWidth),
        FAcross3(4, FWidth),
        FAcross15(16, FWidth),
        FPadded(Size(2 * kLargeRadius)),
        FPairs(Size(2 * kLargeRadius)),
        FFours(Size(2 * kLargeRadius)),
        FEights(Size(2 * kLargeRadius)),
        FRow(Size(0)) {}

  // Row r of the picture enters; the stages behind it follow as far as their filters reach:
  // the 3 × 3 stage one row behind, the inverse one more, the 15 × 15 output seven more. The
  // rows before `first` that its output needs are worked out first.
  void Run(int first, int last) {
    const int height = FPlane.Height, lag = 2 + kLargeRadius;
    for (int r = std::max(0, first - lag - 1); r < last + lag; ++r) {
      if (r < height) SecondDifference(r);
      if (r >= 1 && r - 1 < height) Residual(r - 1);
      if (r >= 2 && r - 2 < height) Inverse(r - 2);
      if (r - lag >= first && r - lag < last) Output(r - lag);
    }
  }

 private:
  std::vector<float> Size(int extra) const { return std::vector<float>(FWidth + extra); }
  int M(int y) const { return Mirror(y, FPlane.Height); }

  // Horizontal (1, -2, 1) of picture row y.
  void SecondDifference(int y) {
    Padded(FPlane.First + y * FPlane.RowStride, FPlane.Step, FWidth, 1, FPadded.data());
    float* out = FSecond.Row(y);
    for (int x = 0; x < FWidth; ++x) out[x] = FPadded[x] - 2 * FPadded[x + 1] + FPadded[x + 2];
  }
  // |KB residual| of row y (the vertical (1, -2, 1) of the above), summed over 3 columns.
  void Residual(int y) {
    const float *above = FSecond.Row(M(y - 1)), *middle = FSecond.Row(y),
                *below = FSecond.Row(M(y + 1));
    for (int x = 0; x < FWidth; ++x) FRow[x] = std::fabs(above[x] - 2 * middle[x] + below[x]);
    Padded(FRow.data(), 1, FWidth, 1, FPadded.data());
    float* out = FAcross3.Row(y);
    for (int x = 0; x < FWidth; ++x) out[x] = FPadded[x] + FPadded[x + 1] + FPadded[x + 2];
  }
  // The inverse of the 3 × 3 average at row y, summed over 15 columns by doubling.
  void Inverse(int y) {
    const float *above = FAcross3.Row(M(y - 1)), *middle = FAcross3.Row(y),
                *below = FAcross3.Row(M(y + 1));
    for (int x = 0; x < FWidth; ++x) {
      const float sum = above[x] + middle[x] + below[x];
      FRow[x] = sum > 0 ? 9.0f / sum : kSmoothInverse;
    }
    Padded(FRow.data(), 1, FWidth, kLargeRadius, FPadded.data());
    const int padded = FWidth + 2 * kLargeRadius;
    for (int i = 0; i + 1 < padded; ++i) FPairs[i] = FPadded[i] + FPadded[i + 1];
    for (int i = 0; i + 3 < padded; ++i) FFours[i] = FPairs[i] + FPairs[i + 2];
    for (int i = 0; i + 7 < padded; ++i) FEights[i] = FFours[i] + FFours[i + 4];
    float* out = FAcross15.Row(y);
    for (int x = 0; x < FWidth; ++x) {
      out[x] = FEights[x] + FFours[x + 8] + FPairs[x + 12] + FPadded[x + 14];
    }
  }
  // The 15 × 15 average at row y, as levels.
  void Output(int y) {
    std::fill(FRow.begin(), FRow.end(), 0.0f);
    for (int d = -kLargeRadius; d <= kLargeRadius; ++d) {
      const float* row = FAcross15.Row(M(y + d));
      for (int x = 0; x < FWidth; ++x) FRow[x] += row[x];
    }
    std::uint8_t* out = FLevels.First + y * FLevels.RowStride;
    for (int x = 0; x < FWidth; ++x) out[x * FLevels.Step] = Level(FRow[x]);
  }

  // The level of a sum of 225 inverses: 16·log2(sum / 225) + 192, with log2(1 + m) of the
  // mantissa from a cubic that is within 0.03 levels of it; costs need not be exact.
  static std::uint8_t Level(float sum) {
    const auto bits = std::bit_cast<std::uint32_t>(sum * (1.0f / 225));
    const float exponent = static_cast<float>(static_cast<int>(bits >> 23) - 127);
    const float m = std::bit_cast<float>((bits & 0x7FFFFFu) | 0x3F800000u) - 1.0f;
    const float log2 = exponent + m * (1.4234932f + m * (-0.58776529f + m * 0.16558643f));
    const float level = kLevelsPerOctave * log2 + 192 + 0.5f;
    return static_cast<std::uint8_t>(std::clamp(level, 0.0f, kWetLevel - 1.0f));
  }

  const TPlane& FPlane;
  const TLevelPlane& FLevels;
  int FWidth;
  TRing FSecond, FAcross3, FAcross15;
  std::vector<float> FPadded, FPairs, FFours, FEights, FRow;
};

}  // namespace

void HillLevels(const TPlane& plane, const TLevelPlane& levels, int firstRow, int lastRow) {
  if (lastRow < 0) lastRow = plane.Height;
  if (plane.Width <= 0 || firstRow >= lastRow) return;
  THill(plane, levels).Run(firstRow, lastRow);
}

}  // namespace pennacrow::adaptive
