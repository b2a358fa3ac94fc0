// Fractal paints at the program's size and at a large one, and the escape-time painter beside a
// plain scalar loop over the same iteration (no pixel writes), so the cost of writing pixels one
// by one through the bitmap shows as a ratio within one run.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "picture/FractalPainters.h"

namespace {

using namespace pennacrow;

void BM_Paint(benchmark::State& state) {
  const auto type = static_cast<TFractalTypes>(state.range(0));
  const int width = static_cast<int>(state.range(1));
  const int height = static_cast<int>(state.range(2));
  const int depth = static_cast<int>(state.range(3));
  TFractalProperties properties;
  properties.ChangeFractalType(type);
  properties.Seed = 12345;
  TBitmap bitmap(width, height, depth);
  if (depth <= 8) {
    for (int i = 0; i < 256; ++i) {
      bitmap.Palette().push_back(RGB(static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i),
                                     static_cast<std::uint8_t>(255 - i)));
    }
  }
  for (auto _ : state) {
    DrawFractal(bitmap, properties);
    benchmark::DoNotOptimize(bitmap.Bits().data());
  }
  state.SetItemsProcessed(state.iterations() * width * height);
}

void PaintArgs(benchmark::internal::Benchmark* b) {
  b->ArgNames({"kind", "w", "h", "bpp"});
  for (int kind = 0; kind < kFractalTypeCount; ++kind) {
    b->Args({kind, 827, 402, 24});
    b->Args({kind, 4000, 3000, 24});
  }
  b->Args({ftMandelBrot, 827, 402, 8});  // every pixel looks up the nearest palette entry
  b->Args({ftFern, 827, 402, 8});
}
BENCHMARK(BM_Paint)->Apply(PaintArgs)->Unit(benchmark::kMillisecond);

// The same iteration as the painter, counting escape steps into a plain array.
void BM_EscapeTimeScalar(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  const TFractalProperties p;
  std::vector<std::uint8_t> indices(static_cast<std::size_t>(width) * height);
  for (auto _ : state) {
    const double dx = (p.X1 - p.X0) / width;
    const double dy = (p.Y1 - p.Y0) / height;
    const double scale = p.NumberOfIterations / 16.0;
    std::uint8_t* out = indices.data();
    for (int y = 0; y < height; ++y) {
      const double ci = p.Y0 + y * dy;
      for (int x = 0; x < width; ++x) {
        const double cr = p.X0 + x * dx;
        double re = 0, im = 0;
        int index = 0;
        for (int k = 0; k < p.NumberOfIterations; ++k) {
          const double re2 = re * re, im2 = im * im;
          if (re2 + im2 >= 4.0) {
            index = static_cast<int>(k / scale + 0.5);
            break;
          }
          im = 2.0 * re * im + ci;
          re = re2 - im2 + cr;
        }
        *out++ = static_cast<std::uint8_t>(index);
      }
    }
    benchmark::DoNotOptimize(indices.data());
  }
  state.SetItemsProcessed(state.iterations() * width * height);
}
BENCHMARK(BM_EscapeTimeScalar)->Args({827, 402})->Args({4000, 3000})->Unit(benchmark::kMillisecond);

void BM_EscapeTimePainter(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  const TFractalProperties p;
  TBitmap bitmap(width, height, 24);
  for (auto _ : state) {
    DrawEscapeTime(bitmap, p, TEscapeTimeMode::Mandelbrot);
    benchmark::DoNotOptimize(bitmap.Bits().data());
  }
  state.SetItemsProcessed(state.iterations() * width * height);
}
BENCHMARK(BM_EscapeTimePainter)
    ->Args({827, 402})
    ->Args({4000, 3000})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
