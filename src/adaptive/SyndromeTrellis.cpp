#include "adaptive/SyndromeTrellis.h"
#include "base/Translate.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>

#include "base/LargeBuffer.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define PENNACROW_STC_AVX2 1
#endif

namespace pennacrow::adaptive {

EStcInfeasible::EStcInfeasible()
    : EPennacrowError(Tr("这张图片能改动的样本太少，放不下这些内容")) {}

namespace {

std::uint64_t SplitMix64(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// Vectors are at most 2^31 long, so j·n fits in 64 bits.
constexpr std::size_t kMaxColumns = std::size_t{1} << 31;

void CheckShape(int height, std::size_t columns) {
  if (height < kMinStcHeight || height > kMaxStcHeight || columns > kMaxColumns) {
    throw EPennacrowError("syndrome-trellis shape out of range");
  }
}

// Where block j starts: floor(j·n/m).
std::size_t BlockStart(std::size_t j, std::size_t n, std::size_t m) {
  return static_cast<std::size_t>(std::uint64_t{j} * n / m);
}

// The submatrix's columns, worked out once when the blocks are narrow enough for a table.
class TColumns {
 public:
  TColumns(int height, std::size_t width) : FHeight(height), FWidth(width) {
    if (width <= kTabled) {
      FTable.resize(width);
      for (std::size_t k = 0; k < width; ++k) FTable[k] = StcColumn(height, width, k);
    }
  }
  std::uint32_t operator[](std::size_t k) const {
    return FTable.empty() ? StcColumn(FHeight, FWidth, k) : FTable[k];
  }
  // The columns in a row, when they are in a table.
  const std::uint32_t* Table() const { return FTable.empty() ? nullptr : FTable.data(); }

 private:
  static constexpr std::size_t kTabled = 1 << 16;
  int FHeight;
  std::size_t FWidth;
  std::vector<std::uint32_t> FTable;
};

// Path costs of the 2^h states, aligned for the widest vector loop.
class TCosts {
 public:
  explicit TCosts(std::size_t states) : FData(states + 16) {
    const auto address = reinterpret_cast<std::uintptr_t>(FData.data());
    FOffset = ((64 - address % 64) % 64) / sizeof(float);
  }
  float* Data() { return FData.data() + FOffset; }

 private:
  std::vector<float> FData;
  std::size_t FOffset = 0;
};

// One column whose bit may flip: next[t] = min(old[t] + keep, old[t ^ column] + flip) where
// keep is the cost of y = 0 and flip that of y = 1; a set bit in path (bit t % 8 of byte t / 8)
// records that y = 1 won.
void DryColumnPortable(const float* old, float* next, std::uint8_t* path, std::size_t states,
                       std::uint32_t column, float cost0, float cost1) {
  for (std::size_t v = 0; v < states; v += 8) {
    std::uint8_t bits = 0;
    for (std::size_t k = 0; k < 8 && v + k < states; ++k) {
      const std::size_t t = v + k;
      const float a = old[t] + cost0;
      const float b = old[t ^ column] + cost1;
      const bool one = b < a;
      next[t] = one ? b : a;
      bits = static_cast<std::uint8_t>(bits | (std::uint8_t{one} << k));
    }
    path[v / 8] = bits;
  }
}

#ifdef PENNACROW_STC_AVX2
__attribute__((target("avx2"))) void DryColumnAvx2(const float* old, float* next,
                                                   std::uint8_t* path, std::size_t states,
                                                   std::uint32_t column, float cost0, float cost1) {
  // The low three bits of the column permute the lanes of a vector, the others pick the vector.
  const __m256i lanes = _mm256_xor_si256(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7),
                                         _mm256_set1_epi32(static_cast<int>(column & 7u)));
  const std::size_t partner = column >> 3;
  const __m256 keep = _mm256_set1_ps(cost0);
  const __m256 flip = _mm256_set1_ps(cost1);
  // The decisions go out eight bytes at a time, past the cache: they are read once, at the walk
  // back, and fetching their lines before writing them would cost more than the column itself.
  std::uint64_t word = 0;
  for (std::size_t v = 0; v < states / 8; ++v) {
    const __m256 a = _mm256_add_ps(_mm256_load_ps(old + 8 * v), keep);
    const __m256 b = _mm256_add_ps(
        _mm256_permutevar8x32_ps(_mm256_load_ps(old + 8 * (v ^ partner)), lanes), flip);
    const __m256 one = _mm256_cmp_ps(b, a, _CMP_LT_OQ);
    _mm256_store_ps(next + 8 * v, _mm256_min_ps(b, a));
    const auto bits = static_cast<std::uint64_t>(_mm256_movemask_ps(one));
    if (states < 64) {
      path[v] = static_cast<std::uint8_t>(bits);
      continue;
    }
    word |= bits << (8 * (v % 8));
    if (v % 8 == 7) {
      _mm_stream_si64(reinterpret_cast<long long*>(path + v - 7), static_cast<long long>(word));
      word = 0;
    }
  }
}

// The same with 16 lanes, for trellises of at least 64 states.
__attribute__((target("avx512f"))) void DryColumnAvx512(const float* old, float* next,
                                                        std::uint8_t* path, std::size_t states,
                                                        std::uint32_t column, float cost0,
                                                        float cost1) {
  const __m512i lanes =
      _mm512_xor_si512(_mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15),
                       _mm512_set1_epi32(static_cast<int>(column & 15u)));
  const std::size_t partner = column >> 4;
  const __m512 keep = _mm512_set1_ps(cost0);
  const __m512 flip = _mm512_set1_ps(cost1);
  // The masked forms with every lane set: the plain ones start from an undefined register,
  // which GCC 12 takes for an uninitialised variable.
  const __m512 zero = _mm512_setzero_ps();
  constexpr __mmask16 kAll = 0xFFFF;
  std::uint64_t word = 0;
  for (std::size_t v = 0; v < states / 16; ++v) {
    const __m512 a = _mm512_add_ps(_mm512_load_ps(old + 16 * v), keep);
    const __m512 b = _mm512_add_ps(
        _mm512_mask_permutexvar_ps(zero, kAll, lanes, _mm512_load_ps(old + 16 * (v ^ partner))),
        flip);
    const __mmask16 one = _mm512_cmp_ps_mask(b, a, _CMP_LT_OQ);
    _mm512_store_ps(next + 16 * v, _mm512_mask_min_ps(zero, kAll, b, a));
    word |= static_cast<std::uint64_t>(one) << (16 * (v % 4));
    if (v % 4 == 3) {
      _mm_stream_si64(reinterpret_cast<long long*>(path + 2 * (v - 3)),
                      static_cast<long long>(word));
      word = 0;
    }
  }
}

// The columns [begin, end) of one block sorted sixteen at a time: the dry ones' bits set in mask
// (zeroed beforehand, a word to spare), their count added to dry; returns the XOR of the wet set
// bits' columns, table holding the block's columns from its first.
__attribute__((target("avx512f,avx512bw,avx512vl"))) std::uint32_t SortBlockAvx512(
    const float* cost, const std::uint8_t* bit, const std::uint32_t* table, std::size_t begin,
    std::size_t end, std::uint64_t* mask, std::size_t& dry) {
  const __m512 wetCost = _mm512_set1_ps(kWet);
  __m512i syndrome = _mm512_setzero_si512();
  for (std::size_t c = begin; c < end; c += 16) {
    const auto lanes = static_cast<__mmask16>(end - c >= 16 ? 0xFFFF : (1u << (end - c)) - 1);
    const __mmask16 wet =
        _mm512_mask_cmp_ps_mask(lanes, _mm512_maskz_loadu_ps(lanes, cost + c), wetCost, _CMP_EQ_OQ);
    const __mmask16 set =
        _mm_mask_test_epi8_mask(lanes, _mm_maskz_loadu_epi8(lanes, bit + c), _mm_set1_epi8(-1));
    syndrome = _mm512_xor_si512(
        syndrome, _mm512_maskz_loadu_epi32(static_cast<__mmask16>(wet & set), table + (c - begin)));
    const std::uint64_t dryLanes = static_cast<std::uint16_t>(lanes & ~wet);
    const std::size_t shift = c % 64;
    mask[c / 64] |= dryLanes << shift;
    if (shift > 48) mask[c / 64 + 1] |= dryLanes >> (64 - shift);
    dry += static_cast<std::size_t>(std::popcount(dryLanes));
  }
  alignas(64) std::array<std::uint32_t, 16> lanes{};
  _mm512_store_si512(lanes.data(), syndrome);
  std::uint32_t wet = 0;
  for (const std::uint32_t column : lanes) wet ^= column;
  return wet;
}

bool HaveAvx512Bw() {
  static const bool have = __builtin_cpu_supports("avx512f") &&
                           __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl");
  return have;
}

bool HaveAvx2() {
  static const bool have = __builtin_cpu_supports("avx2");
  return have;
}

bool HaveAvx512() {
  static const bool have = __builtin_cpu_supports("avx512f");
  return have;
}
#endif

using TDryColumn = void (*)(const float*, float*, std::uint8_t*, std::size_t, std::uint32_t, float,
                            float);

TDryColumn ChooseKernel(TStcKernel kernel, std::size_t states) {
#ifdef PENNACROW_STC_AVX2
  if (kernel == TStcKernel::Auto && states >= 64 && HaveAvx512()) return DryColumnAvx512;
  if (kernel == TStcKernel::Auto && states >= 8 && HaveAvx2()) return DryColumnAvx2;
#endif
  (void)kernel;
  (void)states;
  return DryColumnPortable;
}

// One look at every column sorts them: a wet one only adds its column to its block's syndrome
// when its bit is set, which needs doing once, not again in both passes. Most of a sparse
// cover's columns are wet. Returns the number of dry columns.
std::size_t SortColumns(TDryColumns& sorted, std::span<const std::uint8_t> cover,
                        std::span<const float> flipCost, std::size_t m, const TColumns& columns,
                        TStcKernel kernel) {
  const std::size_t n = cover.size();
  sorted.WetSyndrome.resize(m);
  std::size_t dry = 0;
  const float* const cost = flipCost.data();
  const std::uint8_t* const bit = cover.data();
#ifdef PENNACROW_STC_AVX2
  const std::uint32_t* const table = columns.Table();
  if (table != nullptr && kernel == TStcKernel::Auto && HaveAvx512Bw()) {
    sorted.Mask.assign(n / 64 + 2, 0);
    for (std::size_t j = 0; j < m; ++j) {
      const std::size_t begin = BlockStart(j, n, m), end = BlockStart(j + 1, n, m);
      sorted.WetSyndrome[j] =
          SortBlockAvx512(cost, bit, table, begin, end, sorted.Mask.data(), dry);
    }
    return dry;
  }
#endif
  (void)kernel;
  sorted.Mask.resize(n / 64 + 2);
  std::uint64_t* const mask = sorted.Mask.data();
  // The mask's word is built in a register and stored whole: or-ing into memory column by
  // column would have every column wait for the last one's store.
  std::uint64_t word = 0;
  for (std::size_t j = 0; j < m; ++j) {
    const std::size_t begin = BlockStart(j, n, m), end = BlockStart(j + 1, n, m);
    std::uint32_t wet = 0;
    for (std::size_t c = begin; c < end; ++c) {
      const bool isWet = cost[c] == kWet;
      word |= std::uint64_t{!isWet} << (c % 64);
      if (c % 64 == 63) mask[c / 64] = word, word = 0;
      dry += !isWet;
      wet ^= columns[c - begin] & (0u - (std::uint32_t{isWet} & std::uint32_t{bit[c] != 0}));
    }
    sorted.WetSyndrome[j] = wet;
  }
  if (n % 64 != 0) mask[n / 64] = word;
  return dry;
}

// What the forward pass leaves for the walk back besides the decisions: for each block, the
// relabelling in force at its end, and the best final state.
struct TForward {
  std::vector<std::uint32_t> BlockOffset;
  std::size_t FinalState = 0;
};

// The end of block j: only states whose row j (bit 0 of i ^ offset) equals the message bit
// survive, and they move down one row. Returns false when none survives.
bool CloseBlock(float*& old, float*& next, std::size_t states, std::size_t bit) {
  float best = kWet;
  for (std::size_t i = 0; i < states / 2; ++i) {
    next[i] = old[(i << 1) | bit];
    best = std::min(best, next[i]);
  }
  if (best == kWet) return false;
  // Costs relative to the best state keep float's precision for small costs on long paths.
  for (std::size_t i = 0; i < states / 2; ++i) next[i] -= best;
  std::fill(next + states / 2, next + states, kWet);
  std::swap(old, next);
  return true;
}

// The Viterbi pass over the dry columns; their decisions go to path, 2^h bits each. A wet column
// has no choice, so instead of moving the costs its block's wet columns XOR their columns into
// offset: the cost at index i belongs to the partial syndrome i ^ offset. Closing a block shifts
// offset with the states, which keeps the relabelling exact.
TForward RunForward(const TDryColumns& dry, const TColumns& columns,
                    std::span<const std::uint8_t> cover, std::span<const float> flipCost,
                    std::span<const std::uint8_t> message, int height, TStcKernel kernel,
                    std::uint8_t* path) {
  const std::size_t n = cover.size(), m = message.size();
  const std::size_t states = std::size_t{1} << height;
  const std::size_t pathBytes = (states + 7) / 8;
  TForward result;
  result.BlockOffset.resize(m);
  TCosts first(states), second(states);
  float* old = first.Data();
  float* next = second.Data();
  std::fill(old, old + states, kWet);
  old[0] = 0;
  const TDryColumn dryColumn = ChooseKernel(kernel, states);
  std::uint32_t offset = 0;
  for (std::size_t j = 0; j < m; ++j) {
    const std::size_t begin = BlockStart(j, n, m), end = BlockStart(j + 1, n, m);
    for (std::size_t c = dry.Next(begin, end); c < end; c = dry.Next(c + 1, end)) {
      const float cost0 = cover[c] ? flipCost[c] : 0.0f;
      const float cost1 = cover[c] ? 0.0f : flipCost[c];
      dryColumn(old, next, path, states, columns[c - begin], cost0, cost1);
      path += pathBytes;
      std::swap(old, next);
    }
    offset ^= dry.WetSyndrome[j];
    result.BlockOffset[j] = offset;
    if (!CloseBlock(old, next, states, (message[j] ^ offset) & 1u)) throw EStcInfeasible();
    offset >>= 1;
  }
  result.FinalState = static_cast<std::size_t>(std::min_element(old, old + states) - old);
#ifdef PENNACROW_STC_AVX2
  _mm_sfence();
#endif
  return result;
}

}  // namespace

