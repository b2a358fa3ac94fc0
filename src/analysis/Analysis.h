#pragma once
// How visible a hidden text is: the detectability report of a picture, which both front ends
// show. Rates of low-bit replacement per channel by three estimators, over the whole picture
// and, when a container is present, over the carrier bytes it occupies and over the rest (the
// untouched rest is the control); the chi-square attack; the readable-text scan; a verdict.

#include <array>
#include <cstdint>
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
  double ChiSquareP = 0;
  // Where the chi-square attack sees a sequential message end, as a carrier bit position
  // (comparable with ContainerBits); 0 when it sees none.
  std::int64_t ChiSquareEnd = 0;
};

// Undecided: the picture gives the detectors too little to judge by (too few samples, or content
// the estimators are not made for), and no readable text was found.
enum class TVerdict { Clean, Suspicious, Detectable, Undecided };

// The thresholds of the verdict: any single estimate at or above kSingleThreshold is suspicious;
// the fused estimate (the mean of every channel's SPA, RS and WS) at or above kFusedThreshold, or
// readable text, is easily detected.
constexpr double kSingleThreshold = 0.05;
constexpr double kFusedThreshold = 0.2;

struct TAnalysisReport {
  int Width = 0;
  int Height = 0;
  int BitsPerPixel = 0;
  std::uint8_t DataFormat = 0;
  std::int64_t ContainerBits = 0;  // carrier bits the container occupies; 0 without one
  std::vector<TChannelReport> Channels;
  std::array<std::optional<double>, kAreaCount> Fused;
  // The trained ±1 detector's probability over the whole picture and over the rows the
  // container fills; nothing for the control, for pictures of other than 24 or 32 bits, and for
  // areas below kSpamMinimumPixels.
  std::array<std::optional<double>, kAreaCount> Trained;
  std::vector<TTextFinding> Texts;
  TVerdict Verdict = TVerdict::Clean;
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

// The whole report. The bitmap is only read.
TAnalysisReport AnalyzeBitmap(const TBitmap& bitmap);
// The same with the written area of a container of containerBits carrier bits, whatever the
// probe finds: what a detector that knows where a sequential container must lie would measure.
TAnalysisReport AnalyzeBitmap(const TBitmap& bitmap, std::optional<std::int64_t> containerBits);

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
