#include "adaptive/AdaptiveJpeg.h"
#include "base/Translate.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string>

#include "adaptive/KeyedEmbedding.h"
#include "adaptive/Uerd.h"
#include "base/LargeBuffer.h"
#include "codec/Container.h"
#include "picture/FileFormats.h"
#include "picture/Graphic.h"

namespace pennacrow {

using namespace adaptive;

namespace {

const char* const kNoRoomToWrite =
    N_("这张 JPEG 图片太小，或者几乎没有纹理，放不下密钥自适应写入的内容");
const char* const kCannotHold = N_("这张 JPEG 图片太小，不可能藏有密钥自适应写入的内容");

// The coefficients of a JPEG as the keyed writer and reader see them.
class TJpegCover : public TSymmetricCover {
 public:
  // usable: the coefficients with an allowed change, which a reader need not know.
  TJpegCover(const TJpegCoefficients& jpeg, TJpegCoefficients* writable, std::uint64_t usable = 0)
      : FJpeg(jpeg), FWritable(writable), FUsable(usable) {
    std::uint64_t start = 0;
    for (int c = 0; c < jpeg.ComponentCount(); ++c) {
      FStarts[static_cast<std::size_t>(c)] = start;
      const TJpegComponent& component = jpeg.Component(c);
      start += 64 * std::uint64_t{component.WidthInBlocks} * component.HeightInBlocks;
    }
    FStarts[static_cast<std::size_t>(jpeg.ComponentCount())] = start;
    // The two lowest bits of every coefficient, four to a byte, in element order: 4.5 MB for a
    // 12-megapixel photograph whose coefficients take 36, so that the gathers of a keyed order,
    // all over the cover, mostly find their line in the processor's cache.
    FLow.reserve(Size() / 4);
    PrepareLargeBuffer(FLow.data(), Size() / 4);
    for (int c = 0; c < jpeg.ComponentCount(); ++c) {
      const TJpegComponent& component = jpeg.Component(c);
      for (std::uint32_t y = 0; y < component.HeightInBlocks; ++y) {
        for (std::uint32_t x = 0; x < component.WidthInBlocks; ++x) {
          const std::int16_t* block = jpeg.Block(c, y, x);
          for (int k = 0; k < 64; k += 4) {
            FLow.push_back(static_cast<std::uint8_t>((block[k] & 3) | (block[k + 1] & 3) << 2 |
                                                     (block[k + 2] & 3) << 4 |
                                                     (block[k + 3] & 3) << 6));
          }
        }
      }
    }
  }

  std::uint64_t Size() const override {
    return FStarts[static_cast<std::size_t>(FJpeg.ComponentCount())];
  }
  // The planes' shapes in blocks: what every rewrite that keeps the coefficients keeps.
  std::string Label() const override {
    std::string label = "jpeg";
    for (int c = 0; c < FJpeg.ComponentCount(); ++c) {
      const TJpegComponent& component = FJpeg.Component(c);
      label.append(" ").append(std::to_string(component.WidthInBlocks));
      label.append("x").append(std::to_string(component.HeightInBlocks));
    }
    return label;
  }
  // The element count of a JPEG is no power of two: a 12-megapixel photograph's 18 million
  // coefficients lie just past 2^24, where the binary domain would walk almost twice per
  // position.
  TOrderDomain OrderDomain() const override { return TOrderDomain::Rectangle; }
  // The coefficients' two lowest bits, which are all the codes look at (see TKeyedCover).
  void Values(std::span<const std::uint32_t> indices,
              std::span<std::int16_t> values) const override {
    const std::uint8_t* const low = FLow.data();
    const std::uint32_t* const index = indices.data();
    const std::size_t n = indices.size();
    for (std::size_t i = 0; i < n; ++i) {
      if (i + kAhead < n) __builtin_prefetch(low + index[i + kAhead] / 4);
      const std::uint32_t e = index[i];
      values[i] = static_cast<std::int16_t>((low[e / 4] >> (2 * (e % 4))) & 3);
    }
  }
  std::uint64_t Usable() const override { return FUsable; }
  // A byte a coefficient: with the key's memory, within the coefficients and 128 MiB.
  bool CostsBesideKey() const override { return true; }
  void PrepareCosts() override {
    FLevels = LargeZeroBuffer(Size());
    UerdLevels(FJpeg, FLevels);
  }
  // UERD's costs span many octaves: at the λ of a payload a detector tolerates, most zeros of
  // the high frequencies would change with a chance below one in a million.
  float DryLimit() const override { return 14; }
  void Apply(std::span<const std::uint32_t> indices,
             std::span<const std::int8_t> changes) override {
    for (std::size_t i = 0; i < indices.size(); ++i) {
      if (changes[i] == 0) continue;
      const TPlace p = Place(indices[i]);
      FWritable->Block(p.Component, p.Row, p.Column)[p.Coefficient] += changes[i];
    }
  }

