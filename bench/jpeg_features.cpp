// The JPEG half of bench/detectability: reads the quantised DCT coefficients of JPEG files with
// libjpeg's coefficient interface (no decoding to pixels, so nothing the writers changed is
// rounded away) and computes what the benchmark's JPEG detectors and its payload sizes need.
//
//   pennacrow_bench_jpeg features FEATURES FILE...
//       one line per FILE: FILE, "ok" or the reason it was not read, the number of non-zero AC
//       coefficients of all components and of the first (luminance), the blocks of all
//       components and the bytes the coefficient arrays of all components take in memory;
//       appends kDimension float32 features per file read to FEATURES.
//   pennacrow_bench_jpeg count FILE
//       the same line, without features.
//   pennacrow_bench_jpeg changes COVER FILE...
//       one line per FILE: FILE, "ok" and the number of its coefficients that differ from
//       COVER's, or "other tables" when its quantisation tables or block grid are not COVER's
//       (it was compressed anew), or the reason it was not read.
//   pennacrow_bench_jpeg dump FILE OUT
//       the coefficients themselves, for the benchmark's independent check of the features: per
//       component its block rows and block columns and its 64 quantisation steps in natural
//       order (int32), then its coefficients (int16), block after block in rows, each block in
//       natural order.
//   pennacrow_bench_jpeg dimension
//
// The features are Markov transition probabilities of the coefficients' magnitudes, 486 for the
// luminance and 486 for the two chroma components counted together:
//   - within the 2-D array of all blocks side by side (each block's 8 x 8 coefficients at their
//     pixel places), the differences of horizontally, vertically, diagonally and anti-diagonally
//     neighbouring magnitudes, limited to [-4, 4]; for each direction the probability of the
//     next difference along it given the current one (4 x 81);
//   - between blocks: for each mode of kInterModes, the array of its magnitudes over the block
//     grid; the same transition probabilities of its horizontal and vertical differences,
//     averaged over the modes (2 x 81).
// A condition that never occurs gives a row of zeros.
//
// Then the 8000 DCTR features of Holub and Fridrich (2015), from the luminance: the picture
// decompressed without rounding or clipping (each block's coefficients times its quantisation
// steps, inverse DCT), correlated with each of the 64 orthonormal 8 x 8 DCT basis patterns; the
// magnitudes of each result, divided by q, rounded and limited to 4, counted for each position
// of the window relative to the 8 x 8 grid, positions a and 8 - a merged along each axis (a
// mirror image turns one into the other), 25 histograms of 5 bins per pattern, each normalised.
// q follows the quality, as in the paper: 8 (2 - Q / 50) with the quality Q estimated from the
// luminance table, so 4 at 75 and 0.8 at 95.

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

