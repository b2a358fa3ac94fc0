// Embedding efficiency of the ±1 syndrome-trellis coder against the bound, and its speed.
//
//   pennacrow_bench_stc [ELEMENTS]
//
// Every element costs 1 either way (the constant profile), so the bound is the ternary one: a
// payload of α bits per element needs at least the change rate β with
// α = -β·log2(β/2) - (1 - β)·log2(1 - β), and the efficiency (bits per change) is α / β. Prints a
// Markdown table per constraint height: payload, bound, measured efficiency, its share of the
// bound, and the writer's processor time per element (processor time, not wall time, because
// the machines this runs on are shared). ELEMENTS defaults to 196,608, a 256 × 256 colour
// tile.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <vector>

#include "adaptive/PlusMinusOne.h"

namespace {

using namespace pennacrow::adaptive;

double TernaryBound(double alpha) {
  auto h3 = [](double b) { return -b * std::log2(b / 2) - (1 - b) * std::log2(1 - b); };
  double low = 1e-9, high = 2.0 / 3.0;
  for (int i = 0; i < 100; ++i) {
    const double middle = 0.5 * (low + high);
    (h3(middle) < alpha ? low : high) = middle;
  }
  return alpha / low;
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t n = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 196608;
  std::mt19937_64 random(1);
  std::vector<std::int16_t> values(n);
  for (auto& v : values) v = static_cast<std::int16_t>(1 + random() % 254);
  // Level 192 costs 1.
  const std::vector<std::uint8_t> levels(n, CostLevel(1.0f));
  TCostHistogram uniform;
  uniform.Add(CostLevel(1.0f), CostLevel(1.0f), n);
  std::printf(
      "| h | bits per element | bound (bits per change) | measured | share | CPU ns per element "
      "|\n");
  std::printf("|---:|---:|---:|---:|---:|---:|\n");
  for (int height = 7; height <= 10; ++height) {
    TTernaryWriter writer(height);
    for (const double alpha : {0.1, 0.2, 0.4}) {
      const auto bits = static_cast<std::size_t>(alpha * static_cast<double>(n));
      const TTernaryPlan plan = PlanTernary(uniform, bits);
      std::vector<std::uint8_t> p2(plan.P2Bits), p1(plan.P1Bits);
      for (auto& b : p2) b = random() & 1;
      for (auto& b : p1) b = random() & 1;
      const std::clock_t start = std::clock();
      std::vector<std::int8_t> changes(n);
      writer.Embed({values, levels, levels}, plan, p2, p1, changes);
      const double seconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
      std::size_t changed = 0;
      for (const std::int8_t c : changes) changed += c != 0;
      std::vector<std::int16_t> stego(values);
      for (std::size_t i = 0; i < n; ++i)
        stego[i] = static_cast<std::int16_t>(stego[i] + changes[i]);
      const TTernaryBits back = ExtractTernary(stego, p2.size(), p1.size(), height);
      if (back.P2 != p2 || back.P1 != p1) {
        std::fprintf(stderr, "h=%d alpha=%.1f: the message did not come back\n", height, alpha);
        return 1;
      }
      const double bound = TernaryBound(alpha);
      const double measured = static_cast<double>(bits) / static_cast<double>(changed);
      std::printf("| %d | %.1f | %.2f | %.2f | %.1f %% | %.1f |\n", height, alpha, bound, measured,
                  100 * measured / bound, 1e9 * seconds / static_cast<double>(n));
    }
  }
  return 0;
}
