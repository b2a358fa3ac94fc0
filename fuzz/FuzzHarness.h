#pragma once
// The one harness every fuzz target is written over. A decoder target is a single call to
// FuzzDecode with its picture class; a round-trip target states its property with FUZZ_REQUIRE.
//
// The rule a decoder must keep is in DecodeCheck.h; a break of it is a finding, as is every
// crash, leak or oversize allocation the sanitizers report.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <span>
#include <string>
#include <typeinfo>
#include <vector>

#include "DecodeCheck.h"
#include "codec/Container.h"
#include "picture/Bitmap.h"
#include "picture/Errors.h"
#include "picture/Graphic.h"
#include "picture/PixelLimits.h"

namespace pennacrow::fuzz {

// What a decoder target may change about how its input is fed to the decoder.
struct TFuzzOptions {
  // Small pictures only, so that each input decodes in microseconds and no allocation comes near
  // the fuzzer's 64 MiB malloc limit. A format of one fixed size raises it to that size.
  std::uint64_t MaxPixels = 65536;
  // A format whose smallest file is far beyond the fuzzer's input length: a shorter input is
  // repeated to this length, so every byte the fuzzer mutates lands in the header and again in
  // the rows. Inputs of this length or longer are decoded as they are.
  std::size_t ExpandTo = 0;
};

// PENNACROW_FUZZ_LIMITS=program runs a target under the program's own limits, inputs as they
// are: what a small file can cost the program (run with -max_len=1024 -rss_limit_mb=256
// -malloc_limit_mb=64). The slowest input is then reported at exit, and kept in the file that
// PENNACROW_FUZZ_SLOWEST names.
inline bool ProgramLimits() {
  static const bool program = [] {
    const char* mode = std::getenv("PENNACROW_FUZZ_LIMITS");
    return mode != nullptr && std::string(mode) == "program";
  }();
  return program;
}

class TSlowest {
 public:
  ~TSlowest() {
    if (FInput.empty() && FSeconds == 0) return;
    std::fprintf(stderr, "slowest input: %.3f s (%zu bytes)\n", FSeconds, FInput.size());
    if (const char* path = std::getenv("PENNACROW_FUZZ_SLOWEST")) {
      if (std::FILE* out = std::fopen(path, "wb")) {
        std::fwrite(FInput.data(), 1, FInput.size(), out);
        std::fclose(out);
      }
    }
  }
  void Seen(std::span<const std::uint8_t> input, double seconds) {
    if (seconds <= FSeconds) return;
    FSeconds = seconds;
    FInput.assign(input.begin(), input.end());
  }

