#include "analysis/Spam.h"

#include <cmath>
#include <cstdlib>
#include <iterator>
#include <vector>

namespace pennacrow::analysis {

namespace {

// A difference in [-3, 3] has the code difference + 3; every other difference has kOutside.
constexpr int kCodes = 2 * kSpamRange + 1;
constexpr std::uint8_t kOutside = kCodes;
constexpr int kCodeBits = 3;  // codes 0 .. 7

const std::array<std::uint8_t, 511>& DifferenceCodes() {
  static const auto table = [] {
    std::array<std::uint8_t, 511> t{};
    for (int d = -255; d <= 255; ++d) {
      t[static_cast<std::size_t>(d + 255)] =
          std::abs(d) <= kSpamRange ? static_cast<std::uint8_t>(d + kSpamRange) : kOutside;
    }
    return t;
  }();
  return table;
}

// Counts of the runs of four samples along one direction by the codes of their three
// differences (first difference in the high bits).
using THistogram = std::array<std::int64_t, 1 << (3 * kCodeBits)>;

struct TDirection {
  int Dy, Dx;
};

// The runs along d of the samples in rect. codes is scratch space of rect's size.
THistogram CountRuns(const TChannelPlane& plane, const TSampleRect& r, TDirection d,
                     std::vector<std::uint8_t>& codes) {
  THistogram h{};
  // In the rect's own coordinates: where a difference, and where a run of three, starts.
  const int codeFirstX = std::max(0, -d.Dx), codeEndX = r.Width - std::max(0, d.Dx);
  const int runFirstX = 3 * std::max(0, -d.Dx), runEndX = r.Width - 3 * std::max(0, d.Dx);
  const int runEndY = r.Height - 3 * d.Dy;
  if (runFirstX >= runEndX || runEndY <= 0) return h;
  const auto& table = DifferenceCodes();
  const auto width = static_cast<std::size_t>(r.Width);
  for (int y = 0; y < r.Height - d.Dy; ++y) {
    const std::uint8_t* row = plane.Row(r.Top + y) + r.Left;
    const std::uint8_t* next = plane.Row(r.Top + y + d.Dy) + r.Left;
    std::uint8_t* out = codes.data() + static_cast<std::size_t>(y) * width;
    for (int x = codeFirstX; x < codeEndX; ++x) out[x] = table[row[x] - next[x + d.Dx] + 255];
  }
  const std::ptrdiff_t step = static_cast<std::ptrdiff_t>(d.Dy) * r.Width + d.Dx;
  for (int y = 0; y < runEndY; ++y) {
    const std::uint8_t* c = codes.data() + static_cast<std::size_t>(y) * width;
    for (int x = runFirstX; x < runEndX; ++x) {
      ++h[static_cast<std::size_t>((c[x] << (2 * kCodeBits)) | (c[x + step] << kCodeBits) |
                                   c[x + 2 * step])];
    }
  }
  return h;
}

std::int64_t At(const THistogram& h, int first, int second, int third) {
  return h[static_cast<std::size_t>((first << (2 * kCodeBits)) | (second << kCodeBits) | third)];
}

double Ratio(std::int64_t count, std::int64_t condition) {
  return condition == 0 ? 0.0 : static_cast<double>(count) / static_cast<double>(condition);
}

// Adds the transition probabilities of the direction the histogram was counted along, and of
// its opposite, to group (each with weight one quarter). Run s1 s2 s3 s4 read backwards has the
// differences -D3, -D2, -D1, so the opposite direction's condition (D1' = w, D2' = v) is
// (D3 = -w, D2 = -v) here.
void AddTransitions(const THistogram& h, double* group) {
  const int top = kCodes - 1;
  for (int v = 0; v < kCodes; ++v) {
    for (int w = 0; w < kCodes; ++w) {
      std::int64_t forward = 0;   // runs with D1 = w, D2 = v
      std::int64_t backward = 0;  // runs with D2 = top - v, D3 = top - w
      for (int any = 0; any <= kOutside; ++any) {
        forward += At(h, w, v, any);
        backward += At(h, any, top - v, top - w);
      }
      for (int u = 0; u < kCodes; ++u) {
        const int index = u * kCodes * kCodes + v * kCodes + w;
        group[index] += 0.25 * Ratio(At(h, w, v, u), forward);
        group[index] += 0.25 * Ratio(At(h, top - u, top - v, top - w), backward);
      }
    }
  }
}

// The shipped linear model, written by bench/detectability --train (the recipe is at the top of
// the file): a weight per feature, then the bias.
constexpr double kModel[] = {
#include "analysis/SpamModel.inc"
};
static_assert(std::size(kModel) == kSpamDimension + 1);

}  // namespace

TSpamFeatures SpamFeatures(const TChannelPlane& plane, const TSampleRect& rect) {
  TSpamFeatures features{};
  if (rect.Width <= 0 || rect.Height <= 0) return features;
  std::vector<std::uint8_t> codes(static_cast<std::size_t>(rect.Width) *
                                  static_cast<std::size_t>(rect.Height));
  // Right and down, with left and up read backwards; then the two diagonals.
  AddTransitions(CountRuns(plane, rect, {0, 1}, codes), features.data());
  AddTransitions(CountRuns(plane, rect, {1, 0}, codes), features.data());
  AddTransitions(CountRuns(plane, rect, {1, 1}, codes), features.data() + kSpamGroup);
  AddTransitions(CountRuns(plane, rect, {1, -1}, codes), features.data() + kSpamGroup);
  return features;
}

double SpamProbability(const TSpamFeatures& features) {
  double score = kModel[kSpamDimension];
  for (int i = 0; i < kSpamDimension; ++i)
    score += kModel[i] * features[static_cast<std::size_t>(i)];
  return 1.0 / (1.0 + std::exp(-score));
}

}  // namespace pennacrow::analysis