 private:
  static constexpr std::size_t kAhead = 128;

  struct TPlace {
    int Component;
    std::uint32_t Row, Column, Coefficient;
  };
  TPlace Place(std::uint32_t element) const {
    int c = 0;
    while (element >= FStarts[static_cast<std::size_t>(c) + 1]) ++c;
    const std::uint64_t local = element - FStarts[static_cast<std::size_t>(c)];
    const std::uint64_t block = local / 64;
    const std::uint32_t width = FJpeg.Component(c).WidthInBlocks;
    return {c, static_cast<std::uint32_t>(block / width), static_cast<std::uint32_t>(block % width),
            static_cast<std::uint32_t>(local % 64)};
  }

  const TJpegCoefficients& FJpeg;
  TJpegCoefficients* FWritable;
  std::uint64_t FUsable;
  // Where each component's elements begin, and after the last the number of elements.
  std::array<std::uint64_t, 11> FStarts{};
  std::vector<std::uint8_t> FLow;
};

std::uint64_t Elements(const TJpegCoefficients& jpeg) {
  std::uint64_t elements = 0;
  for (int c = 0; c < jpeg.ComponentCount(); ++c) {
    const TJpegComponent& component = jpeg.Component(c);
    elements += 64 * std::uint64_t{component.WidthInBlocks} * component.HeightInBlocks;
  }
  return elements;
}

struct TCoefficientCounts {
  std::uint64_t Usable = 0;
  std::uint64_t NonZeroAc = 0;
};

// Both counts in one pass over the coefficients. A block's UERD weight is positive exactly when
// it or a neighbour has a non-zero AC coefficient at a non-zero step (energies are sums of terms
// that are never negative), so the usable ones are those UerdLevels leaves dry, found without
// working out the weights.
TCoefficientCounts Count(const TJpegCoefficients& jpeg) {
  TCoefficientCounts counts;
  std::vector<std::uint8_t> live;
  std::vector<std::uint8_t> changeable;
  for (int c = 0; c < jpeg.ComponentCount(); ++c) {
    const TJpegComponent& component = jpeg.Component(c);
    const std::uint32_t width = component.WidthInBlocks, height = component.HeightInBlocks;
    live.assign(std::size_t{width} * height, 0);
    changeable.assign(live.size(), 0);
    std::array<std::int16_t, 64> stepped{};
    for (int k = 1; k < 64; ++k) stepped[k] = component.Quant[k] != 0 ? -1 : 0;
    for (std::uint32_t y = 0; y < height; ++y) {
      for (std::uint32_t x = 0; x < width; ++x) {
        const std::int16_t* block = jpeg.Block(c, y, x);
        unsigned nonZero = 0, energy = 0, free = 0;
        for (int k = 0; k < 64; ++k) {
          nonZero += k > 0 && block[k] != 0;
          energy |= static_cast<unsigned>(block[k] & stepped[k]);
          free += block[k] > -kMaxChangedCoefficient && block[k] < kMaxChangedCoefficient;
        }
        counts.NonZeroAc += nonZero;
        const std::size_t b = std::size_t{y} * width + x;
        live[b] = energy != 0;
        changeable[b] = static_cast<std::uint8_t>(free);
      }
    }
    for (std::uint32_t y = 0; y < height; ++y) {
      for (std::uint32_t x = 0; x < width; ++x) {
        bool near = false;
        for (std::uint32_t ny = y > 0 ? y - 1 : 0; ny <= std::min(y + 1, height - 1); ++ny) {
          for (std::uint32_t nx = x > 0 ? x - 1 : 0; nx <= std::min(x + 1, width - 1); ++nx) {
            near = near || live[std::size_t{ny} * width + nx];
          }
        }
        if (near) counts.Usable += changeable[std::size_t{y} * width + x];
      }
    }
  }
  return counts;
}

// The coder's own bound over the usable coefficients, and the share of the non-zero AC ones.
TAdaptiveCapacity Capacity(const TJpegCoefficients& jpeg, const TCoefficientCounts& counts) {
  return KeyedCapacity(Elements(jpeg), std::min(counts.Usable, counts.NonZeroAc));
}

TAdaptiveCapacity RequireFits(const TJpegCoefficients& jpeg, const TCoefficientCounts& counts,
                              const TSealedContent& content) {
  const TAdaptiveCapacity capacity = Capacity(jpeg, counts);
  if (capacity.Largest == 0) throw ENoAdaptiveRoom(Tr(kNoRoomToWrite));
  RequireContentFits(capacity, content);
  return capacity;
}

// Whether two JPEGs say the same: their planes' sizes, quantisation tables and coefficients.
bool SameCoefficients(const TJpegCoefficients& a, const TJpegCoefficients& b) {
  if (a.ComponentCount() != b.ComponentCount()) return false;
  for (int c = 0; c < a.ComponentCount(); ++c) {
    const TJpegComponent &x = a.Component(c), &y = b.Component(c);
    if (x.WidthInBlocks != y.WidthInBlocks || x.HeightInBlocks != y.HeightInBlocks ||
        x.Quant != y.Quant) {
      return false;
    }
    for (std::uint32_t row = 0; row < x.HeightInBlocks; ++row) {
      if (!std::equal(a.Block(c, row, 0), a.Block(c, row, 0) + 64 * std::size_t{x.WidthInBlocks},
                      b.Block(c, row, 0))) {
        return false;
      }
    }
  }
  return true;
}

}  // namespace

std::uint64_t NonZeroAcCoefficients(const TJpegCoefficients& jpeg) {
  return Count(jpeg).NonZeroAc;
}

std::uint64_t UsableJpegCoefficients(const TJpegCoefficients& jpeg) {
  return Count(jpeg).Usable;
}

TAdaptiveCapacity AdaptiveJpegCapacity(const TJpegCoefficients& jpeg) {
  return Capacity(jpeg, Count(jpeg));
}

TAdaptiveCapacity RequireAdaptiveJpegFits(const TJpegCoefficients& jpeg,
                                          const TSealedContent& content) {
  return RequireFits(jpeg, Count(jpeg), content);
}

void HideAdaptiveJpeg(TJpegCoefficients& jpeg, std::string_view password,
                      const TSealedContent& content, TSealParameters parameters) {
  const TCoefficientCounts counts = Count(jpeg);
  RequireFits(jpeg, counts, content);
  const TWipedRecord record(EncodeSealedRecord(content));
  TJpegCover cover(jpeg, &jpeg, counts.Usable);
  WriteKeyed(cover, password, record.Text(), parameters);
}

bool MayHoldAdaptiveJpeg(const TJpegCoefficients& jpeg) {
  return KeyedLayout(Elements(jpeg)).has_value();
}

void RequireMayHoldAdaptiveJpeg(const TJpegCoefficients& jpeg) {
  if (!MayHoldAdaptiveJpeg(jpeg)) throw ENoAdaptiveRoom(Tr(kCannotHold));
}

TSealedContent RevealAdaptiveJpeg(const TJpegCoefficients& jpeg, std::string_view password,
                                  TSealParameters parameters) {
  RequireMayHoldAdaptiveJpeg(jpeg);
  const TJpegCover cover(jpeg, nullptr);
  const TWipedRecord record(ReadKeyed(cover, password, parameters));
  return DecodeSealedRecord(record.Text());
}

std::vector<std::uint8_t> HideAdaptiveInJpegFile(TJpegCoefficients jpeg, std::string_view password,
                                                 const TSealedContent& content, bool keepMetadata,
                                                 TSealParameters parameters) {
  HideAdaptiveJpeg(jpeg, password, content, parameters);
  std::vector<std::uint8_t> written = jpeg.Write(keepMetadata);
  if (!SameCoefficients(TJpegCoefficients(written), jpeg)) {
    throw EPennacrowError(Tr("写出的 JPEG 文件读回来与写入的系数不同，没有保存"));
  }
  return written;
}

bool IsJpegFileName(const std::string& fileName) {
  const auto dot = fileName.find_last_of('.');
  if (dot == std::string::npos || fileName.find('/', dot) != std::string::npos) return false;
  const std::string extension = LowerAscii(fileName.substr(dot + 1));
  return extension == "jpg" || extension == "jpeg" || extension == "jpe" || extension == "jfif";
}

bool IsJpegFile(const std::string& fileName) {
  try {
    return LooksLikeJpeg(ReadFileStart(fileName, 3));
  } catch (const EPennacrowError&) {
    return false;
  }
}

std::optional<std::string> JpegSaveTarget(const std::string& chosen) {
  if (IsJpegFileName(chosen)) return chosen;
  if (chosen.find('.', chosen.find_last_of('/') + 1) != std::string::npos) return std::nullopt;
  return chosen + ".jpg";
}

std::string JpegSaveName(const std::string& fileName) {
  if (fileName.empty() || IsJpegFileName(fileName)) return fileName;
  const auto dot = fileName.find_last_of('.');
  const bool extension = dot != std::string::npos && fileName.find('/', dot) == std::string::npos;
  return (extension ? fileName.substr(0, dot) : fileName) + ".jpg";
}

}  // namespace pennacrow
