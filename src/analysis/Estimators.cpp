#include "analysis/Estimators.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace pennacrow::analysis {

TSpaCounts& TSpaCounts::operator+=(const TSpaCounts& o) {
  X += o.X;
  Y += o.Y;
  Z += o.Z;
  W += o.W;
  Pairs += o.Pairs;
  return *this;
}

TRsCounts& TRsCounts::operator+=(const TRsCounts& o) {
  Groups += o.Groups;
  Rm += o.Rm;
  Sm += o.Sm;
  Rn += o.Rn;
  Sn += o.Sn;
  FlippedRm += o.FlippedRm;
  FlippedSm += o.FlippedSm;
  FlippedRn += o.FlippedRn;
  FlippedSn += o.FlippedSn;
  return *this;
}

TWsSums& TWsSums::operator+=(const TWsSums& o) {
  Weighted += o.Weighted;
  Weights += o.Weights;
  Samples += o.Samples;
  return *this;
}

namespace {

double Clamp01(double value) {
  return std::isfinite(value) ? std::clamp(value, 0.0, 1.0) : 1.0;
}

// X: flipping v's low bit moves it away from u; Y: towards (or onto) u; Z: u = v; W, inside Y:
// u and v differ in the low bit only.
enum TPairClass : std::uint8_t { kPairX, kPairY, kPairW, kPairZ };

TPairClass PairClass(int u, int v) {
  if (u == v) return kPairZ;
  if ((v % 2 == 0) == (u < v)) return kPairX;
  return u / 2 == v / 2 ? kPairW : kPairY;
}

// Pairs are the most numerous thing counted; one table look-up per pair keeps the pass cheap.
const std::array<std::uint8_t, 65536>& PairClasses() {
  static const auto table = [] {
    std::array<std::uint8_t, 65536> t{};
    for (int u = 0; u < 256; ++u) {
      for (int v = 0; v < 256; ++v) t[static_cast<std::size_t>(u * 256 + v)] = PairClass(u, v);
    }
    return t;
  }();
  return table;
}

// Counts the pairs of row[from .. to) by class.
void CountPairs(const std::uint8_t* row, int from, int to, TSpaCounts& c) {
  if (to - from < 2) return;
  const auto& classes = PairClasses();
  std::array<std::int64_t, 4> n{};
  for (int x = from; x + 1 < to; ++x)
    ++n[classes[static_cast<std::size_t>(row[x] * 256 + row[x + 1])]];
  c.X += n[kPairX];
  c.Y += n[kPairY] + n[kPairW];
  c.W += n[kPairW];
  c.Z += n[kPairZ];
  c.Pairs += to - from - 1;
}

int Smoothness(int a, int b, int c, int d) {
  return std::abs(b - a) + std::abs(c - b) + std::abs(d - c);
}

// F1 swaps 2k and 2k+1; F-1 swaps 2k-1 and 2k.
int FlipUp(int x) {
  return x ^ 1;
}
int FlipDown(int x) {
  return ((x + 1) ^ 1) - 1;
}

// Regular when the flipped middle makes the group rougher, singular when smoother.
void Classify(int before, int after, std::int64_t& regular, std::int64_t& singular) {
  regular += after > before;
  singular += after < before;
}

void CountGroup(int a, int b, int c, int d, TRsCounts& r) {
  ++r.Groups;
  const int f = Smoothness(a, b, c, d);
  Classify(f, Smoothness(a, FlipUp(b), FlipUp(c), d), r.Rm, r.Sm);
  Classify(f, Smoothness(a, FlipDown(b), FlipDown(c), d), r.Rn, r.Sn);
  const int a1 = FlipUp(a), b1 = FlipUp(b), c1 = FlipUp(c), d1 = FlipUp(d);
  const int f1 = Smoothness(a1, b1, c1, d1);
  Classify(f1, Smoothness(a1, FlipUp(b1), FlipUp(c1), d1), r.FlippedRm, r.FlippedSm);
  Classify(f1, Smoothness(a1, FlipDown(b1), FlipDown(c1), d1), r.FlippedRn, r.FlippedSn);
}

// The four-neighbour prediction of Ker and Boehme, weighted by 1 / (5 + the neighbours' variance).
void CountWeighted(const TChannelPlane& plane, int x, int y, TWsSums& w) {
  const std::uint8_t* row = plane.Row(y);
  const int s = row[x];
  const int n1 = row[x - 1], n2 = row[x + 1], n3 = plane.Row(y - 1)[x], n4 = plane.Row(y + 1)[x];
  const int sum = n1 + n2 + n3 + n4;
  const int squares = n1 * n1 + n2 * n2 + n3 * n3 + n4 * n4;
  // variance = (4 * squares - sum^2) / 16, so 1 / (5 + variance) = 16 / (80 + 4 squares - sum^2).
  const double weight = 16.0 / (80.0 + 4.0 * squares - static_cast<double>(sum) * sum);
  const double residual = s - sum / 4.0;
  w.Weighted += weight * ((s & 1) != 0 ? residual : -residual);
  w.Weights += weight;
  ++w.Samples;
}

}  // namespace

