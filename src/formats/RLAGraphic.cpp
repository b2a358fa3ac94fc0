#include "formats/RLAGraphic.h"

#include <algorithm>

#include "picture/ByteReader.h"
#include "picture/Errors.h"
#include "picture/PixelLimits.h"

namespace pennacrow {

const TGraphicClass TRLAGraphic::ClassInfo{"TRLAGraphic", &TExtraFormatGraphic::ClassInfo, [] {
                                             return std::unique_ptr<TGraphic>(new TRLAGraphic);
                                           }};

namespace {

const char* const kFormat = "RLA";
constexpr std::size_t kHeaderSize = 740;
// Offsets of the header fields this decoder reads (all big-endian).
constexpr std::size_t kActiveWindow = 8;    // left, right, bottom, top
constexpr std::size_t kChannelCounts = 20;  // colour channels, matte channels, aux channels
constexpr std::size_t kChannelBits = 658;   // colour bits, matte type, matte bits
// A two-byte run yields at most 128 samples.
constexpr std::uint64_t kMaxRun = 128;

[[noreturn]] void Damaged(const std::string& detail) {
  throw DamagedError(kFormat, detail);
}

// One channel of one scanline: a byte count, then runs. A non-negative count byte repeats the
// next byte count + 1 times; a negative one is followed by -count literal bytes.
void DecodeChannel(TByteReader& in, std::uint8_t* out, int width, int step) {
  const std::uint16_t length = in.U16BE();
  TByteReader runs(in.Bytes(length), kFormat);
  int x = 0;
  while (x < width) {
    if (runs.AtEnd()) Damaged("扫描行的像素不足");
    const auto count = static_cast<std::int8_t>(runs.U8());
    if (count >= 0) {
      const int n = count + 1;
      if (n > width - x) Damaged("游程越过行尾");
      const std::uint8_t value = runs.U8();
      for (int i = 0; i < n; ++i) out[(x + i) * step] = value;
      x += n;
    } else {
      const int n = -count;
      if (n > width - x) Damaged("游程越过行尾");
      const auto literal = runs.Bytes(static_cast<std::uint64_t>(n));
      for (int i = 0; i < n; ++i) out[(x + i) * step] = literal[i];
      x += n;
    }
  }
  if (!runs.AtEnd()) Damaged("游程越过行尾");
}

}  // namespace

void TRLAGraphic::LoadFromBytes(std::span<const std::uint8_t> data) {
  if (data.size() < kHeaderSize) throw InvalidFormatError(kFormat);
  TByteReader in(data, kFormat);
  in.Seek(kActiveWindow);
  const int left = in.S16BE();
  const int right = in.S16BE();
  const int bottom = in.S16BE();
  const int top = in.S16BE();
  in.Seek(kChannelCounts);
  const int colourChannels = in.S16BE();
  const int matteChannels = in.S16BE();
  const int auxChannels = in.S16BE();
  in.Seek(kChannelBits);
  const int colourBits = in.S16BE();
  in.Skip(2);
  const int matteBits = in.S16BE();
  in.Skip(2);
  const int auxBits = in.S16BE();

  const std::int64_t width = std::int64_t{right} - left + 1;
  const std::int64_t height = std::int64_t{top} - bottom + 1;
  if (width <= 0 || height <= 0 || colourChannels < 0 || matteChannels < 0 || auxChannels < 0) {
    throw InvalidFormatError(kFormat);
  }
  if (colourChannels != 3 && colourChannels != 1) {
    throw UnsupportedError(kFormat, std::to_string(colourChannels) + " 个颜色通道");
  }
  if (matteChannels > 1) {
    throw UnsupportedError(kFormat, std::to_string(matteChannels) + " 个遮罩通道");
  }
  // The bit counts are 0 in files of the oldest revision, which were always 8 bits a sample.
  const bool eightBits = (colourBits == 8 || colourBits == 0) &&
                         (matteChannels == 0 || matteBits == 8 || matteBits == 0) &&
                         (auxChannels == 0 || auxBits == 8 || auxBits == 0);
  if (!eightBits) {
    throw UnsupportedError(kFormat, std::to_string(colourBits) + " 位通道");
  }
  const int depth = matteChannels == 1 ? 32 : 24;
  CheckPictureSize(kFormat, width, height, depth);
  // The offset table must be there, and at least one scanline able to fill the width.
  const std::uint64_t channels = static_cast<std::uint64_t>(colourChannels + matteChannels);
  const std::uint64_t leastScanline =
      channels * (2 + 2 * ((static_cast<std::uint64_t>(width) + kMaxRun - 1) / kMaxRun));
  if (static_cast<std::uint64_t>(height) * 4 + leastScanline > data.size() - kHeaderSize) {
    throw TruncatedError(kFormat);
  }

  in.Seek(kHeaderSize);
  std::vector<std::uint32_t> offsets(static_cast<std::size_t>(height));
  for (auto& offset : offsets) offset = in.U32BE();

  TBitmap picture(static_cast<int>(width), static_cast<int>(height), depth);
  const int step = depth / 8;
  const int w = static_cast<int>(width);
  for (std::size_t i = 0; i < offsets.size(); ++i) {
    if (offsets[i] < kHeaderSize || offsets[i] >= data.size()) Damaged("扫描行偏移超出文件");
    in.Seek(offsets[i]);
    // Scanlines are stored bottom row first; colour channels are red, green, blue.
    std::uint8_t* row = picture.RowAt(static_cast<int>(height - 1 - static_cast<std::int64_t>(i)));
    if (colourChannels == 3) {
      for (int c = 0; c < 3; ++c) DecodeChannel(in, row + (2 - c), w, step);
    } else {
      DecodeChannel(in, row, w, step);
      for (int x = 0; x < w; ++x) row[x * step + 1] = row[x * step + 2] = row[x * step];
    }
    if (matteChannels == 1) DecodeChannel(in, row + 3, w, step);
  }
  Assign(picture);
}

}  // namespace pennacrow
