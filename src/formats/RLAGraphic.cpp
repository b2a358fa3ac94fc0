#include "formats/RLAGraphic.h"
#include "text/Translate.h"

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
    if (runs.AtEnd()) Damaged(Tr("扫描行的像素不足"));
    const auto count = static_cast<std::int8_t>(runs.U8());
    if (count >= 0) {
      const int n = count + 1;
      if (n > width - x) Damaged(Tr("游程越过行尾"));
      const std::uint8_t value = runs.U8();
      for (int i = 0; i < n; ++i) out[(x + i) * step] = value;
      x += n;
    } else {
      const int n = -count;
      if (n > width - x) Damaged(Tr("游程越过行尾"));
      const auto literal = runs.Bytes(static_cast<std::uint64_t>(n));
      for (int i = 0; i < n; ++i) out[(x + i) * step] = literal[i];
      x += n;
    }
  }
  if (!runs.AtEnd()) Damaged(Tr("游程越过行尾"));
}

struct THeader {
  std::int64_t Width = 0, Height = 0;
  int ColourChannels = 0, MatteChannels = 0;
  int Depth() const { return MatteChannels == 1 ? 32 : 24; }
};

// The fixed 740-byte header, checked.
THeader ReadHeader(TByteReader& in) {
  in.Seek(kActiveWindow);
  const int left = in.S16BE(), right = in.S16BE(), bottom = in.S16BE(), top = in.S16BE();
  in.Seek(kChannelCounts);
  THeader h;
  h.ColourChannels = in.S16BE();
  h.MatteChannels = in.S16BE();
  const int auxChannels = in.S16BE();
  in.Seek(kChannelBits);
  const int colourBits = in.S16BE();
  in.Skip(2);
  const int matteBits = in.S16BE();
  in.Skip(2);
  const int auxBits = in.S16BE();
  h.Width = std::int64_t{right} - left + 1;
  h.Height = std::int64_t{top} - bottom + 1;
  if (h.Width <= 0 || h.Height <= 0 || h.ColourChannels < 0 || h.MatteChannels < 0 ||
      auxChannels < 0) {
    throw InvalidFormatError(kFormat);
  }
  if (h.ColourChannels != 3 && h.ColourChannels != 1) {
    throw UnsupportedError(kFormat, TrF("%1 个颜色通道", {std::to_string(h.ColourChannels)}));
  }
  if (h.MatteChannels > 1) {
    throw UnsupportedError(kFormat, TrF("%1 个遮罩通道", {std::to_string(h.MatteChannels)}));
  }
  // The bit counts are 0 in files of the oldest revision, which were always 8 bits a sample.
  const bool eightBits = (colourBits == 8 || colourBits == 0) &&
                         (h.MatteChannels == 0 || matteBits == 8 || matteBits == 0) &&
                         (auxChannels == 0 || auxBits == 8 || auxBits == 0);
  if (!eightBits) throw UnsupportedError(kFormat, TrF("%1 位通道", {std::to_string(colourBits)}));
  CheckPictureSize(kFormat, h.Width, h.Height, h.Depth());
  return h;
}

// One scanline at the reader's position: the colour channels (red, green, blue, or one grey
// copied to all three), then the matte.
void DecodeScanline(TByteReader& in, const THeader& h, std::uint8_t* row) {
  const int step = h.Depth() / 8;
  const auto w = static_cast<int>(h.Width);
  if (h.ColourChannels == 3) {
    for (int c = 0; c < 3; ++c) DecodeChannel(in, row + (2 - c), w, step);
  } else {
    DecodeChannel(in, row, w, step);
    for (int x = 0; x < w; ++x) row[x * step + 1] = row[x * step + 2] = row[x * step];
  }
  if (h.MatteChannels == 1) DecodeChannel(in, row + 3, w, step);
}

}  // namespace

void TRLAGraphic::LoadFromBytes(std::span<const std::uint8_t> data) {
  if (data.size() < kHeaderSize) throw InvalidFormatError(kFormat);
  TByteReader in(data, kFormat);
  const THeader header = ReadHeader(in);
  // The offset table must be there, and at least one scanline able to fill the width.
  const auto channels = static_cast<std::uint64_t>(header.ColourChannels + header.MatteChannels);
  const auto width = static_cast<std::uint64_t>(header.Width);
  const std::uint64_t leastScanline = channels * (2 + 2 * CeilDiv(width, kMaxRun));
  if (static_cast<std::uint64_t>(header.Height) * 4 + leastScanline > data.size() - kHeaderSize) {
    throw TruncatedError(kFormat);
  }
  in.Seek(kHeaderSize);
  std::vector<std::uint32_t> offsets(static_cast<std::size_t>(header.Height));
  for (auto& offset : offsets) offset = in.U32BE();
  TBitmap picture(static_cast<int>(header.Width), static_cast<int>(header.Height), header.Depth());
  for (std::size_t i = 0; i < offsets.size(); ++i) {
    if (offsets[i] < kHeaderSize || offsets[i] >= data.size()) Damaged(Tr("扫描行偏移超出文件"));
    in.Seek(offsets[i]);
    // Scanlines are stored bottom row first.
    DecodeScanline(in, header, picture.RowAt(static_cast<int>(offsets.size() - 1 - i)));
  }
  Assign(picture);
}

}  // namespace pennacrow
