// The detectability report of a small bitmap of any depth built from the input, with a container
// written into it when the input asks: it never fails, its rates are numbers, its JSON has no
// NaN or infinity, and every way of showing it gives text.
#include <cmath>
#include <string>

#include "FuzzHarness.h"
#include "analysis/Analysis.h"
#include "codec/Container.h"

using namespace pennacrow;

namespace {

bool Sane(const std::optional<double>& rate) {
  return !rate || std::isfinite(*rate);
}

// The JSON without the contents of its strings: a hidden text shown in the report may itself
// read ":-inf", which is no number.
std::string Unquoted(const std::string& json) {
  std::string out;
  bool inString = false;
  for (std::size_t i = 0; i < json.size(); ++i) {
    if (!inString) out += json[i];
    if (inString && json[i] == '\\') {
      ++i;
    } else if (json[i] == '"') {
      inString = !inString;
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::TInput in(data, size);
  const std::uint8_t mode = in.Byte();
  TBitmap bitmap = fuzz::BitmapFromInput(in);
  if (mode & 1) {
    const auto text = in.Rest();
    try {
      HideText(bitmap, {std::string(text.begin(), text.end()),
                        static_cast<std::uint8_t>(1 + (mode >> 1) % 4),
                        (mode & 0x40) ? TLowBitWriting::Stealth : TLowBitWriting::Replace});
    } catch (const EPennacrowError&) {
      // A text that does not fit leaves the picture as it was.
    }
  }
  try {
    const analysis::TAnalysisReport report = analysis::AnalyzeBitmap(bitmap);
    for (const analysis::TChannelReport& channel : report.Channels) {
      for (const analysis::TRates& rates : channel.Rates) {
        FUZZ_REQUIRE(Sane(rates.Spa) && Sane(rates.Rs) && Sane(rates.Ws));
      }
      FUZZ_REQUIRE(std::isfinite(channel.ChiSquareP));
    }
    for (const auto& fused : report.Fused) FUZZ_REQUIRE(Sane(fused));
    const std::string json = Unquoted(analysis::FormatReportJson(report, "f"));
    for (const char* bad : {":nan", ":-nan", ":inf", ":-inf"}) {
      FUZZ_REQUIRE(json.find(bad) == std::string::npos);
    }
    FUZZ_REQUIRE(!analysis::FormatReport(report, "f").empty());
    FUZZ_REQUIRE(!analysis::FormatReportLine(report, "f").empty());
  } catch (const std::exception& e) {
    fuzz::Unexpected(e);
  }
  return 0;
}
