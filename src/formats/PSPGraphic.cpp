#include "formats/PSPGraphic.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "picture/ByteReader.h"
#include "picture/Errors.h"
#include "picture/PixelLimits.h"

namespace pennacrow {

const TGraphicClass TPSPGraphic::ClassInfo{"TPSPGraphic", &TExtraFormatGraphic::ClassInfo, [] {
                                             return std::unique_ptr<TGraphic>(new TPSPGraphic);
                                           }};

namespace {

const char* const kFormat = "PSP";
constexpr char kSignature[] = "Paint Shop Pro Image File\n\x1a";
constexpr std::size_t kSignatureSize = 32;
constexpr std::uint8_t kBlockMarker[4] = {'~', 'B', 'K', 0};

enum TBlockId : std::uint16_t {
  kImageAttributes = 0,
  kColorPalette = 2,
  kLayerBank = 3,
  kLayer = 4,
  kChannel = 5,
};
enum TCompression : std::uint16_t { kNone = 0, kRle = 1, kLz77 = 2 };
enum TBitmapType : std::uint16_t { kImageBitmap = 0, kTransparencyMask = 1 };

// The most pixels one stored byte can stand for under each compression: a run-length pair gives
// at most 127 bytes, and deflate at most 1032 bytes per input byte.
std::uint64_t MaxRatio(std::uint16_t compression) {
  switch (compression) {
    case kRle:
      return 64;
    case kLz77:
      return 1032;
    default:
      return 1;
  }
}

[[noreturn]] void Damaged(const std::string& detail) {
  throw DamagedError(kFormat, detail);
}

struct TBlock {
  std::uint16_t Id;
  std::span<const std::uint8_t> Data;
};

// Reads the next block header and its data; nullopt at the end of the enclosing data.
std::optional<TBlock> NextBlock(TByteReader& in) {
  if (in.AtEnd()) return std::nullopt;
  const auto marker = in.Bytes(4);
  if (std::memcmp(marker.data(), kBlockMarker, 4) != 0) Damaged("块标记无效");
  const std::uint16_t id = in.U16LE();
  const std::uint32_t length = in.U32LE();
  return TBlock{id, in.Bytes(length)};
}

struct TAttributes {
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  std::uint16_t Compression = 0;
  std::uint16_t Depth = 0;
  bool Grey = false;
};

struct TRect {
  std::int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
  std::int64_t Width() const { return std::int64_t{Right} - Left; }
  std::int64_t Height() const { return std::int64_t{Bottom} - Top; }
};

// One channel expanded to exactly `size` bytes.
std::vector<std::uint8_t> Expand(std::span<const std::uint8_t> stored, std::uint16_t compression,
                                 std::size_t size) {
  std::vector<std::uint8_t> out(size);
  if (compression == kNone) {
    if (stored.size() != size) Damaged("通道数据长度不符");
    std::copy(stored.begin(), stored.end(), out.begin());
  } else if (compression == kRle) {
    // A count above 128 repeats the next byte count - 128 times; otherwise count bytes follow.
    TByteReader in(stored, kFormat);
    std::size_t at = 0;
    while (at < size) {
      if (in.AtEnd()) Damaged("通道数据不足");
      const std::uint8_t count = in.U8();
      const std::size_t n = count > 128 ? count - 128u : count;
      if (n > size - at) Damaged("游程越过通道末尾");
      if (count > 128) {
        std::fill_n(out.begin() + static_cast<std::ptrdiff_t>(at), n, in.U8());
      } else {
        const auto literal = in.Bytes(n);
        std::copy(literal.begin(), literal.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
      }
      at += n;
    }
  } else {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) Damaged("zlib");
    z.next_in = const_cast<Bytef*>(stored.data());
    z.avail_in = static_cast<uInt>(stored.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int result = inflate(&z, Z_FINISH);
    const bool filled = z.avail_out == 0;
    inflateEnd(&z);
    if (result != Z_STREAM_END || !filled) Damaged("LZ77 数据无效");
  }
  return out;
}

TAttributes ReadAttributes(std::span<const std::uint8_t> data) {
  TByteReader in(data, kFormat);
  in.Skip(4);  // chunk size
  TAttributes a;
  a.Width = in.S32LE();
  a.Height = in.S32LE();
  in.Skip(8 + 1);  // resolution and its unit
  a.Compression = in.U16LE();
  a.Depth = in.U16LE();
  in.Skip(2 + 4);  // planes, colour count
  a.Grey = in.U8() != 0;
  return a;
}

std::vector<TRGBQuad> ReadPalette(std::span<const std::uint8_t> data) {
  TByteReader in(data, InvalidPaletteError(kFormat));
  const std::uint32_t chunkSize = in.U32LE();
  const std::uint32_t count = in.U32LE();
  if (count == 0 || count > 256 || chunkSize < 8) throw InvalidPaletteError(kFormat);
  in.Seek(chunkSize);
  std::vector<TRGBQuad> palette;
  for (std::uint32_t i = 0; i < count; ++i) {
    const auto e = in.Bytes(4);
    palette.push_back({e[0], e[1], e[2], 0});
  }
  return palette;
}

}  // namespace

void TPSPGraphic::LoadFromBytes(std::span<const std::uint8_t> data) {
  if (data.size() < kSignatureSize + 4 ||
      std::memcmp(data.data(), kSignature, sizeof kSignature - 1) != 0) {
    throw InvalidFormatError(kFormat);
  }
  TByteReader in(data, kFormat);
  in.Seek(kSignatureSize);
  const std::uint16_t major = in.U16LE();
  in.Skip(2);
  if (major < 4) {
    throw UnsupportedError(kFormat, "文件版本 " + std::to_string(major));
  }

  const auto first = NextBlock(in);
  if (!first || first->Id != kImageAttributes) throw InvalidFormatError(kFormat);
  const TAttributes attributes = ReadAttributes(first->Data);
  const int depth = attributes.Depth;
  if (depth != 1 && depth != 4 && depth != 8 && depth != 24) {
    throw UnsupportedError(kFormat, std::to_string(depth) + " 位图像");
  }
  if (attributes.Compression > kLz77) {
    throw UnsupportedError(kFormat, "压缩方式 " + std::to_string(attributes.Compression));
  }
  if (attributes.Width <= 0 || attributes.Height <= 0) {
    throw InvalidFormatError(kFormat);
  }
  CheckPictureSize(kFormat, attributes.Width, attributes.Height, depth == 24 ? 32 : depth);
  const int sampleBits = depth == 24 ? 8 : depth;
  const std::uint64_t planeBytes =
      (std::uint64_t(attributes.Width) * sampleBits + 7) / 8 * std::uint64_t(attributes.Height);
  if (planeBytes > in.Remaining() * MaxRatio(attributes.Compression)) {
    throw TruncatedError(kFormat);
  }

  std::vector<TRGBQuad> palette;
  std::optional<TBlock> layer;
  while (!layer) {
    const auto block = NextBlock(in);
    if (!block) break;
    if (block->Id == kColorPalette) palette = ReadPalette(block->Data);
    if (block->Id == kLayerBank) {
      TByteReader bank(block->Data, kFormat);
      while (const auto sub = NextBlock(bank)) {
        if (sub->Id == kLayer) {
          layer = sub;
          break;
        }
      }
    }
  }
  if (!layer) Damaged("没有图层");
  if (depth <= 8) {
    if (attributes.Grey) {
      palette.clear();
      const int levels = 1 << depth;
      for (int i = 0; i < levels; ++i) {
        const auto v = static_cast<std::uint8_t>(i * 255 / (levels - 1));
        palette.push_back(RGB(v, v, v));
      }
    } else if (palette.empty()) {
      throw InvalidPaletteError(kFormat);
    }
  }

  // The layer: its information chunk (name, type, rectangle ...), its bitmap chunk (bitmap and
  // channel counts), then one channel block per channel.
  TByteReader lin(layer->Data, kFormat);
  const std::uint32_t infoSize = lin.U32LE();
  const std::uint16_t nameLength = lin.U16LE();
  lin.Skip(nameLength + 1u);  // name and layer type
  TRect rect;
  rect.Left = lin.S32LE();
  rect.Top = lin.S32LE();
  rect.Right = lin.S32LE();
  rect.Bottom = lin.S32LE();
  lin.Seek(infoSize);
  const std::size_t bitmapChunk = lin.Position();
  const std::uint32_t bitmapSize = lin.U32LE();
  lin.Skip(2);
  const std::uint16_t channelCount = lin.U16LE();
  lin.Seek(std::uint64_t{bitmapChunk} + bitmapSize);
  if (rect.Width() < 0 || rect.Height() < 0) Damaged("图层矩形无效");
  CheckPictureSize(kFormat, rect.Width(), rect.Height(), depth == 24 ? 32 : depth);
  if (depth < 8 && (rect.Left != 0 || rect.Top != 0 || rect.Width() != attributes.Width ||
                    rect.Height() != attributes.Height)) {
    throw UnsupportedError(kFormat, "小于画布的 1 或 4 位图层");
  }
  const auto lw = static_cast<std::uint64_t>(rect.Width());
  const auto lh = static_cast<std::uint64_t>(rect.Height());
  const std::uint64_t plainRow = (lw * sampleBits + 7) / 8;
  const std::uint64_t paddedRow = RowLengthFor(lw, sampleBits);

  // channel 0 is the composite of an indexed or grey image; 1 to 3 are red, green and blue.
  std::vector<std::uint8_t> planes[4];
  std::vector<std::uint8_t> alpha;
  std::uint64_t rowOf[4] = {}, alphaRow = 0;
  for (std::uint16_t c = 0; c < channelCount; ++c) {
    const auto block = NextBlock(lin);
    if (!block) throw TruncatedError(kFormat);
    if (block->Id != kChannel) continue;
    TByteReader cin(block->Data, kFormat);
    const std::uint32_t chunkSize = cin.U32LE();
    const std::uint32_t storedLength = cin.U32LE();
    const std::uint32_t length = cin.U32LE();
    const std::uint16_t bitmapType = cin.U16LE();
    const std::uint16_t channelType = cin.U16LE();
    cin.Seek(chunkSize);
    const auto stored = cin.Bytes(storedLength);
    if (bitmapType != kImageBitmap && bitmapType != kTransparencyMask) continue;
    if (channelType > 3) Damaged("通道类型 " + std::to_string(channelType));
    // Rows are either packed or padded to four bytes; the stated length tells which.
    std::uint64_t row;
    if (length == plainRow * lh)
      row = plainRow;
    else if (length == paddedRow * lh)
      row = paddedRow;
    else
      Damaged("通道长度与图层尺寸不符");
    if (length > std::uint64_t{storedLength} * MaxRatio(attributes.Compression)) {
      Damaged("通道数据不足");
    }
    auto bytes = Expand(stored, attributes.Compression, length);
    if (bitmapType == kTransparencyMask) {
      alpha = std::move(bytes);
      alphaRow = row;
    } else {
      planes[channelType] = std::move(bytes);
      rowOf[channelType] = row;
    }
  }

  const bool colour = depth == 24;
  if (colour && (planes[1].empty() || planes[2].empty() || planes[3].empty()))
    Damaged("缺少颜色通道");
  if (!colour && planes[0].empty()) Damaged("缺少图像通道");
  const bool hasAlpha = colour && !alpha.empty();
  const int outDepth = colour ? (hasAlpha ? 32 : 24) : depth;
  TBitmap picture(attributes.Width, attributes.Height, outDepth);
  picture.Palette() = palette;
  if (colour) {
    // Outside the layer the canvas is white, and transparent when there is an alpha channel.
    for (int y = 0; y < attributes.Height; ++y) {
      std::uint8_t* out = picture.RowAt(y);
      for (int x = 0; x < attributes.Width; ++x) {
        std::fill_n(out + x * (outDepth / 8), 3, 0xFF);
      }
    }
  }
  for (std::uint64_t ly = 0; ly < lh; ++ly) {
    const std::int64_t y = rect.Top + static_cast<std::int64_t>(ly);
    if (y < 0 || y >= attributes.Height) continue;
    std::uint8_t* out = picture.RowAt(static_cast<int>(y));
    if (!colour && depth < 8) {
      std::copy_n(planes[0].begin() + static_cast<std::ptrdiff_t>(ly * rowOf[0]), plainRow, out);
      continue;
    }
    for (std::uint64_t lx = 0; lx < lw; ++lx) {
      const std::int64_t x = rect.Left + static_cast<std::int64_t>(lx);
      if (x < 0 || x >= attributes.Width) continue;
      if (!colour) {
        out[x] = planes[0][ly * rowOf[0] + lx];
        continue;
      }
      std::uint8_t* p = out + x * (outDepth / 8);
      p[0] = planes[3][ly * rowOf[3] + lx];
      p[1] = planes[2][ly * rowOf[2] + lx];
      p[2] = planes[1][ly * rowOf[1] + lx];
      if (hasAlpha) p[3] = alpha[ly * alphaRow + lx];
    }
  }
  if (!colour) {
    // Every index must name a colour of the palette.
    const unsigned count = static_cast<unsigned>(palette.size());
    for (int y = 0; y < attributes.Height; ++y) {
      for (int x = 0; x < attributes.Width; ++x) {
        const std::uint8_t* row = picture.ConstRowAt(y);
        unsigned index = depth == 8   ? row[x]
                         : depth == 4 ? (x & 1 ? row[x / 2] & 0x0F : row[x / 2] >> 4)
                                      : (row[x / 8] >> (7 - x % 8)) & 1;
        if (index >= count) Damaged("颜色索引超出调色板");
      }
    }
  }
  Assign(picture);
}

}  // namespace pennacrow
