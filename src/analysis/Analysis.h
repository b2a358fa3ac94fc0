#pragma once
// How visible a hidden text is: the detectability report of a picture, which both front ends
// show. Rates of low-bit replacement per channel by three estimators, over the whole picture
// and, when a container is present, over the carrier bytes it occupies and over the rest (the
// untouched rest is the control); the chi-square attack; the readable-text scan; a verdict.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "analysis/Estimators.h"
#include "analysis/Spam.h"
#include "analysis/TextScan.h"
#include "picture/Bitmap.h"

namespace pennacrow::analysis {

enum class TArea { Whole = 0, Written = 1, Control = 2 };
constexpr int kAreaCount = 3;

struct TRates {
  std::optional<double> Spa;
  std::optional<double> Rs;
  std::optional<double> Ws;
};

struct TChannelReport {
  std::string Name;  // "B", "G", "R", "A", "灰度", "索引", "低字节", "高字节"
  std::array<TRates, kAreaCount> Rates;
  // Per area: the share of horizontally adjacent samples that are equal, and of samples at the
  // ends of the range (0 or the largest value). Where most neighbours are equal or clipped the
  // estimators' model of a low bit does not hold: a clipped sky or an icon reads as embedded.
  std::array<double, kAreaCount> Flat{};
  std::array<double, kAreaCount> Saturated{};
  double ChiSquareP = 0;
  // Where the chi-square attack sees a sequential message end, as a carrier bit position
  // (comparable with ContainerBits); 0 when it sees none.
  std::int64_t ChiSquareEnd = 0;

