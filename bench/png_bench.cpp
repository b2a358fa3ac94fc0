// Our PNG writer against libpng's own writer on the same 4000 x 3000 picture: the same zlib level
// and an equivalent adaptive filter set (None, Sub, Average, Paeth). After the Google Benchmark
// runs, a best-of-N comparison prints the time ratio and the file sizes side by side.

#include <benchmark/benchmark.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <utility>
#include <vector>

#include "formats/PngWriter.h"

namespace {

using pennacrow::TBitmap;
using pennacrow::TPngWriter;

// Smooth shading, a few soft edges and a little sensor-like noise.
const TPngWriter& Picture() {
  static const TPngWriter picture = [] {
    TPngWriter p;
    p.Allocate(4000, 3000, 24);
    std::uint32_t noise = 2024;
    for (int y = 0; y < p.Height(); ++y) {
      std::uint8_t* row = p.RowAt(y);
      for (int x = 0; x < p.Width(); ++x) {
        const double sky = 0.5 + 0.5 * std::sin(x * 0.0021 + y * 0.0013) * std::cos(y * 0.0017);
        const bool hill = y > 1800 + 300 * std::sin(x * 0.003);
        double r = hill ? 60 + 40 * sky : 120 + 100 * sky;
        double g = hill ? 110 + 60 * sky : 150 + 80 * sky;
        double b = hill ? 40 + 20 * sky : 200 + 50 * sky;
        for (double* c : {&r, &g, &b}) {
          noise = noise * 1664525 + 1013904223;
          *c += static_cast<int>(noise >> 29) - 4;  // -4 .. +3
        }
        row[3 * x] = static_cast<std::uint8_t>(std::clamp(b, 0.0, 255.0));
        row[3 * x + 1] = static_cast<std::uint8_t>(std::clamp(g, 0.0, 255.0));
        row[3 * x + 2] = static_cast<std::uint8_t>(std::clamp(r, 0.0, 255.0));
      }
    }
    return p;
  }();
  return picture;
}

std::vector<std::uint8_t> OurPng(const TPngWriter& picture) {
  return picture.SaveToStream();
}

void AppendToVector(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

void FlushNothing(png_structp) {}

// No object with a destructor lives in this frame: libpng's errors longjmp out of it.
bool LibpngWrite(const TBitmap& picture, std::vector<png_bytep>& rows,
                 std::vector<std::uint8_t>& out) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, &out, AppendToVector, FlushNothing);
  png_set_IHDR(png, info, static_cast<png_uint_32>(picture.Width()),
               static_cast<png_uint_32>(picture.Height()), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, Z_DEFAULT_COMPRESSION);
  png_set_filter(png, PNG_FILTER_TYPE_BASE,
                 PNG_FILTER_NONE | PNG_FILTER_SUB | PNG_FILTER_AVG | PNG_FILTER_PAETH);
  png_write_info(png, info);
  png_set_bgr(png);  // the bitmap holds blue, green, red
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

std::vector<std::uint8_t> LibpngPng(const TBitmap& picture) {
  std::vector<png_bytep> rows(static_cast<std::size_t>(picture.Height()));
  for (int y = 0; y < picture.Height(); ++y) {
    rows[static_cast<std::size_t>(y)] = const_cast<png_bytep>(picture.ConstRowAt(y));
  }
  std::vector<std::uint8_t> out;
  out.reserve(static_cast<std::size_t>(picture.Width()) * picture.Height() * 3);
  if (!LibpngWrite(picture, rows, out)) out.clear();
  return out;
}

void BM_PennacrowWriter(benchmark::State& state) {
  const TPngWriter& picture = Picture();
  std::size_t size = 0;
  for (auto _ : state) {
    const std::vector<std::uint8_t> file = OurPng(picture);
    size = file.size();
    benchmark::DoNotOptimize(file.data());
  }
  state.counters["file_bytes"] = static_cast<double>(size);
}

void BM_LibpngWriter(benchmark::State& state) {
  const TPngWriter& picture = Picture();
  std::size_t size = 0;
  for (auto _ : state) {
    const std::vector<std::uint8_t> file = LibpngPng(picture);
    size = file.size();
    benchmark::DoNotOptimize(file.data());
  }
  state.counters["file_bytes"] = static_cast<double>(size);
}

BENCHMARK(BM_PennacrowWriter)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LibpngWriter)->Unit(benchmark::kMillisecond)->Iterations(3);

struct TTiming {
  double Wall = 1e300;  // best of the runs, seconds
  double Cpu = 1e300;   // process CPU time of the same runs, best, seconds
  std::size_t Size = 0;
};

// Wall and CPU time both: the machine may be shared, and CPU time is the steadier of the two.
template <typename F>
TTiming Best(F&& write, int runs) {
  TTiming t;
  for (int i = 0; i < runs; ++i) {
    const std::clock_t cpuStart = std::clock();
    const auto start = std::chrono::steady_clock::now();
    const std::vector<std::uint8_t> file = write();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    const double cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    t.Wall = std::min(t.Wall, took.count());
    t.Cpu = std::min(t.Cpu, cpu);
    t.Size = file.size();
  }
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  const TPngWriter& picture = Picture();
  const TTiming ours = Best([&] { return OurPng(picture); }, 3);
  const TTiming libpng = Best([&] { return LibpngPng(picture); }, 3);
  std::printf("\n%-12s %12s %12s %14s\n", "writer", "best wall ms", "best CPU ms", "file bytes");
  for (const auto& [name, t] : {std::pair{"pennacrow", ours}, std::pair{"libpng", libpng}}) {
    std::printf("%-12s %12.1f %12.1f %14zu\n", name, t.Wall * 1000, t.Cpu * 1000, t.Size);
  }
  std::printf("time ratio pennacrow / libpng: wall %.3f, CPU %.3f (target <= 1.3)\n",
              ours.Wall / libpng.Wall, ours.Cpu / libpng.Cpu);
  std::printf("size ratio pennacrow / libpng: %.3f\n",
              static_cast<double>(ours.Size) / static_cast<double>(libpng.Size));
  return 0;
}