namespace {

constexpr int kT = 4;
constexpr int kSide = 2 * kT + 1;
constexpr int kMatrix = kSide * kSide;
constexpr int kIntra = 4 * kMatrix;
constexpr int kInter = 2 * kMatrix;
constexpr int kGroup = kIntra + kInter;
constexpr int kMarkov = 2 * kGroup;
constexpr int kDctrBins = 5;
constexpr int kDctrPhases = 25;
constexpr int kDctr = 64 * kDctrPhases * kDctrBins;
constexpr int kDimension = kMarkov + kDctr;

// The AC modes (row, column within the block) whose arrays over the block grid the inter-block
// features follow: those with row + column <= 4, the low frequencies, where most photographs'
// non-zero coefficients are; in the higher ones nearly every block holds 0 and the transitions
// say little.
constexpr std::array<std::pair<int, int>, 14> kInterModes = {{{0, 1},
                                                              {1, 0},
                                                              {0, 2},
                                                              {1, 1},
                                                              {2, 0},
                                                              {0, 3},
                                                              {1, 2},
                                                              {2, 1},
                                                              {3, 0},
                                                              {0, 4},
                                                              {1, 3},
                                                              {2, 2},
                                                              {3, 1},
                                                              {4, 0}}};

// One component's quantised coefficients, block after block in rows, each block in natural
// (row-major) order.
struct TComponent {
  int BlocksWide = 0;
  int BlocksHigh = 0;
  std::array<int, DCTSIZE2> Quantisation{};
  std::vector<JCOEF> Coefficients;
  int At(int blockRow, int blockColumn, int k) const {
    return Coefficients[(static_cast<std::size_t>(blockRow) * BlocksWide + blockColumn) * DCTSIZE2 +
                        k];
  }
};

// libjpeg reports a fatal error through error_exit, which must not return: we jump back to the
// setjmp of the phase that called the library. Only plain C data lives across those phases.
struct TErrorState {
  jpeg_error_mgr Manager{};
  std::jmp_buf Jump{};
  char Message[JMSG_LENGTH_MAX]{};
};

void ErrorExit(j_common_ptr cinfo) {
  auto* state = reinterpret_cast<TErrorState*>(cinfo->err);
  cinfo->err->format_message(cinfo, state->Message);
  std::longjmp(state->Jump, 1);
}

void Quiet(j_common_ptr, int) {}

struct TReader {
  jpeg_decompress_struct Info{};
  TErrorState Error;
  std::FILE* File = nullptr;
  jvirt_barray_ptr* Arrays = nullptr;
};

bool ReadHeader(TReader* r) {
  if (setjmp(r->Error.Jump)) return false;
  jpeg_read_header(&r->Info, TRUE);
  r->Arrays = jpeg_read_coefficients(&r->Info);
  return true;
}

bool CopyRows(TReader* r, int component, JCOEF* out) {
  if (setjmp(r->Error.Jump)) return false;
  const jpeg_component_info& c = r->Info.comp_info[component];
  for (JDIMENSION row = 0; row < c.height_in_blocks; ++row) {
    JBLOCKARRAY blocks = r->Info.mem->access_virt_barray(reinterpret_cast<j_common_ptr>(&r->Info),
                                                         r->Arrays[component], row, 1, FALSE);
    std::memcpy(out + static_cast<std::size_t>(row) * c.width_in_blocks * DCTSIZE2, blocks[0],
                sizeof(JBLOCK) * c.width_in_blocks);
  }
  return true;
}

struct TFileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// All components of a JPEG, or the reason it could not be read.
std::vector<TComponent> ReadCoefficients(const std::string& path, std::string& error) {
  std::unique_ptr<std::FILE, TFileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    error = std::strerror(errno);
    return {};
  }
  TReader r;
  r.Info.err = jpeg_std_error(&r.Error.Manager);
  r.Error.Manager.error_exit = ErrorExit;
  r.Error.Manager.emit_message = Quiet;
  jpeg_create_decompress(&r.Info);
  jpeg_stdio_src(&r.Info, file.get());
  std::vector<TComponent> components;
  bool ok = ReadHeader(&r);
  if (ok) {
    components.resize(r.Info.num_components);
    for (int c = 0; c < r.Info.num_components && ok; ++c) {
      const jpeg_component_info& info = r.Info.comp_info[c];
      components[c].BlocksWide = static_cast<int>(info.width_in_blocks);
      components[c].BlocksHigh = static_cast<int>(info.height_in_blocks);
      if (info.quant_table != nullptr) {
        for (int k = 0; k < DCTSIZE2; ++k)
          components[c].Quantisation[k] = info.quant_table->quantval[k];
      }
      components[c].Coefficients.resize(static_cast<std::size_t>(info.width_in_blocks) *
                                        info.height_in_blocks * DCTSIZE2);
      ok = CopyRows(&r, c, components[c].Coefficients.data());
    }
  }
  if (!ok) {
    error = r.Error.Message;
    components.clear();
  }
  jpeg_destroy_decompress(&r.Info);
  return components;
}

int Clip(int d) {
  return d < -kT ? -kT : d > kT ? kT : d;
}

// Counts of (current, next) difference pairs, [current][next].
using TCounts = std::array<double, kMatrix>;

void AddPair(TCounts& counts, int current, int next) {
  counts[(Clip(current) + kT) * kSide + Clip(next) + kT] += 1;
}

// Rows normalised to conditional probabilities, scaled by weight, added to out.
void AddProbabilities(const TCounts& counts, double weight, float* out) {
  for (int i = 0; i < kSide; ++i) {
    double total = 0;
    for (int j = 0; j < kSide; ++j) total += counts[i * kSide + j];
    if (total == 0) continue;
    for (int j = 0; j < kSide; ++j) {
      out[i * kSide + j] += static_cast<float>(weight * counts[i * kSide + j] / total);
    }
  }
}

// The magnitudes of one component as the 2-D array of its blocks side by side.
std::vector<int> Magnitudes(const TComponent& c, int& width, int& height) {
  width = c.BlocksWide * 8;
  height = c.BlocksHigh * 8;
  std::vector<int> f(static_cast<std::size_t>(width) * height);
  for (int by = 0; by < c.BlocksHigh; ++by) {
    for (int bx = 0; bx < c.BlocksWide; ++bx) {
      for (int k = 0; k < DCTSIZE2; ++k) {
        f[static_cast<std::size_t>(by * 8 + k / 8) * width + bx * 8 + k % 8] =
            std::abs(c.At(by, bx, k));
      }
    }
  }
  return f;
}