  // Whether the estimates of an area count for the verdict: its content is what they are made
  // for (see kFlatLimit and kSaturatedLimit).
  bool Reliable(TArea area) const;
};

// Undecided: the picture gives the detectors too little to judge by (too few samples, or content
// the estimators are not made for), and no readable text was found.
enum class TVerdict { Clean, Suspicious, Detectable, Undecided };

// What the verdict rests on, for the words that explain it.
enum class TVerdictBasis {
  Text,          // readable text in the low bits
  Estimators,    // the agreed estimate of an area reached a threshold
  Trained,       // the trained ±1 detector answered
  Nothing,       // every detector was asked and none answered
  TooSmall,      // the picture has too few samples to judge
  NotPhotograph  // flat or clipped colours, which the detectors are not made for
};

// An area's content counts as photographic while fewer than these shares of its samples are
// equal to their neighbour, or clipped.
constexpr double kFlatLimit = 0.8;
constexpr double kSaturatedLimit = 0.5;
// Fewer pixels than this in an area and it is not judged: a single odd pixel would move the
// estimates past the thresholds.
constexpr std::int64_t kMinimumJudgedPixels = 64 * 64;

// The agreed estimate of an area (for each reliable channel the median of SPA, RS and WS, and
// of these the smallest) is suspicious from SuspiciousThreshold on and easily detected from
// DetectableThreshold on. Both grow as 1/sqrt(pixels) for small areas: on photographs the
// agreed estimate of clean areas of 128 x 128 pixels or more stays below the first in 99 of 100.
// Low-bit writers change every channel alike, while clipping and flat colours lead one channel
// or one estimator astray, so the agreement is what tells them apart.
double SuspiciousThreshold(std::int64_t pixels);
double DetectableThreshold(std::int64_t pixels);
// The trained detector's probability is suspicious from this on: on the benchmark's clean
// tiles none of 408 reaches it over the whole tile, and one in a hundred over the rows a
// container of a tenth of a bit per sample would fill.
constexpr double kTrainedThreshold = 0.9;

struct TAnalysisReport {
  int Width = 0;
  int Height = 0;
  int BitsPerPixel = 0;
  std::uint8_t DataFormat = 0;
  std::int64_t ContainerBits = 0;  // carrier bits the container occupies; 0 without one
  std::vector<TChannelReport> Channels;
  std::array<std::optional<double>, kAreaCount> Fused;
  // The agreed estimate per area (see SuspiciousThreshold); nothing where no channel is reliable.
  std::array<std::optional<double>, kAreaCount> Agreed;
  // Pixels per area (of the first channel).
  std::array<std::int64_t, kAreaCount> Pixels{};
  // The trained ±1 detector's probability over the whole picture and over the rows the
  // container fills; nothing for the control, for pictures of other than 24 or 32 bits, for
  // areas below kSpamMinimumPixels and for areas whose colours are not photographic.
  std::array<std::optional<double>, kAreaCount> Trained;
  // The share of carrier bytes at 0 or 255 where a text lies or would lie: the container's, or
  // every carrier byte without one. A stealth write can move such a byte only one way, which is
  // low-bit replacement there.
  double SaturatedShare = 0;
  std::vector<TTextFinding> Texts;
  TVerdict Verdict = TVerdict::Clean;
  TVerdictBasis Basis = TVerdictBasis::Nothing;
};

// How many pixels at the start of a row hold a written byte of a channel: the writer fills the
// first width bytes of each row, top row first, so for 3 bytes per pixel only the first third of
// the pixels, and in the container's last row fewer.
int WrittenPixels(int width, int bytesPerPixel, int channel, int row, std::int64_t containerBits);

// The carrier bits the container found by the probe occupies (24 + 8n for version 2, 64 + 8L
// for version 1), or 0 when there is none or its length does not fit the picture.
std::int64_t ContainerBitsOf(const TBitmap& bitmap, std::uint8_t format);

// The pixels whose every colour byte a container of containerBits carrier bits has written: the
// rows it fills completely, and in each the pixels whose bytes all lie among the first width
// bytes of the row.
TSampleRect ContainerRect(int width, int height, int bytesPerPixel, std::int64_t containerBits);

// The SPAM features of rect averaged over the colour channels (B, G, R) of a 24- or 32-bit
// picture; nothing for other depths, whose samples are indices or not 8-bit values.
std::optional<TSpamFeatures> ColourSpamFeatures(const TBitmap& bitmap, const TSampleRect& rect);

// The whole report. The bitmap is only read. checkpoint, when given, is called between the
// channels and before the text scan; it may raise to stop the work there.
TAnalysisReport AnalyzeBitmap(const TBitmap& bitmap, const std::function<void()>& checkpoint = {});
// The same with the written area of a container of containerBits carrier bits, whatever the
// probe finds: what a detector that knows where a sequential container must lie would measure.
TAnalysisReport AnalyzeBitmap(const TBitmap& bitmap, std::optional<std::int64_t> containerBits,
                              const std::function<void()>& checkpoint = {});

// Channel c's low bits as 0 or 255 per pixel, width x height, top row first: what the eye sees of
// a container (the channels are those of the report).
std::vector<std::uint8_t> LowBitPlane(const TBitmap& bitmap, int channel);

// What a write changed: per pixel 1 where any byte changed, and the counts.
struct TWriteDifference {
  int Width = 0;
  int Height = 0;
  std::vector<std::uint8_t> Changed;
  std::int64_t ChangedPixels = 0;
  std::int64_t ChangedBytes = 0;
  std::int64_t Raised = 0;   // bytes one higher than before
  std::int64_t Lowered = 0;  // bytes one lower than before
};
// Nothing when the pictures differ in size. A picture the write converted to 24 bits is compared
// with its earlier self converted the same way.
std::optional<TWriteDifference> WriteDifference(const TBitmap& before, const TBitmap& after);

// The report as words: a verdict, the names of areas and channels, streams. Chinese, like
// every message of the program, and all of them here.
// The verdict in the program's own Chinese, as analyze --json gives it; shown through Tr.
std::string VerdictText(TVerdict verdict);
// The verdict for scripts, in English and never translated: "clean", "suspicious",
// "detectable", "undecided".
const char* VerdictKey(TVerdict verdict);
// What the verdict rests on, in words, and for scripts ("text", "estimators", "trained",
// "nothing", "too_small", "not_photograph").
std::string BasisText(TVerdictBasis basis);
const char* BasisKey(TVerdictBasis basis);
std::string AreaText(TArea area);
std::string StreamText(const TTextFinding& finding);
// Several lines for one picture.
std::string FormatReport(const TAnalysisReport& report, const std::string& fileName);
// One line for one picture, for batches.
std::string FormatReportLine(const TAnalysisReport& report, const std::string& fileName);
// One JSON object on one line.
std::string FormatReportJson(const TAnalysisReport& report, const std::string& fileName);
std::string FormatFailureLine(const std::string& fileName, const std::string& message);
std::string FormatFailureJson(const std::string& fileName, const std::string& message);
std::string PlaneTitle(const std::string& channel);  // "B 最低位"
std::string DifferenceTitle();
std::string DifferenceText(const TWriteDifference& difference);

}  // namespace pennacrow::analysis
