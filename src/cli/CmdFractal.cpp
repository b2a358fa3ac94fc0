#include <charconv>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>

#include "base/Translate.h"
#include "cli/Cli.h"
#include "formats/Registry.h"
#include "formats/SavePicture.h"
#include "picture/FractalTypes.h"

namespace pennacrow::cli {

namespace {

struct TKindName {
  const char* Name;
  TFractalTypes Type;
};

const TKindName kKinds[] = {
    {"mandelbrot", ftMandelBrot},
    {"julia", ftJulian},
    {"moire", ftMoire},
    {"sierpinski", ftSierpinski},
    {"fern", ftFern},
    {"leaf", ftLeaf},
    {"curl", ftCurl},
    {"koch", ftKoch},
};

TFractalTypes ParseKind(const std::string& word) {
  for (const TKindName& kind : kKinds) {
    if (word == kind.Name) return kind.Type;
  }
  throw EUsage(
      TrF("未知的图形种类 %1（可选 mandelbrot, julia, moire, sierpinski, fern, leaf, curl, koch）",
          {word}));
}

// A whole decimal number in min .. max, nothing before or after it.
std::optional<std::uint64_t> ParseNumber(std::string_view text, std::uint64_t min,
                                         std::uint64_t max) {
  std::uint64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [last, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || last != end || value < min || value > max) {
    return std::nullopt;
  }
  return value;
}

void ParseSize(const std::string& text, int& width, int& height) {
  const std::size_t x = text.find_first_of("xX");
  constexpr std::uint64_t kMax = std::numeric_limits<std::int32_t>::max();
  std::optional<std::uint64_t> w, h;
  if (x != std::string::npos) {
    w = ParseNumber(std::string_view(text).substr(0, x), 1, kMax);
    h = ParseNumber(std::string_view(text).substr(x + 1), 1, kMax);
  }
  if (!w || !h) throw EUsage(Tr("--size 需要 宽x高，两者都是正整数，例如 827x402"));
  width = static_cast<int>(*w);
  height = static_cast<int>(*h);
}

}  // namespace

// Paints a fractal carrier as the picture's context menu would: on an empty control of the
// given size, or over a loaded carrier (its depth and colour table kept), then saves it.
int CmdFractal(const std::vector<std::string>& words) {
  const TArgs args(words, {"-o", "--size", "--iterations", "--seed", "--over", "--format"}, {});
  args.ExpectPositional(1);
  const TFractalTypes type = ParseKind(args.Positional()[0]);
  if (!args.Has("-o")) throw EUsage(Tr("缺少 -o OUT"));
  const std::string out = args.Value("-o");
  const TSaveKind kind = OutputKind(out, args);

  TFractalImage picture(FileFormats());
  if (args.Has("--size"))
    ParseSize(args.Value("--size"), picture.ControlWidth, picture.ControlHeight);
  TFractalProperties& properties = picture.FractalProperties;
  properties.ChangeFractalType(type);
  if (args.Has("--iterations")) {
    const auto n =
        ParseNumber(args.Value("--iterations"), 0, std::numeric_limits<std::int32_t>::max());
    if (!n) throw EUsage(Tr("--iterations 需要 0 到 2147483647 之间的整数"));
    properties.NumberOfIterations = static_cast<std::int32_t>(*n);
  }
  if (args.Has("--seed")) {
    const auto seed =
        ParseNumber(args.Value("--seed"), 0, std::numeric_limits<std::uint32_t>::max());
    if (!seed) throw EUsage(Tr("--seed 需要 0 到 4294967295 之间的整数"));
    properties.Seed = static_cast<std::uint32_t>(*seed);
  }

  if (args.Has("--over")) LoadPicture(picture, args.Value("--over"));
  picture.PaintFractal();
  if (args.Has("--over")) NoteDroppedAlpha(picture.PictureBitmap(), args.Value("--over"), kind);
  SaveOutput(picture, out, kind);
  return kExitSuccess;
}

}  // namespace pennacrow::cli