// The intra-block counts of one component added to counts[4] (horizontal, vertical, diagonal,
// anti-diagonal).
void CountIntra(const TComponent& c, std::array<TCounts, 4>& counts) {
  int w = 0, h = 0;
  const std::vector<int> f = Magnitudes(c, w, h);
  const auto F = [&](int y, int x) { return f[static_cast<std::size_t>(y) * w + x]; };
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x + 2 < w; ++x) {
      AddPair(counts[0], F(y, x) - F(y, x + 1), F(y, x + 1) - F(y, x + 2));
    }
  }
  for (int y = 0; y + 2 < h; ++y) {
    for (int x = 0; x < w; ++x) {
      AddPair(counts[1], F(y, x) - F(y + 1, x), F(y + 1, x) - F(y + 2, x));
    }
  }
  for (int y = 0; y + 2 < h; ++y) {
    for (int x = 0; x + 2 < w; ++x) {
      AddPair(counts[2], F(y, x) - F(y + 1, x + 1), F(y + 1, x + 1) - F(y + 2, x + 2));
      // Along the anti-diagonal: from (y, x + 2) down-left to (y + 1, x + 1) and (y + 2, x).
      AddPair(counts[3], F(y, x + 2) - F(y + 1, x + 1), F(y + 1, x + 1) - F(y + 2, x));
    }
  }
}

// The inter-block counts of one component for one mode added to counts[2] (horizontal,
// vertical).
void CountInter(const TComponent& c, int mode, std::array<TCounts, 2>& counts) {
  const auto G = [&](int by, int bx) { return std::abs(c.At(by, bx, mode)); };
  for (int by = 0; by < c.BlocksHigh; ++by) {
    for (int bx = 0; bx + 2 < c.BlocksWide; ++bx) {
      AddPair(counts[0], G(by, bx) - G(by, bx + 1), G(by, bx + 1) - G(by, bx + 2));
    }
  }
  for (int by = 0; by + 2 < c.BlocksHigh; ++by) {
    for (int bx = 0; bx < c.BlocksWide; ++bx) {
      AddPair(counts[1], G(by, bx) - G(by + 1, bx), G(by + 1, bx) - G(by + 2, bx));
    }
  }
}

// The 486 features of a group of components, counted together.
void GroupFeatures(const std::vector<const TComponent*>& group, float* out) {
  std::array<TCounts, 4> intra{};
  for (const TComponent* c : group) CountIntra(*c, intra);
  for (int d = 0; d < 4; ++d) AddProbabilities(intra[d], 1.0, out + d * kMatrix);
  for (const auto& [row, column] : kInterModes) {
    std::array<TCounts, 2> inter{};
    for (const TComponent* c : group) CountInter(*c, row * 8 + column, inter);
    for (int d = 0; d < 2; ++d) {
      AddProbabilities(inter[d], 1.0 / kInterModes.size(), out + kIntra + d * kMatrix);
    }
  }
}

// The orthonormal 1-D DCT basis: Basis()[k][m] = c(k) / 2 * cos(pi k (2m + 1) / 16).
const std::array<std::array<double, 8>, 8>& Basis() {
  static const auto basis = [] {
    std::array<std::array<double, 8>, 8> b{};
    for (int k = 0; k < 8; ++k) {
      for (int m = 0; m < 8; ++m) {
        b[k][m] = (k == 0 ? std::sqrt(0.5) : 1.0) / 2.0 * std::cos(M_PI * k * (2 * m + 1) / 16.0);
      }
    }
    return b;
  }();
  return basis;
}