std::size_t TDryColumns::Next(std::size_t c, std::size_t end) const {
  while (c < end) {
    const std::uint64_t word = Mask[c / 64] >> (c % 64);
    if (word != 0) return std::min(end, c + static_cast<std::size_t>(std::countr_zero(word)));
    c = (c / 64 + 1) * 64;
  }
  return end;
}

std::size_t TDryColumns::Previous(std::size_t begin, std::size_t c) const {
  while (c > begin) {
    // The bits of the columns below c in c's word (or the word below when c starts one).
    const std::size_t last = c - 1;
    const std::uint64_t word = Mask[last / 64] << (63 - last % 64);
    if (word != 0) {
      const std::size_t found = last - static_cast<std::size_t>(std::countl_zero(word));
      return found >= begin ? found : begin - 1;
    }
    c = last / 64 * 64;
  }
  return begin - 1;
}

std::uint32_t StcColumn(int height, std::size_t width, std::size_t k) {
  const std::uint64_t submatrix = SplitMix64((std::uint64_t(height) << 48) ^ width);
  const std::uint32_t mask = (1u << height) - 1u;
  const auto word = static_cast<std::uint32_t>(SplitMix64(submatrix ^ k) >> 32);
  return (word & mask) | 1u | (1u << (height - 1));
}