 private:
  double FSeconds = 0;
  std::vector<std::uint8_t> FInput;
};

inline TSlowest& Slowest() {
  static TSlowest slowest;
  return slowest;
}

[[noreturn]] inline void Fail(const char* what, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: fuzz property violated: %s\n", file, line, what);
  std::fflush(stderr);
  std::abort();
}

#define FUZZ_REQUIRE(condition) \
  ((condition) ? static_cast<void>(0) : ::pennacrow::fuzz::Fail(#condition, __FILE__, __LINE__))

// An exception that is not ours means an error path that nobody wrote: report it as a crash.
[[noreturn]] inline void Unexpected(const std::exception& e) {
  std::fprintf(stderr, "unexpected exception %s: %s\n", typeid(e).name(), e.what());
  std::fflush(stderr);
  std::abort();
}

// Touches every byte a consumer may read, so that a row pointer outside the buffer or an
// uninitialised byte surfaces here rather than in the codec later.
inline void ReadEveryByte(const TBitmap& bitmap) {
  unsigned sum = 0;
  for (int r = 0; r < bitmap.Height(); ++r) {
    const std::uint8_t* row = bitmap.ConstRowAt(r);
    for (std::size_t i = 0; i < bitmap.RowLength(); ++i) sum += row[i];
  }
  for (const TRGBQuad& c : bitmap.Palette()) sum += c.Red + c.Green + c.Blue;
  // The probe and the reader run on every loaded picture in the program.
  sum += DetectDataFormat(&bitmap);
  try {
    std::uint8_t format = 0;
    sum += static_cast<unsigned>(RemoveBinaryFromImage(bitmap, format).size());
  } catch (const EPennacrowError&) {
  }
  volatile unsigned sink = sum;
  (void)sink;
}

// Decodes the input with a fresh picture of the given class, then walks what came out.
inline int FuzzDecode(const TGraphicClass& pictureClass, const std::uint8_t* data, std::size_t size,
                      const TFuzzOptions& options = {}) {
  if (ProgramLimits()) {
    const auto start = std::chrono::steady_clock::now();
    const std::span<const std::uint8_t> input(data, size);
    const std::string fault = check::DecodeFault(pictureClass, input, ReadEveryByte);
    if (!fault.empty()) Fail(fault.c_str(), __FILE__, __LINE__);
    Slowest().Seen(input,
                   std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    return 0;
  }
  std::vector<std::uint8_t> expanded;
  if (size > 0 && size < options.ExpandTo) {
    expanded.resize(options.ExpandTo);
    for (std::size_t i = 0; i < expanded.size(); ++i) expanded[i] = data[i % size];
    data = expanded.data();
    size = expanded.size();
  }
  const std::string fault =
      check::DecodeFault(pictureClass, std::span<const std::uint8_t>(data, size), ReadEveryByte,
                         {options.MaxPixels, 64u << 20});
  if (!fault.empty()) Fail(fault.c_str(), __FILE__, __LINE__);
  return 0;
}

// Reads the input front to back for round-trip targets that build their own values from it.
class TInput {
 public:
  TInput(const std::uint8_t* data, std::size_t size) : FData(data), FSize(size) {}
  std::size_t Remaining() const { return FSize - FPos; }
  std::uint8_t Byte() { return FPos < FSize ? FData[FPos++] : 0; }
  // The next n bytes (fewer at the end of the input).
  std::span<const std::uint8_t> Take(std::size_t n) {
    n = n < Remaining() ? n : Remaining();
    std::span<const std::uint8_t> s(FData + FPos, n);
    FPos += n;
    return s;
  }
  std::span<const std::uint8_t> Rest() { return Take(Remaining()); }

 private:
  const std::uint8_t* FData;
  std::size_t FSize;
  std::size_t FPos = 0;
};

// A small bitmap of a depth picked by one input byte, its pixels and palette taken from the
// input, repeated when the input runs short. Indexed pixels stay inside the palette.
inline TBitmap BitmapFromInput(TInput& in) {
  static const int kDepths[] = {1, 4, 8, 15, 16, 24, 32};
  const int width = 1 + in.Byte() % 48;
  const int height = 1 + in.Byte() % 24;
  const int depth = kDepths[in.Byte() % 7];
  TBitmap bitmap(width, height, depth);
  const std::span<const std::uint8_t> seed = in.Take(64);
  auto next = [&, i = std::size_t{0}]() mutable -> std::uint8_t {
    return seed.empty() ? static_cast<std::uint8_t>(i++ * 37) : seed[i++ % seed.size()];
  };
  if (depth <= 8) {
    const std::size_t entries = 1 + next() % (std::size_t{1} << depth);
    for (std::size_t e = 0; e < entries; ++e)
      bitmap.Palette().push_back(RGB(next(), next(), next()));
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const std::uint8_t index = static_cast<std::uint8_t>(next() % entries);
        bitmap.SetPixel(x, y, bitmap.Palette()[index]);
      }
    }
  } else {
    for (int y = 0; y < height; ++y) {
      std::uint8_t* row = bitmap.RowAt(y);
      for (std::size_t i = 0; i < bitmap.RowLength(); ++i) row[i] = next();
    }
  }
  return bitmap;
}

}  // namespace pennacrow::fuzz