TPlaneCounts CountPlane(const TChannelPlane& plane) {
  TPlaneCounts counts;
  constexpr auto kWritten = static_cast<int>(TRegion::Written);
  constexpr auto kControl = static_cast<int>(TRegion::Control);
  for (int y = 0; y < plane.Height; ++y) {
    const std::uint8_t* row = plane.Row(y);
    const int end = std::min(plane.RegionEndOf(y), plane.Width);
    // Pairs and groups that straddle the region's edge belong to neither side.
    CountPairs(row, 0, end, counts.Spa[kWritten]);
    CountPairs(row, end, plane.Width, counts.Spa[kControl]);
    for (int x = 0; x + 3 < plane.Width; x += 4) {
      if (x + 3 < end) {
        CountGroup(row[x], row[x + 1], row[x + 2], row[x + 3], counts.Rs[kWritten]);
      } else if (x >= end) {
        CountGroup(row[x], row[x + 1], row[x + 2], row[x + 3], counts.Rs[kControl]);
      }
    }
    if (y == 0 || y + 1 >= plane.Height) continue;
    for (int x = 1; x + 1 < plane.Width; ++x) {
      CountWeighted(plane, x, y, counts.Ws[x < end ? kWritten : kControl]);
    }
  }
  return counts;
}

std::optional<double> SpaRate(const TSpaCounts& c) {
  if (c.Pairs < kMinimumSamples) return std::nullopt;
  // Dumitrescu, Wu and Wang: p is the smaller root of
  //   (W + Z)/2 p^2 + (2X - P) p + (Y - X) = 0.
  const double a = 0.5 * static_cast<double>(c.W + c.Z);
  const double b = 2.0 * static_cast<double>(c.X) - static_cast<double>(c.Pairs);
  const double k = static_cast<double>(c.Y - c.X);
  if (a < 1e-9) return b == 0 ? 0.0 : Clamp01(-k / b);
  // Sampling noise can push the discriminant just below zero near the double root.
  const double disc = std::max(0.0, b * b - 4 * a * k);
  return Clamp01((-b - std::sqrt(disc)) / (2 * a));
}

std::optional<double> RsRate(const TRsCounts& r) {
  if (r.Groups < kMinimumSamples) return std::nullopt;
  // Fridrich, Goljan and Du: with d0 = RM - SM at p/2, d1 at 1 - p/2 (every bit flipped), and
  // dn0, dn1 the same for -M, z solves 2(d1 + d0) z^2 + (dn0 - dn1 - d1 - 3 d0) z + d0 - dn0 = 0.
  const auto d0 = static_cast<double>(r.Rm - r.Sm);
  const auto d1 = static_cast<double>(r.FlippedRm - r.FlippedSm);
  const auto dn0 = static_cast<double>(r.Rn - r.Sn);
  const auto dn1 = static_cast<double>(r.FlippedRn - r.FlippedSn);
  const double a = 2 * (d1 + d0);
  const double b = dn0 - dn1 - d1 - 3 * d0;
  const double k = d0 - dn0;
  double z;
  if (std::abs(a) < 1e-9 * std::max(1.0, std::abs(b))) {
    if (b == 0) return 0.0;
    z = -k / b;
  } else {
    // Near full embedding the picture and its flipped copy measure alike, the quadratic's
    // leading terms are noise and the roots may turn complex. Their modulus still says how far
    // the cover lies (z = -(p/2)/(1 - p) grows without bound as p nears 1), so it stands in.
    const double disc = b * b - 4 * a * k;
    if (disc < 0) {
      z = -std::sqrt(k / a);
    } else {
      const double root = std::sqrt(disc);
      const double z1 = (-b + root) / (2 * a);
      const double z2 = (-b - root) / (2 * a);
      z = std::abs(z1) < std::abs(z2) ? z1 : z2;
    }
  }
  return Clamp01(z / (z - 0.5));
}

std::optional<double> WsRate(const TWsSums& w) {
  if (w.Samples < kMinimumSamples || w.Weights <= 0) return std::nullopt;
  return Clamp01(2.0 * w.Weighted / w.Weights);
}

double ChiSquareUpperTail(double chi2, int df) {
  if (df < 1) return 0;
  if (chi2 <= 0) return 1;
  const double k = df;
  const double z = (std::cbrt(chi2 / k) - (1 - 2 / (9 * k))) / std::sqrt(2 / (9 * k));
  return 0.5 * std::erfc(z / std::sqrt(2.0));
}

TChiSquareResult ChiSquare(const std::vector<std::uint8_t>& samples) {
  constexpr int kSteps = 100;
  // Westfeld and Pfitzmann pool categories whose expected count is small; we leave them out.
  constexpr double kMinimumExpected = 5;
  TChiSquareResult result;
  const auto n = static_cast<std::int64_t>(samples.size());
  if (n == 0) return result;
  std::array<std::int64_t, 256> histogram{};
  std::int64_t taken = 0;
  double p = 0;
  for (int step = 1; step <= kSteps; ++step) {
    const std::int64_t until = n * step / kSteps;
    for (; taken < until; ++taken) ++histogram[samples[static_cast<std::size_t>(taken)]];
    double chi2 = 0;
    int categories = 0;
    for (int k = 0; k < 128; ++k) {
      const double expected = 0.5 * static_cast<double>(histogram[2 * k] + histogram[2 * k + 1]);
      if (expected < kMinimumExpected) continue;
      const double d = static_cast<double>(histogram[2 * k]) - expected;
      chi2 += d * d / expected;
      ++categories;
    }
    p = ChiSquareUpperTail(chi2, categories - 1);
    // A sequential message starts at the first byte: it ends where the prefixes that look
    // embedded stop, counted from the start.
    if (p >= 0.5 && result.End == n * (step - 1) / kSteps) result.End = until;
  }
  result.WholeP = p;
  return result;
}

}  // namespace pennacrow::analysis
