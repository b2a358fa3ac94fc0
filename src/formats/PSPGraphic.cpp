#include "formats/PSPGraphic.h"
#include "base/Translate.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "picture/ByteReader.h"
#include "picture/Colour.h"
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
  if (std::memcmp(marker.data(), kBlockMarker, 4) != 0) Damaged(Tr("块标记无效"));
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
  // Bits of one sample in a channel: 24-bit pictures keep 8-bit red, green and blue planes.
  int SampleBits() const { return Depth == 24 ? 8 : Depth; }
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
    if (stored.size() != size) Damaged(Tr("通道数据长度不符"));
    std::copy(stored.begin(), stored.end(), out.begin());
  } else if (compression == kRle) {
    // A count above 128 repeats the next byte count - 128 times; otherwise count bytes follow.
    TByteReader in(stored, kFormat);
    std::size_t at = 0;
    while (at < size) {
      if (in.AtEnd()) Damaged(Tr("通道数据不足"));
      const std::uint8_t count = in.U8();
      const std::size_t n = count > 128 ? count - 128u : count;
      if (n > size - at) Damaged(Tr("游程越过通道末尾"));
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
    if (result != Z_STREAM_END || !filled) Damaged(Tr("LZ77 数据无效"));
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

namespace {

// The file's header and its first block, the picture's attributes, checked.
TAttributes ReadHeader(TByteReader& in, const TPixelLimits& limits) {
  const std::span<const std::uint8_t> signature = in.Bytes(kSignatureSize);
  if (std::memcmp(signature.data(), kSignature, sizeof kSignature - 1) != 0) {
    throw InvalidFormatError(kFormat);
  }
  const std::uint16_t major = in.U16LE();
  in.Skip(2);
  if (major < 4) {
    throw UnsupportedError(kFormat, TrF("文件版本 %1", {std::to_string(major)}));
  }
  const auto first = NextBlock(in);
  if (!first || first->Id != kImageAttributes) throw InvalidFormatError(kFormat);
  const TAttributes a = ReadAttributes(first->Data);
  if (a.Depth != 1 && a.Depth != 4 && a.Depth != 8 && a.Depth != 24) {
    throw UnsupportedError(kFormat, TrF("%1 位图像", {std::to_string(a.Depth)}));
  }
  if (a.Compression > kLz77) {
    throw UnsupportedError(kFormat, TrF("压缩方式 %1", {std::to_string(a.Compression)}));
  }
  if (a.Width <= 0 || a.Height <= 0) throw InvalidFormatError(kFormat);
  CheckPictureSize(limits, kFormat, a.Width, a.Height, a.Depth == 24 ? 32 : a.Depth);
  const std::uint64_t planeBytes =
      (std::uint64_t(a.Width) * a.SampleBits() + 7) / 8 * std::uint64_t(a.Height);
  if (planeBytes > in.Remaining() * MaxRatio(a.Compression)) throw TruncatedError(kFormat);
  return a;
}

// The blocks up to the first layer: the palette, if any, and that layer.
TBlock FindLayer(TByteReader& in, std::vector<TRGBQuad>& palette) {
  while (const auto block = NextBlock(in)) {
    if (block->Id == kColorPalette) palette = ReadPalette(block->Data);
    if (block->Id != kLayerBank) continue;
    TByteReader bank(block->Data, kFormat);
    while (const auto sub = NextBlock(bank)) {
      if (sub->Id == kLayer) return *sub;
    }
  }
  Damaged(Tr("没有图层"));
}

// Grey pictures get their levels; other indexed pictures must have brought a palette.
void ResolvePalette(const TAttributes& a, std::vector<TRGBQuad>& palette) {
  if (a.Depth > 8) return;
  if (!a.Grey) {
    if (palette.empty()) throw InvalidPaletteError(kFormat);
    return;
  }
  palette = GreyPalette(a.Depth);
}

// One layer's channels, expanded: 0 is the composite of an indexed or grey image, 1 to 3 are
// red, green and blue; Row gives each one's row length in bytes.
struct TLayer {
  TRect Rect;
  std::vector<std::uint8_t> Planes[4], Alpha;
  std::uint64_t Row[4] = {}, AlphaRow = 0;
  std::uint64_t PlainRow = 0, PaddedRow = 0;
};

// Reads one channel block into the layer; blocks of other kinds are skipped.
void ReadChannel(const TBlock& block, const TAttributes& a, TLayer& layer) {
  if (block.Id != kChannel) return;
  TByteReader cin(block.Data, kFormat);
  const std::uint32_t chunkSize = cin.U32LE();
  const std::uint32_t storedLength = cin.U32LE();
  const std::uint32_t length = cin.U32LE();
  const std::uint16_t bitmapType = cin.U16LE();
  const std::uint16_t channelType = cin.U16LE();
  cin.Seek(chunkSize);
  const auto stored = cin.Bytes(storedLength);
  if (bitmapType != kImageBitmap && bitmapType != kTransparencyMask) return;
  if (channelType > 3) Damaged(TrF("通道类型 %1", {std::to_string(channelType)}));
  // Rows are either packed or padded to four bytes; the stated length tells which.
  const auto lh = static_cast<std::uint64_t>(layer.Rect.Height());
  std::uint64_t row = 0;
  if (length == layer.PlainRow * lh)
    row = layer.PlainRow;
  else if (length == layer.PaddedRow * lh)
    row = layer.PaddedRow;
  else
    Damaged(Tr("通道长度与图层尺寸不符"));
  if (length > std::uint64_t{storedLength} * MaxRatio(a.Compression)) Damaged(Tr("通道数据不足"));
  auto bytes = Expand(stored, a.Compression, length);
  if (bitmapType == kTransparencyMask) {
    layer.Alpha = std::move(bytes);
    layer.AlphaRow = row;
  } else {
    layer.Planes[channelType] = std::move(bytes);
    layer.Row[channelType] = row;
  }
}

// The layer: its information chunk (name, type, rectangle ...), its bitmap chunk (bitmap and
// channel counts), then one channel block per channel.
TLayer ReadLayer(const TBlock& block, const TAttributes& a, const TPixelLimits& limits) {
  TByteReader lin(block.Data, kFormat);
  const std::uint32_t infoSize = lin.U32LE();
  const std::uint16_t nameLength = lin.U16LE();
  lin.Skip(nameLength + 1u);  // name and layer type
  TLayer layer;
  TRect& rect = layer.Rect;
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
  if (rect.Width() < 0 || rect.Height() < 0) Damaged(Tr("图层矩形无效"));
  CheckPictureSize(limits, kFormat, rect.Width(), rect.Height(), a.Depth == 24 ? 32 : a.Depth);
  if (a.Depth < 8 &&
      (rect.Left != 0 || rect.Top != 0 || rect.Width() != a.Width || rect.Height() != a.Height)) {
    throw UnsupportedError(kFormat, Tr("小于画布的 1 或 4 位图层"));
  }
  const auto lw = static_cast<std::uint64_t>(rect.Width());
  layer.PlainRow = (lw * a.SampleBits() + 7) / 8;
  layer.PaddedRow = RowLengthFor(lw, a.SampleBits());
  for (std::uint16_t c = 0; c < channelCount; ++c) {
    const auto channel = NextBlock(lin);
    if (!channel) throw TruncatedError(kFormat);
    ReadChannel(*channel, a, layer);
  }
  if (a.Depth == 24 &&
      (layer.Planes[1].empty() || layer.Planes[2].empty() || layer.Planes[3].empty()))
    Damaged(Tr("缺少颜色通道"));
  if (a.Depth != 24 && layer.Planes[0].empty()) Damaged(Tr("缺少图像通道"));
  return layer;
}

// One row of the layer onto the canvas row y: the parts outside the canvas are dropped.
void PlaceRow(const TLayer& layer, std::uint64_t ly, int depth, int outDepth, std::uint8_t* out,
              std::int64_t canvasWidth) {
  const auto lw = static_cast<std::uint64_t>(layer.Rect.Width());
  if (depth < 8) {
    std::copy_n(layer.Planes[0].begin() + static_cast<std::ptrdiff_t>(ly * layer.Row[0]),
                layer.PlainRow, out);
    return;
  }
  for (std::uint64_t lx = 0; lx < lw; ++lx) {
    const std::int64_t x = layer.Rect.Left + static_cast<std::int64_t>(lx);
    if (x < 0 || x >= canvasWidth) continue;
    if (depth == 8) {
      out[x] = layer.Planes[0][ly * layer.Row[0] + lx];
      continue;
    }
    std::uint8_t* p = out + x * (outDepth / 8);
    p[0] = layer.Planes[3][ly * layer.Row[3] + lx];
    p[1] = layer.Planes[2][ly * layer.Row[2] + lx];
    p[2] = layer.Planes[1][ly * layer.Row[1] + lx];
    if (outDepth == 32) p[3] = layer.Alpha[ly * layer.AlphaRow + lx];
  }
}

// The layer on a canvas of the picture's size.
TBitmap Compose(const TAttributes& a, const TLayer& layer, std::vector<TRGBQuad> palette) {
  const bool colour = a.Depth == 24;
  const int outDepth = colour ? (layer.Alpha.empty() ? 24 : 32) : a.Depth;
  TBitmap picture(a.Width, a.Height, outDepth);
  picture.Palette() = std::move(palette);
  if (colour) {
    // Outside the layer the canvas is white, and transparent when there is an alpha channel.
    for (int y = 0; y < a.Height; ++y) {
      std::uint8_t* out = picture.RowAt(y);
      for (int x = 0; x < a.Width; ++x) std::fill_n(out + x * (outDepth / 8), 3, 0xFF);
    }
  }
  const auto lh = static_cast<std::uint64_t>(layer.Rect.Height());
  for (std::uint64_t ly = 0; ly < lh; ++ly) {
    const std::int64_t y = layer.Rect.Top + static_cast<std::int64_t>(ly);
    if (y < 0 || y >= a.Height) continue;
    PlaceRow(layer, ly, a.Depth, outDepth, picture.RowAt(static_cast<int>(y)), a.Width);
  }
  return picture;
}

// Every index of an indexed picture must name a colour of its palette.
void CheckIndices(const TBitmap& picture) {
  const int depth = picture.BitsPerPixel();
  if (depth > 8) return;
  const auto count = static_cast<unsigned>(picture.Palette().size());
  for (int y = 0; y < picture.Height(); ++y) {
    const std::uint8_t* row = picture.ConstRowAt(y);
    for (int x = 0; x < picture.Width(); ++x) {
      const unsigned index = depth == 8   ? row[x]
                             : depth == 4 ? (x & 1 ? row[x / 2] & 0x0F : row[x / 2] >> 4)
                                          : (row[x / 8] >> (7 - x % 8)) & 1;
      if (index >= count) Damaged(Tr("颜色索引超出调色板"));
    }
  }
}

}  // namespace

void TPSPGraphic::LoadFromBytes(std::span<const std::uint8_t> data) {
  if (data.size() < kSignatureSize + 4) throw InvalidFormatError(kFormat);
  TByteReader in(data, kFormat);
  const TAttributes attributes = ReadHeader(in, Limits());
  std::vector<TRGBQuad> palette;
  const TBlock layerBlock = FindLayer(in, palette);
  ResolvePalette(attributes, palette);
  const TLayer layer = ReadLayer(layerBlock, attributes, Limits());
  TBitmap picture = Compose(attributes, layer, std::move(palette));
  CheckIndices(picture);
  Assign(picture);
}

}  // namespace pennacrow