// The libjpeg quality whose scaled standard luminance table is nearest to this one.
int EstimatedQuality(const std::array<int, DCTSIZE2>& table) {
  static constexpr std::array<int, DCTSIZE2> kStandard = {
      16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
      14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
      18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
      49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
  int best = 50;
  long long bestError = -1;
  for (int quality = 1; quality <= 100; ++quality) {
    const int scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
    long long error = 0;
    for (int k = 0; k < DCTSIZE2; ++k) {
      const int step = std::clamp((kStandard[k] * scale + 50) / 100, 1, 255);
      error += static_cast<long long>(step - table[k]) * (step - table[k]);
    }
    if (bestError < 0 || error < bestError) {
      bestError = error;
      best = quality;
    }
  }
  return best;
}

// Where a window starting at offset a of the 8 x 8 grid is counted: a and 8 - a together.
int MergedPhase(int a) {
  return a <= 4 ? a : 8 - a;
}

void DctrFeatures(const TComponent& c, float* out) {
  const int w = c.BlocksWide * 8;
  const int h = c.BlocksHigh * 8;
  if (w < 16 || h < 16) return;
  const auto& b = Basis();
  // The decompressed luminance, as pixel values but neither rounded nor clipped.
  std::vector<double> x(static_cast<std::size_t>(w) * h);
  for (int by = 0; by < c.BlocksHigh; ++by) {
    for (int bx = 0; bx < c.BlocksWide; ++bx) {
      std::array<double, DCTSIZE2> dequantised{};
      for (int k = 0; k < DCTSIZE2; ++k) {
        dequantised[k] = static_cast<double>(c.At(by, bx, k)) * c.Quantisation[k];
      }
      for (int m = 0; m < 8; ++m) {
        for (int n = 0; n < 8; ++n) {
          double sum = 0;
          for (int u = 0; u < 8; ++u) {
            for (int v = 0; v < 8; ++v) sum += dequantised[u * 8 + v] * b[u][m] * b[v][n];
          }
          x[static_cast<std::size_t>(by * 8 + m) * w + bx * 8 + n] = sum + 128.0;
        }
      }
    }
  }
  const int quality = EstimatedQuality(c.Quantisation);
  const double q = quality < 50 ? 8.0 : 8.0 * (2.0 - quality / 50.0);
  const int uw = w - 7;
  const int uh = h - 7;
  // Rows first: r[l] = x correlated with the pattern's horizontal factor l.
  std::vector<std::vector<double>> rows(8, std::vector<double>(static_cast<std::size_t>(uw) * h));
  for (int l = 0; l < 8; ++l) {
    for (int y = 0; y < h; ++y) {
      for (int i = 0; i < uw; ++i) {
        double sum = 0;
        for (int n = 0; n < 8; ++n) sum += x[static_cast<std::size_t>(y) * w + i + n] * b[l][n];
        rows[l][static_cast<std::size_t>(y) * uw + i] = sum;
      }
    }
  }
  for (int k = 0; k < 8; ++k) {
    for (int l = 0; l < 8; ++l) {
      std::array<double, kDctrPhases * kDctrBins> counts{};
      const std::vector<double>& r = rows[l];
      for (int y = 0; y < uh; ++y) {
        const int py = MergedPhase(y % 8) * 5;
        for (int i = 0; i < uw; ++i) {
          double u = 0;
          for (int m = 0; m < 8; ++m) u += r[static_cast<std::size_t>(y + m) * uw + i] * b[k][m];
          // Halves round up. At the grid's own phase a value is a coefficient times its step,
          // and such ties are common; the small allowance keeps the rounding errors of the
          // transforms from deciding them.
          const int bin = static_cast<int>(std::min(std::floor(std::abs(u) / q + 0.5 + 1e-6), 4.0));
          counts[(py + MergedPhase(i % 8)) * kDctrBins + bin] += 1;
        }
      }
      float* pattern = out + (k * 8 + l) * kDctrPhases * kDctrBins;
      for (int p = 0; p < kDctrPhases; ++p) {
        double total = 0;
        for (int bin = 0; bin < kDctrBins; ++bin) total += counts[p * kDctrBins + bin];
        for (int bin = 0; bin < kDctrBins && total > 0; ++bin) {
          pattern[p * kDctrBins + bin] = static_cast<float>(counts[p * kDctrBins + bin] / total);
        }
      }
    }
  }
}

struct TSummary {
  long long NonZeroAc = 0;
  long long NonZeroAcLuminance = 0;
  long long Blocks = 0;
};

TSummary Summarise(const std::vector<TComponent>& components) {
  TSummary s;
  for (std::size_t c = 0; c < components.size(); ++c) {
    const TComponent& comp = components[c];
    s.Blocks += static_cast<long long>(comp.BlocksWide) * comp.BlocksHigh;
    long long nonZero = 0;
    for (std::size_t i = 0; i < comp.Coefficients.size(); ++i) {
      nonZero += i % DCTSIZE2 != 0 && comp.Coefficients[i] != 0;
    }
    s.NonZeroAc += nonZero;
    if (c == 0) s.NonZeroAcLuminance = nonZero;
  }
  return s;
}

int Measure(const std::string& path, std::FILE* features) {
  std::string error;
  const std::vector<TComponent> components = ReadCoefficients(path, error);
  if (components.empty()) {
    std::cout << path << "\t" << (error.empty() ? "no components" : error) << "\n";
    return 1;
  }
  const TSummary s = Summarise(components);
  std::cout << path << "\tok\t" << s.NonZeroAc << "\t" << s.NonZeroAcLuminance << "\t" << s.Blocks
            << "\t" << s.Blocks * static_cast<long long>(sizeof(JBLOCK)) << "\n";
  if (features == nullptr) return 0;
  std::vector<float> row(kDimension, 0.0F);
  GroupFeatures({&components[0]}, row.data());
  std::vector<const TComponent*> chroma;
  for (std::size_t c = 1; c < components.size(); ++c) chroma.push_back(&components[c]);
  if (!chroma.empty()) GroupFeatures(chroma, row.data() + kGroup);
  DctrFeatures(components[0], row.data() + kMarkov);
  if (std::fwrite(row.data(), sizeof(float), row.size(), features) != row.size()) {
    std::cerr << "cannot write the features\n";
    std::exit(1);
  }
  return 0;
}

// How many coefficients of file differ from cover's, or -1 when their block grids or
// quantisation tables differ.
long long Changes(const std::vector<TComponent>& cover, const std::vector<TComponent>& file) {
  if (cover.size() != file.size()) return -1;
  long long changed = 0;
  for (std::size_t c = 0; c < cover.size(); ++c) {
    if (cover[c].BlocksWide != file[c].BlocksWide || cover[c].BlocksHigh != file[c].BlocksHigh ||
        cover[c].Quantisation != file[c].Quantisation) {
      return -1;
    }
    for (std::size_t i = 0; i < cover[c].Coefficients.size(); ++i) {
      changed += cover[c].Coefficients[i] != file[c].Coefficients[i];
    }
  }
  return changed;
}

int CompareAll(const std::string& coverPath, char** files, int count) {
  std::string error;
  const std::vector<TComponent> cover = ReadCoefficients(coverPath, error);
  if (cover.empty()) {
    std::cerr << coverPath << ": " << error << "\n";
    return 1;
  }
  int failed = 0;
  for (int i = 0; i < count; ++i) {
    const std::vector<TComponent> file = ReadCoefficients(files[i], error);
    if (file.empty()) {
      std::cout << files[i] << "\t" << error << "\n";
      ++failed;
      continue;
    }
    const long long changed = Changes(cover, file);
    std::cout << files[i] << "\t";
    if (changed < 0) {
      std::cout << "other tables\n";
    } else {
      std::cout << "ok\t" << changed << "\n";
    }
  }
  return failed == 0 ? 0 : 1;
}

int Dump(const std::string& path, const std::string& outPath) {
  std::string error;
  const std::vector<TComponent> components = ReadCoefficients(path, error);
  std::unique_ptr<std::FILE, TFileCloser> out(std::fopen(outPath.c_str(), "wb"));
  if (components.empty() || !out) {
    std::cerr << path << ": " << (components.empty() ? error : std::strerror(errno)) << "\n";
    return 1;
  }
  for (const TComponent& c : components) {
    std::array<std::int32_t, 2 + DCTSIZE2> header = {c.BlocksHigh, c.BlocksWide};
    std::copy(c.Quantisation.begin(), c.Quantisation.end(), header.begin() + 2);
    std::vector<std::int16_t> values(c.Coefficients.begin(), c.Coefficients.end());
    if (std::fwrite(header.data(), sizeof(std::int32_t), header.size(), out.get()) !=
            header.size() ||
        std::fwrite(values.data(), sizeof(std::int16_t), values.size(), out.get()) !=
            values.size()) {
      std::cerr << outPath << ": cannot write\n";
      return 1;
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "dimension") {
    std::cout << kDimension << "\n";
    return 0;
  }
  if (command == "count" && argc == 3) return Measure(argv[2], nullptr);
  if (command == "dump" && argc == 4) return Dump(argv[2], argv[3]);
  if (command == "changes" && argc >= 3) return CompareAll(argv[2], argv + 3, argc - 3);
  if (command == "features" && argc >= 3) {
    std::unique_ptr<std::FILE, TFileCloser> out(std::fopen(argv[2], "ab"));
    if (!out) {
      std::cerr << argv[2] << ": " << std::strerror(errno) << "\n";
      return 1;
    }
    int failed = 0;
    for (int i = 3; i < argc; ++i) failed += Measure(argv[i], out.get());
    return failed == 0 ? 0 : 1;
  }
  std::cerr << "usage: pennacrow_bench_jpeg features FEATURES FILE... | count FILE |\n"
               "       changes COVER FILE... | dump FILE OUT | dimension\n";
  return 2;
}
