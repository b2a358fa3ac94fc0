#include "analysis/TextScan.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <string_view>

namespace pennacrow::analysis {

namespace {

bool Printable(std::uint8_t c) {
  return (c >= 0x20 && c < 0x7F) || c == '\t' || c == '\n' || c == '\r';
}

bool Base64Character(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
         c == '/' || c == '=' || c == '\r' || c == '\n';
}

// The samples of the top rows in one order, as many as the longest stream needs.
std::vector<std::uint8_t> OrderedSamples(const TBitmap& bitmap, TScanOrder order,
                                         std::size_t wanted) {
  std::vector<std::uint8_t> samples;
  samples.reserve(wanted);
  const int bytesPerPixel = bitmap.BitsPerPixel() / 8;
  const auto width = static_cast<std::size_t>(bitmap.Width());
  for (int y = 0; y < bitmap.Height() && samples.size() < wanted; ++y) {
    const std::uint8_t* row = bitmap.ConstRowAt(y);
    switch (order) {
      case TScanOrder::Writer:
        samples.insert(samples.end(), row, row + width);
        break;
      case TScanOrder::Bytes:
        samples.insert(samples.end(), row, row + width * static_cast<std::size_t>(bytesPerPixel));
        break;
      case TScanOrder::Bgr:
      case TScanOrder::Rgb:
        for (std::size_t x = 0; x < width; ++x) {
          const std::uint8_t* pixel = row + x * static_cast<std::size_t>(bytesPerPixel);
          if (order == TScanOrder::Bgr) {
            samples.insert(samples.end(), {pixel[0], pixel[1], pixel[2]});
          } else {
            samples.insert(samples.end(), {pixel[2], pixel[1], pixel[0]});
          }
        }
        break;
    }
  }
  if (samples.size() > wanted) samples.resize(wanted);
  return samples;
}

std::vector<std::uint8_t> PackLowBits(const std::vector<std::uint8_t>& samples, int bits,
                                      bool msbFirst) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(samples.size() * static_cast<std::size_t>(bits) / 8);
  unsigned value = 0;
  int filled = 0;
  for (const std::uint8_t sample : samples) {
    // Of two low bits, the higher is read first.
    for (int b = bits - 1; b >= 0; --b) {
      const unsigned bit = (sample >> b) & 1u;
      value = msbFirst ? (value << 1) | bit : value | (bit << filled);
      if (++filled == 8) {
        bytes.push_back(static_cast<std::uint8_t>(value & 0xFFu));
        value = 0;
        filled = 0;
      }
    }
  }
  return bytes;
}

std::vector<TScanOrder> OrdersFor(const TBitmap& bitmap) {
  switch (bitmap.BitsPerPixel()) {
    case 24:
    case 32:
      return {TScanOrder::Bgr, TScanOrder::Rgb, TScanOrder::Writer};
    case 15:
    case 16:
      return {TScanOrder::Bytes, TScanOrder::Writer};
    case 8:
      return {TScanOrder::Writer};  // one byte per pixel: the row's bytes are the writer's
    default:
      return {};  // rows shorter than the width carry nothing the writer left
  }
}

}  // namespace

int MinimumRun(int streams) {
  // A random byte is printable with probability 98/256; a run of L starts at a given place with
  // about (1 - r) r^L.
  constexpr double r = 98.0 / 256.0;
  const double places = static_cast<double>(streams) * static_cast<double>(kScanBytes);
  int length = 8;
  while (places * (1 - r) * std::pow(r, length) > 1e-3) ++length;
  return length;
}

bool LooksLikeText(std::string_view run) {
  std::array<int, 256> counts{};
  int distinct = 0, most = 0, words = 0;
  for (const char c : run) {
    int& n = counts[static_cast<unsigned char>(c)];
    distinct += n == 0;
    most = std::max(most, ++n);
    words += std::isalnum(static_cast<unsigned char>(c)) != 0 || c == ' ';
  }
  const auto length = static_cast<int>(run.size());
  if (distinct < kTextMinimumDistinct || 2 * most > length) return false;
  // Prose and Base64 are nearly all letters, digits and spaces; the low bits of a picture give
  // as much punctuation as any printable character.
  if (100 * words < kTextWordShare * length) return false;
  // A pattern of up to four characters repeated is what flat colours give.
  for (std::size_t period = 1; period <= kTextLongestPeriod; ++period) {
    bool repeats = true;
    for (std::size_t i = period; repeats && i < run.size(); ++i)
      repeats = run[i] == run[i - period];
    if (repeats) return false;
  }
  return true;
}

std::vector<std::pair<std::int64_t, std::int64_t>> PrintableRuns(
    const std::vector<std::uint8_t>& bytes, int minimum) {
  std::vector<std::pair<std::int64_t, std::int64_t>> runs;
  const auto n = static_cast<std::int64_t>(bytes.size());
  std::int64_t start = 0;
  for (std::int64_t i = 0; i <= n; ++i) {
    if (i < n && Printable(bytes[static_cast<std::size_t>(i)])) continue;
    if (i - start >= minimum) runs.emplace_back(start, i - start);
    start = i + 1;
  }
  return runs;
}

std::vector<TTextFinding> ScanReadableText(const TBitmap& bitmap) {
  std::vector<TTextFinding> findings;
  if (bitmap.Empty()) return findings;
  const std::vector<TScanOrder> orders = OrdersFor(bitmap);
  const int minimum = MinimumRun(static_cast<int>(orders.size()) * 4);
  for (const TScanOrder order : orders) {
    const auto samples = OrderedSamples(bitmap, order, static_cast<std::size_t>(kScanBytes) * 8);
    for (const int bits : {1, 2}) {
      for (const bool msbFirst : {true, false}) {
        std::vector<std::uint8_t> bytes = PackLowBits(samples, bits, msbFirst);
        if (bytes.size() > static_cast<std::size_t>(kScanBytes)) bytes.resize(kScanBytes);
        auto runs = PrintableRuns(bytes, minimum);
        std::erase_if(runs, [&bytes](const auto& run) {
          const auto* first = bytes.data() + run.first;
          return !LooksLikeText(std::string_view(reinterpret_cast<const char*>(first),
                                                 static_cast<std::size_t>(run.second)));
        });
        if (runs.empty()) continue;
        const auto longest =
            *std::max_element(runs.begin(), runs.end(),
                              [](const auto& a, const auto& b) { return a.second < b.second; });
        TTextFinding f{order, bits, msbFirst, longest.first, longest.second, {}, false};
        const auto* first = bytes.data() + longest.first;
        const std::string run(first, first + longest.second);
        f.Start = run.substr(0, kScanStartChars);
        f.Base64 = std::all_of(run.begin(), run.end(), Base64Character);
        findings.push_back(std::move(f));
      }
    }
  }
  std::stable_sort(
      findings.begin(), findings.end(),
      [](const TTextFinding& a, const TTextFinding& b) { return a.Length > b.Length; });
  return findings;
}

}  // namespace pennacrow::analysis
