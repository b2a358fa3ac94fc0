#include "adaptive/AdaptiveBitmap.h"
#include "base/Translate.h"

#include <sodium.h>

#include <algorithm>
#include <atomic>
#include <string>

#include "adaptive/Hill.h"
#include "adaptive/KeyedEmbedding.h"
#include "adaptive/Workers.h"
#include "base/LargeBuffer.h"
#include "codec/Container.h"
#include "picture/RowColors.h"

namespace pennacrow {

using namespace adaptive;

namespace {

const char* const kNoRoomToWrite =
    N_("这张图片太小，或者几乎全是纯黑、纯白，放不下密钥自适应写入的内容");
const char* const kCannotHold =
    N_("这张图片不可能藏有密钥自适应写入的内容：它太小，或者不是彩色或灰度的像素");

bool IsGreyRamp(const TBitmap& bitmap) {
  const std::vector<TRGBQuad>& palette = bitmap.Palette();
  if (bitmap.BitsPerPixel() != 8 || palette.size() != 256) return false;
  for (int i = 0; i < 256; ++i) {
    const auto v = static_cast<std::uint8_t>(i);
    if (palette[i].Red != v || palette[i].Green != v || palette[i].Blue != v) return false;
  }
  return true;
}

bool AllGrey(const std::vector<TRGBQuad>& palette) {
  return !palette.empty() && std::all_of(palette.begin(), palette.end(), [](const TRGBQuad& c) {
    return c.Red == c.Green && c.Green == c.Blue;
  });
}

void ConvertToGreyRamp(TBitmap& bitmap) {
  TBitmap grey;
  grey.Allocate(bitmap.Width(), bitmap.Height(), 8);
  grey.Palette().resize(256);
  for (int i = 0; i < 256; ++i) {
    const auto v = static_cast<std::uint8_t>(i);
    grey.Palette()[i] = RGB(v, v, v);
  }
  const TRowColors colors(bitmap);
  std::vector<TRGBQuad> row(static_cast<std::size_t>(bitmap.Width()));
  for (int y = 0; y < bitmap.Height(); ++y) {
    colors.Read(bitmap.ConstRowAt(y), row.data());
    std::uint8_t* out = grey.RowAt(y);
    for (std::size_t x = 0; x < row.size(); ++x) out[x] = row[x].Red;
  }
  grey.FileInfo() = bitmap.FileInfo();
  bitmap.Assign(grey);
}

// A bitmap's carrier samples as the keyed writer and reader see them.
class TBitmapCover : public TSymmetricCover {
 public:
  TBitmapCover(const TBitmap& bitmap, std::uint8_t* writable)
      : FBitmap(bitmap),
        FWritable(writable),
        FChannels(AdaptiveChannels(bitmap)),
        FPixelBytes(bitmap.BitsPerPixel() / 8) {}

  std::uint64_t Size() const override {
    return std::uint64_t(FBitmap.Width()) * std::uint64_t(FBitmap.Height()) * FChannels;
  }
  std::string Label() const override {
    return "pixels " + std::to_string(FBitmap.Width()) + " " + std::to_string(FBitmap.Height()) +
           " " + std::to_string(FChannels);
  }
  void Values(std::span<const std::uint32_t> indices,
              std::span<std::int16_t> values) const override {
    const std::uint8_t* bits = FBitmap.Bits().data();
    for (std::size_t i = 0; i < indices.size(); ++i) {
      // The elements lie all over the picture: ask for their lines well before they are read.
      if (i + kAhead < indices.size()) __builtin_prefetch(bits + Offset(indices[i + kAhead]));
      values[i] = bits[Offset(indices[i])];
    }
  }
  std::uint64_t Usable() const override;
  void PrepareCosts() override;
  void Apply(std::span<const std::uint32_t> indices,
             std::span<const std::int8_t> changes) override {
    for (std::size_t i = 0; i < indices.size(); ++i) {
      if (changes[i] != 0) FWritable[Offset(indices[i])] += static_cast<std::uint8_t>(changes[i]);
    }
  }

 private:
  static constexpr std::size_t kAhead = 128;

  std::size_t Offset(std::uint32_t element) const {
    const std::uint32_t pixel = FChannels == 3 ? element / 3 : element;
    const std::uint32_t channel = element - pixel * FChannels;
    // Rows without padding need no division by the width, which is most of the cost here.
    if (FBitmap.RowLength() == std::size_t{FPixelBytes} * FBitmap.Width()) {
      return std::size_t{pixel} * FPixelBytes + channel;
    }
    const auto width = static_cast<std::uint32_t>(FBitmap.Width());
    return std::size_t{pixel / width} * FBitmap.RowLength() +
           std::size_t{pixel % width} * FPixelBytes + channel;
  }
  template <typename TVisit>
  void EachSample(TVisit visit) const;

