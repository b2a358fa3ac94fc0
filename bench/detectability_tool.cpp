// The C++ half of bench/detectability: writes our own containers into cover tiles in memory and
// measures pictures with exactly the code `analyze` runs, so that the benchmark's detectors see
// the features the program computes.
//
//   pennacrow_bench_detect writers
//       one line per writer of ours: its name and whether it fills the carrier sequentially from
//       the top-left corner (1) or puts its bits elsewhere (0)
//   pennacrow_bench_detect measure FEATURES < JOBS
//       one job per line: KEY WRITER RATE PICTURE SEED [SAVE], tab-separated. WRITER "none"
//       measures PICTURE as it is; a writer of ours writes a random message of RATE bits per
//       channel sample (SEED chooses it) into PICTURE first, and saves the result as SAVE (PNG)
//       when given. Prints KEY, the outcome and the measurements per job; appends the SPAM
//       features of the whole picture and of the rows a sequential message of RATE would fill
//       (686 + 686 float32) to FEATURES.
//
// Sealed writes use the cheapest key derivation: the pixels change exactly as with the default
// parameters, and hundreds of tiles would otherwise spend minutes stretching passwords.

#include <cstdio>
#include <exception>
#include <functional>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "adaptive/AdaptiveBitmap.h"
#include "analysis/Analysis.h"
#include "codec/Container.h"
#include "codec/SealedContainer.h"
#include "formats/Registry.h"
#include "formats/SavePicture.h"
#include "picture/FractalImage.h"

