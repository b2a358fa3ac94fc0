// What a sealed hide or reveal costs beyond the plain container: almost all of it is the key
// derivation, which should take at least a tenth of a second at the default limits so that
// guessing a password costs an attacker as much per try.

#include <benchmark/benchmark.h>

#include "adaptive/KeyedSeal.h"
#include "crypto/Sealed.h"

namespace {

using namespace pennacrow;

const TSealedContent kText{TSealedKind::Text, "", "a page of text to seal"};

void BM_SealDefaultLimits(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(SealPayload("correct horse", kText));
}
BENCHMARK(BM_SealDefaultLimits)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_OpenDefaultLimits(benchmark::State& state) {
  const std::string sealed = SealPayload("correct horse", kText);
  for (auto _ : state) benchmark::DoNotOptimize(OpenSealedPayload("correct horse", sealed));
}
BENCHMARK(BM_OpenDefaultLimits)->Unit(benchmark::kMillisecond)->Iterations(5);

// The keyed mode's one derivation, which its layout fixes (a quarter of the memory above).
void BM_KeyedKeys(benchmark::State& state) {
  for (auto _ : state) {
    const adaptive::TKeyedKeys keys("correct horse", "pixels 4000 3000 3",
                                    adaptive::KeyedSealParameters());
    benchmark::DoNotOptimize(keys.Order().data());
  }
}
BENCHMARK(BM_KeyedKeys)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