  const TBitmap& FBitmap;
  std::uint8_t* FWritable;
  std::uint32_t FChannels;
  std::uint32_t FPixelBytes;
};

// visit(element, sample) for every carrier sample, in element order.
template <typename TVisit>
void TBitmapCover::EachSample(TVisit visit) const {
  std::uint64_t element = 0;
  for (int y = 0; y < FBitmap.Height(); ++y) {
    const std::uint8_t* row = FBitmap.ConstRowAt(y);
    for (int x = 0; x < FBitmap.Width(); ++x) {
      for (std::uint32_t c = 0; c < FChannels; ++c) visit(element++, row[x * FPixelBytes + c]);
    }
  }
}

bool Saturated(std::uint8_t sample) {
  return sample == 0 || sample == 255;
}

std::uint64_t TBitmapCover::Usable() const {
  std::uint64_t usable = 0;
  EachSample([&](std::uint64_t, std::uint8_t sample) { usable += !Saturated(sample); });
  return usable;
}

void TBitmapCover::PrepareCosts() {
  FLevels = LargeZeroBuffer(Size());
  const std::ptrdiff_t rowLevels = std::ptrdiff_t{FBitmap.Width()} * FChannels;
  // Each channel in two halves, on a few threads: the parts write disjoint levels.
  const int height = FBitmap.Height();
  std::atomic<std::uint32_t> next{0};
  RunWorkers(2 * FChannels, [&](const std::atomic<bool>& stop) {
    for (std::uint32_t job = next++; job < 2 * FChannels && !stop; job = next++) {
      const std::uint32_t c = job / 2;
      const int first = job % 2 == 0 ? 0 : height / 2, last = job % 2 == 0 ? height / 2 : height;
      HillLevels({FBitmap.Bits().data() + c, FBitmap.Width(), height,
                  static_cast<std::ptrdiff_t>(FBitmap.RowLength()), FPixelBytes},
                 {FLevels.data() + c, rowLevels, FChannels}, first, last);
    }
  });
  EachSample([&](std::uint64_t element, std::uint8_t sample) {
    if (Saturated(sample)) FLevels[element] = kWetLevel;
  });
}

// The record's bytes beyond the content: a kind byte, and a file's name with its length.
std::uint64_t RecordOverhead(const TSealedContent& content) {
  return 1 + (content.Kind == TSealedKind::File ? 1 + content.Name.size() : 0);
}

}  // namespace

TAdaptiveCapacity KeyedCapacity(std::uint64_t elements, std::uint64_t usable) {
  auto text = [](std::uint64_t record) { return record > 1 ? record - 1 : 0; };
  return {text(LargestKeyedRecord(elements, usable)), text(ToleratedKeyedRecord(elements, usable))};
}

void RequireContentFits(const TAdaptiveCapacity& capacity, const TSealedContent& content) {
  if (capacity.Largest == 0) throw ENoAdaptiveRoom(Tr(kNoRoomToWrite));
  const std::uint64_t extra = RecordOverhead(content) - 1;
  const std::uint64_t room = capacity.Largest > extra ? capacity.Largest - extra : 0;
  if (content.Bytes.size() > room) {
    throw ETextDoesNotFit(TrF("内容太大：这张图片用密钥自适应写入最多能放 %1 字节，内容有 %2 字节",
                              {std::to_string(room), std::to_string(content.Bytes.size())}));
  }
}

int AdaptiveChannels(const TBitmap& bitmap) {
  if (bitmap.Empty()) return 0;
  if (bitmap.BitsPerPixel() == 24 || bitmap.BitsPerPixel() == 32) return 3;
  return IsGreyRamp(bitmap) ? 1 : 0;
}

void PrepareAdaptiveCarrier(TBitmap& bitmap) {
  if (bitmap.Empty() || AdaptiveChannels(bitmap) > 0) return;
  if (bitmap.BitsPerPixel() <= 8 && AllGrey(bitmap.Palette())) {
    ConvertToGreyRamp(bitmap);
  } else {
    bitmap.SetBitsPerPixel(24);
  }
}

TAdaptiveCapacity AdaptiveCapacity(const TBitmap& bitmap) {
  if (AdaptiveChannels(bitmap) == 0 && !bitmap.Empty()) {
    TBitmap prepared;
    prepared.Assign(bitmap);
    PrepareAdaptiveCarrier(prepared);
    return AdaptiveCapacity(prepared);
  }
  const TBitmapCover cover(bitmap, nullptr);
  return KeyedCapacity(cover.Size(), cover.Usable());
}

TAdaptiveCapacity AdaptiveCapacityBound(const TBitmap& rows, int height) {
  int channels = AdaptiveChannels(rows);
  if (channels == 0 && !rows.Empty()) {
    channels = rows.BitsPerPixel() <= 8 && AllGrey(rows.Palette()) ? 1 : 3;
  }
  const std::uint64_t elements =
      std::uint64_t(rows.Width()) * std::uint64_t(std::max(height, 0)) * std::uint64_t(channels);
  return KeyedCapacity(elements, elements);
}

void RequireAdaptiveFits(const TBitmap& bitmap, const TSealedContent& content) {
  RequireContentFits(AdaptiveCapacity(bitmap), content);
}

void HideAdaptive(TBitmap& bitmap, std::string_view password, const TSealedContent& content,
                  TSealParameters parameters) {
  RequireAdaptiveFits(bitmap, content);
  const TWipedRecord record(EncodeSealedRecord(content));
  PrepareAdaptiveCarrier(bitmap);
  TBitmapCover cover(bitmap, bitmap.MutableBits().data());
  WriteKeyed(cover, password, record.Text(), parameters);
}

bool MayHoldAdaptive(const TBitmap& bitmap) {
  const int channels = AdaptiveChannels(bitmap);
  return channels > 0 &&
         KeyedLayout(std::uint64_t(bitmap.Width()) * std::uint64_t(bitmap.Height()) * channels)
             .has_value();
}

void RequireMayHoldAdaptive(const TBitmap& bitmap) {
  if (!MayHoldAdaptive(bitmap)) throw ENoAdaptiveRoom(Tr(kCannotHold));
}

TSealedContent RevealAdaptive(const TBitmap& bitmap, std::string_view password,
                              TSealParameters parameters) {
  RequireMayHoldAdaptive(bitmap);
  const TBitmapCover cover(bitmap, nullptr);
  const TWipedRecord record(ReadKeyed(cover, password, parameters));
  return DecodeSealedRecord(record.Text());
}

}  // namespace pennacrow
