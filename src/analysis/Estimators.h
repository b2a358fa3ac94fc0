#pragma once
// Estimators of the rate of least-significant-bit replacement in one channel of a picture:
// sample pairs (SPA), RS analysis, weighted stego (WS), and the chi-square attack over growing
// prefixes. Each takes a TChannelPlane: one channel's samples as a plane, and which of them
// belong to the region a container occupies.
//
// The counting passes are split from the solving so that a region's counts can be added to
// another's: the whole picture is the written region plus the control, counted once.

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace pennacrow::analysis {

// One channel as a plane of Width x Height samples, top row first. The written region of row y
// is the prefix [0, RegionEnd[y]) of that row (the writer fills the first bytes of each row,
// top row first); an empty RegionEnd, or zeros, means no region.
struct TChannelPlane {
  int Width = 0;
  int Height = 0;
  std::vector<std::uint8_t> Samples;
  std::vector<int> RegionEnd;

  const std::uint8_t* Row(int y) const {
    return Samples.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(Width);
  }
  int RegionEndOf(int y) const { return RegionEnd.empty() ? 0 : RegionEnd[y]; }
};

// Which part of a plane a count covers.
enum class TRegion { Written = 0, Control = 1 };
constexpr int kRegionCount = 2;

// Sample pairs: horizontally adjacent samples (u, v). X, Y, Z and W as Dumitrescu, Wu and Wang
// name them; Pairs counts every pair.
struct TSpaCounts {
  std::int64_t X = 0, Y = 0, Z = 0, W = 0, Pairs = 0;
  TSpaCounts& operator+=(const TSpaCounts& o);
};

// RS: regular and singular groups of four under the mask (0,1,1,0) and its negative, in the
// picture as it is and with every low bit flipped.
struct TRsCounts {
  std::int64_t Groups = 0;
  std::int64_t Rm = 0, Sm = 0, Rn = 0, Sn = 0;  // as it is: M and -M
  std::int64_t FlippedRm = 0, FlippedSm = 0, FlippedRn = 0, FlippedSn = 0;
  TRsCounts& operator+=(const TRsCounts& o);
};

// Weighted stego: the weighted sum of (s - s with its low bit flipped)(s - prediction), and the
// sum of the weights.
struct TWsSums {
  double Weighted = 0;
  double Weights = 0;
  std::int64_t Samples = 0;
  TWsSums& operator+=(const TWsSums& o);
};

struct TPlaneCounts {
  std::array<TSpaCounts, kRegionCount> Spa;
  std::array<TRsCounts, kRegionCount> Rs;
  std::array<TWsSums, kRegionCount> Ws;
};

// Counts all three estimators over a plane in one pass, split by region.
TPlaneCounts CountPlane(const TChannelPlane& plane);

// The estimates. Each is clamped to [0, 1]; nothing when too few samples were counted for an
// estimate worth showing.
std::optional<double> SpaRate(const TSpaCounts& counts);
std::optional<double> RsRate(const TRsCounts& counts);
std::optional<double> WsRate(const TWsSums& sums);

// The fewest pairs, groups or samples an estimate is made from; below that a single odd pixel
// moves the estimate by more than the verdict's thresholds.
constexpr std::int64_t kMinimumSamples = 2000;

// The chi-square attack of Westfeld and Pfitzmann over prefixes of a sample sequence.
struct TChiSquareResult {
  double WholeP = 0;  // the probability of embedding over the whole sequence
  // Where a sequential message seems to end: the longest prefix (in samples, a multiple of a
  // hundredth of the sequence) such that it and every shorter one has a probability of at
  // least one half; 0 when the first hundredth already has less.
  std::int64_t End = 0;
};
TChiSquareResult ChiSquare(const std::vector<std::uint8_t>& samples);

// The upper tail of the chi-square distribution with df degrees of freedom (Wilson-Hilferty).
double ChiSquareUpperTail(double chi2, int df);

}  // namespace pennacrow::analysis