TStcWriter::TStcWriter(int height, TStcKernel kernel) : FHeight(height), FKernel(kernel) {
  CheckShape(height, 0);
}

std::uint8_t* TStcWriter::PathMemory(std::size_t bytes) {
  if (bytes > FPathBytes) {
    FPath.reset();
    // Left uninitialised: the forward pass writes every byte before the walk back reads it.
    FPath.reset(new std::uint8_t[bytes]);
    PrepareLargeBuffer(FPath.get(), bytes);
    FPathBytes = bytes;
  }
  return FPath.get();
}

void TStcWriter::Embed(std::span<const std::uint8_t> cover, std::span<const float> flipCost,
                       std::span<const std::uint8_t> message, std::span<std::uint8_t> stego) {
  CheckShape(FHeight, cover.size());
  std::copy(cover.begin(), cover.end(), stego.begin());
  const std::size_t n = cover.size(), m = message.size();
  if (m == 0) return;
  if (n < m) throw EStcInfeasible();
  const std::size_t states = std::size_t{1} << FHeight;
  const std::size_t pathBytes = (states + 7) / 8;
  const TColumns columns(FHeight, (n + m - 1) / m);
  const std::size_t dry = SortColumns(FDry, cover, flipCost, m, columns, FKernel);
  const std::uint8_t* path = PathMemory(dry * pathBytes);
  const TForward forward = RunForward(FDry, columns, cover, flipCost, message, FHeight, FKernel,
                                      const_cast<std::uint8_t*>(path));

  // The walk back: undo each block's shift, then each dry column's step, last column first.
  path += dry * pathBytes;
  std::size_t state = forward.FinalState;
  for (std::size_t j = m; j-- > 0;) {
    state = ((state << 1) | ((message[j] ^ forward.BlockOffset[j]) & 1u)) & (states - 1);
    const std::size_t begin = BlockStart(j, n, m), end = BlockStart(j + 1, n, m);
    for (std::size_t c = FDry.Previous(begin, end); c + 1 > begin; c = FDry.Previous(begin, c)) {
      path -= pathBytes;
      const std::uint8_t y = (path[state / 8] >> (state % 8)) & 1u;
      stego[c] = y;
      if (y) state ^= columns[c - begin];
    }
  }
}

