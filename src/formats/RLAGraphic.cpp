#include "formats/RLAGraphic.h"
#include "base/Translate.h"

#include <algorithm>

#include "picture/ByteReader.h"
#include "picture/Colour.h"
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
constexpr std::size_t kChannelType = 656;   // colour type, colour bits, matte type, matte bits
enum : std::int16_t { kIntegerSamples = 0 };
// A two-byte run yields at most 128 samples.
constexpr std::uint64_t kMaxRun = 128;

[[noreturn]] void Damaged(const std::string& detail) {
  throw DamagedError(kFormat, detail);
}

// One channel of one scanline: a byte count, then runs of count bytes. A non-negative count byte
// repeats the next byte count + 1 times; a negative one is followed by -count literal bytes.
void DecodeRuns(TByteReader& in, std::uint8_t* out, int count, int step) {
  const std::uint16_t length = in.U16BE();
  TByteReader runs(in.Bytes(length), kFormat);
  int x = 0;
  while (x < count) {
    if (runs.AtEnd()) Damaged(Tr("扫描行的像素不足"));
    const auto header = static_cast<std::int8_t>(runs.U8());
    if (header >= 0) {
      const int n = header + 1;
      if (n > count - x) Damaged(Tr("游程越过行尾"));
      const std::uint8_t value = runs.U8();
      for (int i = 0; i < n; ++i) out[(x + i) * step] = value;
      x += n;
    } else {
      const int n = -header;
      if (n > count - x) Damaged(Tr("游程越过行尾"));
      const auto literal = runs.Bytes(static_cast<std::uint64_t>(n));
      for (int i = 0; i < n; ++i) out[(x + i) * step] = literal[i];
      x += n;
    }
  }
  if (!runs.AtEnd()) Damaged(Tr("游程越过行尾"));
}

// A channel of 9 to 16 bits holds each sample in two bytes, the row's high bytes first, then its
// low bytes; the samples are reduced to 8 bits as 16-bit samples are, round(v x 255 / max).
void DecodeChannel(TByteReader& in, std::uint8_t* out, int width, int step, int bits,
                   std::vector<std::uint8_t>& scratch) {
  if (bits == 8) {
    DecodeRuns(in, out, width, step);
    return;
  }
  const auto w = static_cast<std::size_t>(width);
  scratch.resize(2 * w);
  DecodeRuns(in, scratch.data(), 2 * width, 1);
  const std::uint32_t max = (1u << bits) - 1;
  for (std::size_t x = 0; x < w; ++x) {
    const std::uint32_t v = std::min<std::uint32_t>((scratch[x] << 8) | scratch[w + x], max);
    out[x * step] = ScaleToByte(v, max);
  }
}

struct THeader {
  std::int64_t Width = 0, Height = 0;
  int ColourChannels = 0, MatteChannels = 0;
  int ColourBits = 8, MatteBits = 8;
  int Depth() const { return MatteChannels == 1 ? 32 : 24; }
};

// The fixed 740-byte header, checked.
THeader ReadHeader(TByteReader& in, const TPixelLimits& limits) {
  in.Seek(kActiveWindow);
  const int left = in.S16BE(), right = in.S16BE(), bottom = in.S16BE(), top = in.S16BE();
  in.Seek(kChannelCounts);
  THeader h;
  h.ColourChannels = in.S16BE();
  h.MatteChannels = in.S16BE();
  const int auxChannels = in.S16BE();
  in.Seek(kChannelType);
  const int colourType = in.S16BE();
  const int colourBits = in.S16BE();
  const int matteType = in.S16BE();
  const int matteBits = in.S16BE();
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
  // Auxiliary channels (depth and the like) are not part of the picture and are not read.
  auto depth = [](int bits) { return bits == 0 ? 8 : bits; };
  h.ColourBits = depth(colourBits);
  h.MatteBits = h.MatteChannels == 0 ? 8 : depth(matteBits);
  for (int bits : {h.ColourBits, h.MatteBits}) {
    if (bits != 8 && (bits < 9 || bits > 16)) {
      throw UnsupportedError(kFormat, TrF("%1 位通道", {std::to_string(bits)}));
    }
  }
  if (colourType != kIntegerSamples || (h.MatteChannels != 0 && matteType != kIntegerSamples)) {
    throw UnsupportedError(kFormat, Tr("浮点通道"));
  }
  CheckPictureSize(limits, kFormat, h.Width, h.Height, h.Depth());
  return h;
}

// One scanline at the reader's position: the colour channels (red, green, blue, or one grey
// copied to all three), then the matte.
void DecodeScanline(TByteReader& in, const THeader& h, std::uint8_t* row,
                    std::vector<std::uint8_t>& scratch) {
  const int step = h.Depth() / 8;
  const auto w = static_cast<int>(h.Width);
  if (h.ColourChannels == 3) {
    for (int c = 0; c < 3; ++c) DecodeChannel(in, row + (2 - c), w, step, h.ColourBits, scratch);
  } else {
    DecodeChannel(in, row, w, step, h.ColourBits, scratch);
    for (int x = 0; x < w; ++x) row[x * step + 1] = row[x * step + 2] = row[x * step];
  }
  if (h.MatteChannels == 1) DecodeChannel(in, row + 3, w, step, h.MatteBits, scratch);
}

}  // namespace

bool TRLAGraphic::HeaderLooksValid(std::span<const std::uint8_t> head) {
  return head.size() >= kHeaderSize && ReadsWithoutRefusal([head] {
           TByteReader in(head, kFormat);
           ReadHeader(in, kNoPixelLimits);
         });
}

void TRLAGraphic::LoadFromBytes(std::span<const std::uint8_t> data) {
  if (data.size() < kHeaderSize) throw InvalidFormatError(kFormat);
  TByteReader in(data, kFormat);
  const THeader header = ReadHeader(in, Limits());
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
  std::vector<std::uint8_t> scratch;
  for (std::size_t i = 0; i < offsets.size(); ++i) {
    if (offsets[i] < kHeaderSize || offsets[i] >= data.size()) Damaged(Tr("扫描行偏移超出文件"));
    in.Seek(offsets[i]);
    // Scanlines are stored bottom row first.
    DecodeScanline(in, header, picture.RowAt(static_cast<int>(offsets.size() - 1 - i)), scratch);
  }
  Assign(picture);
}

}  // namespace pennacrow