namespace {

using namespace pennacrow;
using namespace pennacrow::analysis;

void Sealed(TBitmap& bitmap, const std::string& message, TLowBitWriting writing) {
  HideSealed(bitmap, "benchmark", {TSealedKind::File, "m", message}, MinimumSealParameters(),
             writing);
}

struct TWriter {
  const char* Name;
  bool Sequential;
  std::function<void(TBitmap&, const std::string&)> Write;
};

// Our writers; a new one is one line here.
const std::vector<TWriter>& Writers() {
  static const std::vector<TWriter> writers = {
      {"replace", true,
       [](TBitmap& b, const std::string& m) {
         HideText(b, {m, kFormatPlain});
       }},
      {"stealth", true,
       [](TBitmap& b, const std::string& m) {
         HideText(b, {m, kFormatPlain, TLowBitWriting::Stealth});
       }},
      {"seal", true,
       [](TBitmap& b, const std::string& m) { Sealed(b, m, TLowBitWriting::Replace); }},
      {"seal-stealth", true,
       [](TBitmap& b, const std::string& m) { Sealed(b, m, TLowBitWriting::Stealth); }},
      {"keyed", false,
       [](TBitmap& b, const std::string& m) {
         HideAdaptive(b, "benchmark", {TSealedKind::File, "m", m}, MinimumSealParameters());
       }},
  };
  return writers;
}

std::int64_t MessageBits(const TBitmap& bitmap, double rate) {
  return static_cast<std::int64_t>(rate * 3.0 * bitmap.Width() * bitmap.Height()) / 8 * 8;
}

std::string RandomMessage(std::int64_t bits, std::uint64_t seed) {
  std::mt19937_64 random(seed);
  std::string message(static_cast<std::size_t>(bits / 8), '\0');
  for (char& c : message) c = static_cast<char>(random() & 0xFFu);
  return message;
}

std::string Number(const std::optional<double>& value) {
  if (!value) return "nan";
  char text[32];
  std::snprintf(text, sizeof text, "%.6f", *value);
  return text;
}

std::optional<double> ChannelMean(const TAnalysisReport& r, TArea area, int estimator) {
  double sum = 0;
  int n = 0;
  for (const TChannelReport& c : r.Channels) {
    const TRates& rates = c.Rates[static_cast<int>(area)];
    const std::optional<double> value = estimator == 0   ? rates.Spa
                                        : estimator == 1 ? rates.Rs
                                                         : rates.Ws;
    if (value) {
      sum += *value;
      ++n;
    }
  }
  if (n == 0) return std::nullopt;
  return sum / n;
}

void AppendFeatures(std::FILE* out, const std::optional<TSpamFeatures>& features) {
  std::vector<float> values(kSpamDimension, std::nanf(""));
  if (features) {
    for (int i = 0; i < kSpamDimension; ++i) values[i] = static_cast<float>((*features)[i]);
  }
  std::fwrite(values.data(), sizeof(float), values.size(), out);
}

// Measures one picture: what analyze reports, and what a detector that looks where a
// sequential message of regionBits must lie sees.
std::string Measure(const TBitmap& bitmap, std::int64_t regionBits, std::FILE* features) {
  const TAnalysisReport report = AnalyzeBitmap(bitmap);
  const TAnalysisReport region = AnalyzeBitmap(bitmap, regionBits);
  constexpr int whole = static_cast<int>(TArea::Whole), written = static_cast<int>(TArea::Written);
  std::ostringstream line;
  line << Number(ChannelMean(report, TArea::Whole, 0)) << '\t'
       << Number(ChannelMean(report, TArea::Whole, 1)) << '\t'
       << Number(ChannelMean(report, TArea::Whole, 2)) << '\t' << Number(region.Fused[written])
       << '\t' << VerdictKey(report.Verdict) << '\t' << Number(report.Trained[whole]) << '\t'
       << report.ContainerBits;
  const int bpp = bitmap.BitsPerPixel() / 8;
  AppendFeatures(features, ColourSpamFeatures(bitmap, {0, 0, bitmap.Width(), bitmap.Height()}));
  AppendFeatures(features, ColourSpamFeatures(bitmap, ContainerRect(bitmap.Width(), bitmap.Height(),
                                                                    bpp, regionBits)));
  return line.str();
}

const TWriter* FindWriter(const std::string& name) {
  for (const TWriter& w : Writers()) {
    if (name == w.Name) return &w;
  }
  return nullptr;
}

std::string RunJob(const std::vector<std::string>& job, std::FILE* features) {
  const std::string& writerName = job[1];
  const double rate = std::stod(job[2]);
  TFractalImage picture(FileFormats());
  picture.LoadPictureFile(job[3]);
  TBitmap& bitmap = picture.PictureBitmap();
  const std::int64_t bits = MessageBits(bitmap, rate);
  if (writerName != "none") {
    const TWriter* writer = FindWriter(writerName);
    if (writer == nullptr) throw std::runtime_error("no writer " + writerName);
    try {
      writer->Write(bitmap, RandomMessage(bits, std::stoull(job[4])));
    } catch (const ETextDoesNotFit&) {
      return "too-big";
    }
    if (job.size() > 5) SavePictureFile(picture, job[5]);
  }
  return "ok\t" + Measure(bitmap, bits, features);
}

int MeasureJobs(const char* featuresPath) {
  std::FILE* features = std::fopen(featuresPath, "ab");
  if (features == nullptr) {
    std::perror(featuresPath);
    return 1;
  }
  std::string line;
  while (std::getline(std::cin, line)) {
    std::vector<std::string> job;
    std::istringstream fields(line);
    for (std::string field; std::getline(fields, field, '\t');) job.push_back(field);
    if (job.size() < 5) continue;
    std::string outcome;
    try {
      outcome = RunJob(job, features);
    } catch (const std::exception& e) {
      outcome = std::string("error: ") + e.what();
    }
    std::cout << job[0] << '\t' << outcome << '\n' << std::flush;
  }
  return std::fclose(features) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "writers") {
    for (const TWriter& w : Writers()) std::cout << w.Name << '\t' << w.Sequential << '\n';
    return 0;
  }
  if (command == "measure" && argc == 3) return MeasureJobs(argv[2]);
  std::cerr << "usage: pennacrow_bench_detect writers | measure FEATURES < JOBS\n";
  return 2;
}
