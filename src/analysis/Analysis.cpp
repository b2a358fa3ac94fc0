#include "analysis/Analysis.h"
#include "base/Translate.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "codec/BinaryUnit.h"
#include "codec/Container.h"

namespace pennacrow::analysis {

namespace {

struct TLayout {
  int BytesPerPixel;  // 0: fewer than 8 bits per pixel, one index per pixel unpacked
  std::vector<std::string> Names;
  std::uint8_t Mask = 0xFF;  // the bits of a byte that make up the channel's value
};

TLayout LayoutOf(const TBitmap& bitmap) {
  switch (bitmap.BitsPerPixel()) {
    case 32:
      return {4, {"B", "G", "R", "A"}};
    case 24:
      return {3, {"B", "G", "R"}};
    case 15:
    case 16:
      // The low byte's low bit is blue's, its five low bits blue's value; the high byte's low bit
      // is a middle bit of green, which no estimator models.
      return {2, {"B"}, 0x1F};
    default: {
      const auto& palette = bitmap.Palette();
      const bool grey = std::all_of(palette.begin(), palette.end(), [](const TRGBQuad& q) {
        return q.Red == q.Green && q.Green == q.Blue;
      });
      return {bitmap.BitsPerPixel() == 8 ? 1 : 0, {grey ? N_("灰度") : N_("索引")}};
    }
  }
}

// Palette indices of a 1- or 4-bit row, one per pixel.
void UnpackIndices(const std::uint8_t* row, int width, int bits, std::uint8_t* out) {
  const int perByte = 8 / bits;
  const unsigned mask = (1u << bits) - 1;
  for (int x = 0; x < width; ++x) {
    const int shift = 8 - bits * (x % perByte + 1);
    out[x] = static_cast<std::uint8_t>((row[x / perByte] >> shift) & mask);
  }
}

// Channel c as a plane. Carrier byte k of row y (k < width) is pixel k div bpp's channel
// k mod bpp; it is written when y * width + k < containerBits.
TChannelPlane PlaneOf(const TBitmap& bitmap, int bytesPerPixel, int c, std::int64_t containerBits,
                      std::uint8_t mask = 0xFF) {
  TChannelPlane plane;
  plane.Width = bitmap.Width();
  plane.Height = bitmap.Height();
  plane.Samples.resize(static_cast<std::size_t>(plane.Width) *
                       static_cast<std::size_t>(plane.Height));
  plane.RegionEnd.assign(static_cast<std::size_t>(plane.Height), 0);
  for (int y = 0; y < plane.Height; ++y) {
    const std::uint8_t* row = bitmap.ConstRowAt(y);
    auto* out =
        plane.Samples.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(plane.Width);
    if (bytesPerPixel == 0) {
      UnpackIndices(row, plane.Width, bitmap.BitsPerPixel(), out);
      continue;
    }
    for (int x = 0; x < plane.Width; ++x)
      out[x] = row[static_cast<std::size_t>(x) * bytesPerPixel + c] & mask;
    plane.RegionEnd[y] = WrittenPixels(plane.Width, bytesPerPixel, c, y, containerBits);
  }
  return plane;
}

// Channel c's carrier bytes in the writer's order: the first samples of each of the plane's rows.
std::vector<std::uint8_t> CarrierSamples(const TChannelPlane& plane, int perRow) {
  std::vector<std::uint8_t> samples;
  samples.reserve(static_cast<std::size_t>(perRow) * static_cast<std::size_t>(plane.Height));
  for (int y = 0; y < plane.Height; ++y)
    samples.insert(samples.end(), plane.Row(y), plane.Row(y) + perRow);
  return samples;
}

double Share(std::int64_t part, std::int64_t whole) {
  return whole > 0 ? static_cast<double>(part) / static_cast<double>(whole) : 1.0;
}

// Samples at either end of the range (0 or top), and all samples, per region of the plane.
struct TClipCounts {
  std::array<std::int64_t, kRegionCount> Clipped{};
  std::array<std::int64_t, kRegionCount> Samples{};
};

TClipCounts CountClipped(const TChannelPlane& plane, std::uint8_t top) {
  TClipCounts counts;
  for (int y = 0; y < plane.Height; ++y) {
    const std::uint8_t* row = plane.Row(y);
    const int end = std::min(plane.RegionEndOf(y), plane.Width);
    for (int x = 0; x < plane.Width; ++x) {
      const int region = static_cast<int>(x < end ? TRegion::Written : TRegion::Control);
      counts.Clipped[static_cast<std::size_t>(region)] += row[x] == 0 || row[x] == top;
    }
    counts.Samples[static_cast<int>(TRegion::Written)] += end;
    counts.Samples[static_cast<int>(TRegion::Control)] += plane.Width - end;
  }
  return counts;
}

std::int64_t Area(const TSampleRect& r) {
  return std::int64_t{r.Width} * r.Height;
}

// The features of several channels, for their mean.
struct TSpamSum {
  TSpamFeatures Sum{};
  int Channels = 0;
  void Add(const TSpamFeatures& f) {
    for (std::size_t i = 0; i < f.size(); ++i) Sum[i] += f[i];
    ++Channels;
  }
  TSpamFeatures Mean() const {
    TSpamFeatures mean = Sum;
    for (double& m : mean) m /= Channels;
    return mean;
  }
};

TRates RatesOf(const TSpaCounts& spa, const TRsCounts& rs, const TWsSums& ws) {
  return {SpaRate(spa), RsRate(rs), WsRate(ws)};
}

TChannelReport AnalyzeChannel(const TBitmap& bitmap, const TLayout& layout, int c,
                              const TChannelPlane& plane, std::int64_t containerBits) {
  TChannelReport report;
  report.Name = layout.Names[static_cast<std::size_t>(c)];
  {
    const TPlaneCounts counts = CountPlane(plane);
    constexpr int w = static_cast<int>(TRegion::Written), k = static_cast<int>(TRegion::Control);
    TSpaCounts spa = counts.Spa[w];
    spa += counts.Spa[k];
    TRsCounts rs = counts.Rs[w];
    rs += counts.Rs[k];
    TWsSums ws = counts.Ws[w];
    ws += counts.Ws[k];
    report.Rates[static_cast<int>(TArea::Whole)] = RatesOf(spa, rs, ws);
    const TClipCounts clipped = CountClipped(plane, layout.Mask);
    report.Flat[static_cast<int>(TArea::Whole)] = Share(spa.Z, spa.Pairs);
    report.Saturated[static_cast<int>(TArea::Whole)] =
        Share(clipped.Clipped[w] + clipped.Clipped[k], clipped.Samples[w] + clipped.Samples[k]);
    if (containerBits > 0) {
      report.Rates[static_cast<int>(TArea::Written)] =
          RatesOf(counts.Spa[w], counts.Rs[w], counts.Ws[w]);
      report.Rates[static_cast<int>(TArea::Control)] =
          RatesOf(counts.Spa[k], counts.Rs[k], counts.Ws[k]);
      for (const auto& [area, region] :
           {std::pair{TArea::Written, w}, std::pair{TArea::Control, k}}) {
        report.Flat[static_cast<int>(area)] = Share(counts.Spa[region].Z, counts.Spa[region].Pairs);
        report.Saturated[static_cast<int>(area)] =
            Share(clipped.Clipped[region], clipped.Samples[region]);
      }
    }
  }
  if (layout.BytesPerPixel > 0) {
    const int bpp = layout.BytesPerPixel;
    const int perRow = std::max(0, (bitmap.Width() - c + bpp - 1) / bpp);
    if (perRow == 0) return report;
    const TChiSquareResult chi = ChiSquare(CarrierSamples(plane, perRow));
    report.ChiSquareP = chi.WholeP;
    if (chi.End > 0) {
      // Sample i of the channel is carrier byte c + (i mod perRow) * bpp of row i div perRow.
      const std::int64_t last = chi.End - 1;
      report.ChiSquareEnd = last / perRow * bitmap.Width() + c + last % perRow * bpp + 1;
    }
  }
  return report;
}

std::optional<double> FusedOf(const std::vector<TChannelReport>& channels, TArea area) {
  double sum = 0;
  int n = 0;
  for (const TChannelReport& c : channels) {
    for (const auto& rate :
         {c.Rates[static_cast<int>(area)].Spa, c.Rates[static_cast<int>(area)].Rs,
          c.Rates[static_cast<int>(area)].Ws}) {
      if (rate) {
        sum += *rate;
        ++n;
      }
    }
  }
  if (n == 0) return std::nullopt;
  return sum / n;
}

// For each reliable channel of the area the median of its three estimates; of these the
// smallest.
std::optional<double> AgreedOf(const std::vector<TChannelReport>& channels, TArea area) {
  std::optional<double> agreed;
  for (const TChannelReport& c : channels) {
    const TRates& r = c.Rates[static_cast<int>(area)];
    if (!c.Reliable(area) || !r.Spa || !r.Rs || !r.Ws) continue;
    std::array<double, 3> three{*r.Spa, *r.Rs, *r.Ws};
    std::sort(three.begin(), three.end());
    agreed = std::min(agreed.value_or(1.0), three[1]);
  }
  return agreed;
}

// Colour channels that are photographic on average: what the trained detector was trained on.
bool PhotographicColours(const std::vector<TChannelReport>& channels, TArea area) {
  if (channels.size() < 3) return false;
  double flat = 0, saturated = 0;
  for (int c = 0; c < 3; ++c) {
    flat += channels[static_cast<std::size_t>(c)].Flat[static_cast<int>(area)] / 3;
    saturated += channels[static_cast<std::size_t>(c)].Saturated[static_cast<int>(area)] / 3;
  }
  return flat < kFlatLimit && saturated < kSaturatedLimit;
}

// The share of the carrier bytes a text occupies (or, without a container, could occupy) that
// sit at 0 or 255.
double SaturatedCarrierShare(const TBitmap& bitmap, std::int64_t containerBits) {
  if (bitmap.BitsPerPixel() < 8) return 0;
  const std::int64_t width = bitmap.Width();
  const std::int64_t bits = containerBits > 0 ? containerBits : width * bitmap.Height();
  std::int64_t clipped = 0;
  for (std::int64_t y = 0; y * width < bits; ++y) {
    const std::uint8_t* row = bitmap.ConstRowAt(static_cast<int>(y));
    const std::int64_t count = std::min(width, bits - y * width);
    for (std::int64_t x = 0; x < count; ++x) clipped += row[x] == 0 || row[x] == 255;
  }
  return Share(clipped, bits);
}

struct TJudgement {
  TVerdict Verdict;
  TVerdictBasis Basis;
};

TJudgement VerdictOf(const TAnalysisReport& r) {
  if (!r.Texts.empty()) return {TVerdict::Detectable, TVerdictBasis::Text};
  bool judged = false, suspicious = false, trained = false;
  for (const TArea area : {TArea::Whole, TArea::Written}) {
    const auto a = static_cast<std::size_t>(area);
    if (area == TArea::Written && r.ContainerBits == 0) continue;
    if (r.Pixels[a] < kMinimumJudgedPixels) continue;
    if (const auto agreed = r.Agreed[a]) {
      judged = true;
      if (*agreed >= DetectableThreshold(r.Pixels[a])) {
        return {TVerdict::Detectable, TVerdictBasis::Estimators};
      }
      suspicious = suspicious || *agreed >= SuspiciousThreshold(r.Pixels[a]);
    }
    if (const auto p = r.Trained[a]) {
      judged = true;
      trained = trained || *p >= kTrainedThreshold;
    }
  }
  if (suspicious) return {TVerdict::Suspicious, TVerdictBasis::Estimators};
  if (trained) return {TVerdict::Suspicious, TVerdictBasis::Trained};
  if (judged) return {TVerdict::Clean, TVerdictBasis::Nothing};
  const bool small = r.Pixels[static_cast<int>(TArea::Whole)] < kMinimumJudgedPixels;
  return {TVerdict::Undecided, small ? TVerdictBasis::TooSmall : TVerdictBasis::NotPhotograph};
}

}  // namespace

bool TChannelReport::Reliable(TArea area) const {
  const auto a = static_cast<std::size_t>(area);
  return Flat[a] < kFlatLimit && Saturated[a] < kSaturatedLimit;
}

double SuspiciousThreshold(std::int64_t pixels) {
  return std::max(0.08, 10.0 / std::sqrt(static_cast<double>(std::max<std::int64_t>(pixels, 1))));
}

double DetectableThreshold(std::int64_t pixels) {
  return std::max(0.2, 20.0 / std::sqrt(static_cast<double>(std::max<std::int64_t>(pixels, 1))));
}

int WrittenPixels(int width, int bytesPerPixel, int channel, int row, std::int64_t containerBits) {
  const std::int64_t limit =
      std::min<std::int64_t>(width, containerBits - std::int64_t{row} * width);
  if (limit <= channel) return 0;
  return static_cast<int>((limit - channel + bytesPerPixel - 1) / bytesPerPixel);
}

std::int64_t ContainerBitsOf(const TBitmap& bitmap, std::uint8_t format) {
  std::int64_t bits = 0;
  // A sealed payload lies in the version 2 layout like a text.
  if (format == kFormatPlain || format == kFormatEncrypted || format == kFormatSealed) {
    bits = 24 + 8 * std::int64_t{GetDataLength(bitmap)};
  } else if (format == kFormatVersion1) {
    bits = 64 + 8 * std::int64_t{GetOldDataLength(bitmap) / 2};
  }
  // A length the picture cannot hold is the probe reading noise, not a container.
  return bits <= std::int64_t{bitmap.Width()} * bitmap.Height() ? bits : 0;
}

std::vector<std::uint8_t> LowBitPlane(const TBitmap& bitmap, int channel) {
  if (bitmap.Empty()) return {};
  const TLayout layout = LayoutOf(bitmap);
  if (channel < 0 || channel >= static_cast<int>(layout.Names.size())) return {};
  TChannelPlane plane = PlaneOf(bitmap, layout.BytesPerPixel, channel, 0, layout.Mask);
  for (std::uint8_t& s : plane.Samples) s = (s & 1u) != 0 ? 255 : 0;
  return std::move(plane.Samples);
}

std::optional<TWriteDifference> WriteDifference(const TBitmap& before, const TBitmap& after) {
  if (before.Width() != after.Width() || before.Height() != after.Height() || after.Empty()) {
    return std::nullopt;
  }
  TBitmap converted;
  const TBitmap* earlier = &before;
  if (before.BitsPerPixel() != after.BitsPerPixel()) {
    converted.Assign(before);
    converted.SetBitsPerPixel(after.BitsPerPixel());
    earlier = &converted;
  }
  TWriteDifference d;
  d.Width = after.Width();
  d.Height = after.Height();
  d.Changed.assign(static_cast<std::size_t>(d.Width) * static_cast<std::size_t>(d.Height), 0);
  const int bytesPerPixel = std::max(1, after.BitsPerPixel() / 8);
  const auto used = static_cast<std::size_t>(d.Width) * static_cast<std::size_t>(bytesPerPixel);
  for (int y = 0; y < d.Height; ++y) {
    const std::uint8_t* a = earlier->ConstRowAt(y);
    const std::uint8_t* b = after.ConstRowAt(y);
    for (std::size_t i = 0; i < std::min(used, after.RowLength()); ++i) {
      if (a[i] == b[i]) continue;
      ++d.ChangedBytes;
      d.Raised += b[i] == a[i] + 1;
      d.Lowered += b[i] + 1 == a[i];
      auto& pixel = d.Changed[static_cast<std::size_t>(y) * static_cast<std::size_t>(d.Width) +
                              i / static_cast<std::size_t>(bytesPerPixel)];
      d.ChangedPixels += pixel == 0;
      pixel = 1;
    }
  }
  return d;
}

TSampleRect ContainerRect(int width, int height, int bytesPerPixel, std::int64_t containerBits) {
  if (width <= 0 || bytesPerPixel <= 0 || containerBits <= 0) return {};
  const auto rows = static_cast<int>(std::min<std::int64_t>(height, containerBits / width));
  return {0, 0, width / bytesPerPixel, rows};
}

std::optional<TSpamFeatures> ColourSpamFeatures(const TBitmap& bitmap, const TSampleRect& rect) {
  const int bpp = bitmap.BitsPerPixel() / 8;
  if (bitmap.Empty() || (bpp != 3 && bpp != 4)) return std::nullopt;
  TSpamSum sum;
  for (int c = 0; c < 3; ++c) sum.Add(SpamFeatures(PlaneOf(bitmap, bpp, c, 0), rect));
  return sum.Mean();
}

TAnalysisReport AnalyzeBitmap(const TBitmap& bitmap, const std::function<void()>& checkpoint) {
  return AnalyzeBitmap(bitmap, std::nullopt, checkpoint);
}

TAnalysisReport AnalyzeBitmap(const TBitmap& bitmap, std::optional<std::int64_t> containerBits,
                              const std::function<void()>& checkpoint) {
  TAnalysisReport report;
  report.Width = bitmap.Width();
  report.Height = bitmap.Height();
  report.BitsPerPixel = bitmap.BitsPerPixel();
  if (bitmap.Empty()) return report;
  report.DataFormat = DetectDataFormat(&bitmap);
  const TLayout layout = LayoutOf(bitmap);
  const int bpp = layout.BytesPerPixel;
  // The writer never leaves a container in rows shorter than the width.
  if (bpp > 0) {
    report.ContainerBits =
        containerBits ? std::clamp<std::int64_t>(*containerBits, 0,
                                                 std::int64_t{bitmap.Width()} * bitmap.Height())
                      : ContainerBitsOf(bitmap, report.DataFormat);
  }
  const TSampleRect whole{0, 0, bitmap.Width(), bitmap.Height()};
  const TSampleRect written =
      ContainerRect(bitmap.Width(), bitmap.Height(), bpp, report.ContainerBits);
  TSpamSum spamWhole, spamWritten;
  // Below 8 bits per pixel a sample is a 1- or 4-bit index whose low bit is half or all of its
  // value: the estimators' model of a low bit does not hold, so they are not asked.
  for (int c = 0; bpp > 0 && c < static_cast<int>(layout.Names.size()); ++c) {
    if (checkpoint) checkpoint();
    const TChannelPlane plane = PlaneOf(bitmap, bpp, c, report.ContainerBits, layout.Mask);
    report.Channels.push_back(AnalyzeChannel(bitmap, layout, c, plane, report.ContainerBits));
    if ((bpp == 3 || bpp == 4) && c < 3) {
      spamWhole.Add(SpamFeatures(plane, whole));
      if (Area(written) >= kSpamMinimumPixels) spamWritten.Add(SpamFeatures(plane, written));
    }
  }
  for (const TArea area : {TArea::Whole, TArea::Written, TArea::Control}) {
    report.Fused[static_cast<int>(area)] = FusedOf(report.Channels, area);
    report.Agreed[static_cast<int>(area)] = AgreedOf(report.Channels, area);
  }
  report.Pixels[static_cast<int>(TArea::Whole)] = Area(whole);
  for (int y = 0; bpp > 0 && report.ContainerBits > 0 && y < bitmap.Height(); ++y) {
    const int written = WrittenPixels(bitmap.Width(), bpp, 0, y, report.ContainerBits);
    report.Pixels[static_cast<int>(TArea::Written)] += written;
    report.Pixels[static_cast<int>(TArea::Control)] += bitmap.Width() - written;
  }
  if (spamWhole.Channels > 0 && Area(whole) >= kSpamMinimumPixels &&
      PhotographicColours(report.Channels, TArea::Whole)) {
    report.Trained[static_cast<int>(TArea::Whole)] = SpamProbability(spamWhole.Mean());
  }
  if (spamWritten.Channels > 0 && PhotographicColours(report.Channels, TArea::Written)) {
    report.Trained[static_cast<int>(TArea::Written)] = SpamProbability(spamWritten.Mean());
  }
  report.SaturatedShare = SaturatedCarrierShare(bitmap, report.ContainerBits);
  if (checkpoint) checkpoint();
  report.Texts = ScanReadableText(bitmap);
  const TJudgement judgement = VerdictOf(report);
  report.Verdict = judgement.Verdict;
  report.Basis = judgement.Basis;
  return report;
}

}  // namespace pennacrow::analysis