std::vector<std::uint8_t> StcEmbed(std::span<const std::uint8_t> cover,
                                   std::span<const float> flipCost,
                                   std::span<const std::uint8_t> message, int height,
                                   TStcKernel kernel) {
  std::vector<std::uint8_t> stego(cover.size());
  TStcWriter(height, kernel).Embed(cover, flipCost, message, stego);
  return stego;
}

std::vector<std::uint8_t> StcExtract(std::span<const std::uint8_t> stego, std::size_t messageBits,
                                     int height) {
  CheckShape(height, stego.size());
  std::vector<std::uint8_t> message(messageBits);
  const std::size_t n = stego.size(), m = messageBits;
  if (m == 0) return message;
  if (n < m) throw EStcInfeasible();
  const TColumns columns(height, (n + m - 1) / m);
  std::uint32_t syndrome = 0;
  const std::uint8_t* const bit = stego.data();
  for (std::size_t j = 0; j < m; ++j) {
    const std::size_t begin = BlockStart(j, n, m), end = BlockStart(j + 1, n, m);
    // Without a branch: the bits are set at random.
    for (std::size_t c = begin; c < end; ++c) {
      syndrome ^= columns[c - begin] & (0u - std::uint32_t{bit[c] != 0});
    }
    message[j] = syndrome & 1u;
    syndrome >>= 1;
  }
  return message;
}

}  // namespace pennacrow::adaptive
