// How close the low-bit estimators come to a known rate: each picture named on the command line
// as it is, then with the low bits of a random fraction of its bytes (0.1, 0.5, 1.0) replaced by
// random bits, and the time one analysis takes. Prints one Markdown row per picture and rate.
//
//   pennacrow_bench_analysis PICTURE...

#include <chrono>
#include <cstdio>
#include <exception>
#include <random>

#include "analysis/Analysis.h"
#include "formats/Registry.h"
#include "picture/FractalImage.h"

namespace {

using namespace pennacrow;
using namespace pennacrow::analysis;

void ReplaceLowBits(TBitmap& bitmap, double rate, std::mt19937_64& random) {
  std::bernoulli_distribution chosen(rate);
  for (std::uint8_t& byte : bitmap.MutableBits()) {
    if (chosen(random)) byte = static_cast<std::uint8_t>((byte & 0xFEu) | (random() & 1u));
  }
}

std::string Rate(const std::optional<double>& r) {
  char text[16];
  std::snprintf(text, sizeof text, "%.3f", r.value_or(-1));
  return text;
}

void Row(const std::string& name, double rate, const TBitmap& bitmap) {
  const auto start = std::chrono::steady_clock::now();
  const TAnalysisReport report = AnalyzeBitmap(bitmap);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  double worst = 0;
  std::printf("| %s | %.1f |", name.c_str(), rate);
  for (const TChannelReport& c : report.Channels) {
    const TRates& r = c.Rates[static_cast<int>(TArea::Whole)];
    std::printf(" %s %s/%s/%s |", c.Name.c_str(), Rate(r.Spa).c_str(), Rate(r.Rs).c_str(),
                Rate(r.Ws).c_str());
    for (const auto& e : {r.Spa, r.Rs}) worst = std::max(worst, std::abs(e.value_or(-1) - rate));
  }
  std::printf(" %.3f | %.2f |\n", worst, seconds);
}

}  // namespace

int main(int argc, char** argv) {
  std::printf(
      "| picture | true rate | channel 1 SPA/RS/WS | channel 2 | channel 3 | worst SPA or RS error "
      "| seconds |\n");
  std::printf("|---|---|---|---|---|---|---|\n");
  std::mt19937_64 random(20261209);
  for (int i = 1; i < argc; ++i) {
    try {
      TFractalImage picture(FileFormats());
      picture.LoadPictureFile(argv[i]);
      const TBitmap& clean = picture.PictureBitmap();
      for (const double rate : {0.0, 0.1, 0.5, 1.0}) {
        TBitmap embedded;
        embedded.Assign(clean);
        if (rate > 0) ReplaceLowBits(embedded, rate, random);
        Row(argv[i], rate, embedded);
      }
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s: %s\n", argv[i], e.what());
      return 1;
    }
  }
  return 0;
}
