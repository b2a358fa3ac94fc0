// The codec against the cost of the file it lives in: writing and reading the longest text
// (65,535 bytes) in a 4000 x 3000 24-bit picture, next to saving and loading that picture as a
// BMP file. The codec should stay a small fraction (under 5%) of the BMP round trip.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <string>

#include "codec/BinaryUnit.h"
#include "codec/Container.h"
#include "picture/Bitmap.h"

namespace {

using namespace pennacrow;

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

TBitmap& Carrier() {
  static TBitmap bitmap = [] {
    TBitmap b(kWidth, kHeight, 24);
    std::mt19937 random(1);
    for (std::uint8_t& byte : b.MutableBits()) byte = static_cast<std::uint8_t>(random());
    return b;
  }();
  return bitmap;
}

const std::string& LongestText() {
  static const std::string text = [] {
    std::string t(65535, '\0');
    std::mt19937 random(2);
    for (char& c : t) c = static_cast<char>(random());
    return t;
  }();
  return text;
}

// What the write and read commands do: build the container, write it, probe, read it back.
void BM_CodecWriteRead(benchmark::State& state) {
  TBitmap& bitmap = Carrier();
  const std::string& text = LongestText();
  for (auto _ : state) {
    AddBinaryToImage(bitmap, BuildBinaryString(text, kFormatPlain));
    std::uint8_t format = DetectDataFormat(&bitmap);
    const std::string back = RemoveBinaryFromImage(bitmap, format);
    if (back != text) state.SkipWithError("the text did not read back");
    benchmark::DoNotOptimize(back.data());
  }
}
BENCHMARK(BM_CodecWriteRead)->Unit(benchmark::kMillisecond);

void BM_BmpSaveLoad(benchmark::State& state) {
  const std::string file = (std::filesystem::temp_directory_path() /
                            ("pennacrow-bench-" + std::to_string(::getpid()) + ".bmp"))
                               .string();
  const TBitmap& bitmap = Carrier();
  for (auto _ : state) {
    bitmap.SaveToFile(file);
    TBitmap loaded;
    loaded.LoadFromFile(file);
    benchmark::DoNotOptimize(loaded.Bits().data());
  }
  std::filesystem::remove(file);
}
BENCHMARK(BM_BmpSaveLoad)->Unit(benchmark::kMillisecond);

// Keeps the mean real time of every benchmark so that main can print the ratio.
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
        Times[run.run_name.function_name] = run.GetAdjustedRealTime();
      }
    }
  }
  std::map<std::string, double> Times;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  const auto codec = reporter.Times.find("BM_CodecWriteRead");
  const auto bmp = reporter.Times.find("BM_BmpSaveLoad");
  if (codec == reporter.Times.end() || bmp == reporter.Times.end() || bmp->second <= 0) return 0;
  const double ratio = codec->second / bmp->second;
  std::printf("codec write+read: %.2f ms, BMP save+load: %.2f ms, ratio %.2f%% (target < 5%%)\n",
              codec->second, bmp->second, 100.0 * ratio);
  return 0;
}
