#include "formats/PSDGraphic.h"
#include "base/Translate.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <vector>

#include "formats/PixelRows.h"
#include "picture/ByteReader.h"
#include "picture/Colour.h"
#include "picture/Errors.h"
#include "picture/PixelLimits.h"

namespace pennacrow {

const TGraphicClass TPSDGraphic::ClassInfo{"TPSDGraphic", &TExtraFormatGraphic::ClassInfo, [] {
                                             return std::unique_ptr<TGraphic>(new TPSDGraphic);
                                           }};

namespace {

const char* const kFormat = "PSD";

enum : unsigned {
  kBitmap = 0,
  kGrey = 1,
  kIndexed = 2,
  kRgb = 3,
  kCmyk = 4,
  kMultichannel = 7,
  kDuotone = 8,
  kLab = 9,
};

[[noreturn]] void Damaged(const std::string& detail) {
  throw DamagedError(kFormat, detail);
}

// One PackBits row: n in 0..127 copies the next n + 1 bytes, n in -127..-1 repeats the next
// byte 1 - n times, -128 does nothing. Neither kind may cross the row's end.
void UnpackBits(TByteReader& in, std::vector<std::uint8_t>& out) {
  const std::size_t length = out.size();
  std::size_t i = 0;
  while (i < length) {
    const auto n = static_cast<std::int8_t>(in.U8());
    if (n == -128) continue;
    const std::size_t count = n >= 0 ? std::size_t(n) + 1 : std::size_t(1 - n);
    if (count > length - i) Damaged(n >= 0 ? Tr("原样数据越过行尾") : Tr("重复行程越过行尾"));
    if (n >= 0) {
      const auto bytes = in.Bytes(count);
      std::copy(bytes.begin(), bytes.end(), out.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      std::fill_n(out.begin() + static_cast<std::ptrdiff_t>(i), count, in.U8());
    }
    i += count;
  }
}

// Photoshop's 8-bit Lab: L* = v x 100 / 255, a* and b* = v - 128, white point D50.
TRGBQuad Lab8ToSrgb(std::uint8_t l8, std::uint8_t a8, std::uint8_t b8) {
  return LabToSrgb(l8 * 100.0 / 255.0, a8 - 128, b8 - 128, TSrgbPrecision::Exact);
}

std::uint8_t Ink(unsigned a, unsigned b) {
  return static_cast<std::uint8_t>((a * b + 127) / 255);
}

enum TCompression : unsigned { kRaw = 0, kPackBits = 1 };

// A multichannel document's channel as shown: an ink of this colour laid on white at this
// solidity in proportion to its coverage (a stored 255 is no ink). Solidity 0: not shown.
struct TInk {
  double Rgb[3] = {0, 0, 0};
  double Solidity = 0;
  // The share of white each byte value leaves in each colour component.
  std::array<std::array<double, 256>, 3> Factors{};
};

struct THeader {
  unsigned Channels = 0, Depth = 0, Mode = 0;
  std::uint32_t Width = 0, Height = 0;
  unsigned Used = 1;  // the channels we read, the first ones of the file
  int Layout = 8;     // bits per pixel of the bitmap
  std::vector<TInk> Inks;
};

// Channels read and bitmap depth for a colour mode.
void ChooseLayout(THeader& h) {
  switch (h.Mode) {
    case kBitmap:
      h.Layout = 1;
      break;
    case kGrey:
    case kDuotone:
    case kIndexed:
      break;
    case kRgb:
      h.Used = h.Channels >= 4 ? 4 : 3;
      h.Layout = static_cast<int>(h.Used * 8);
      break;
    case kCmyk:
      h.Used = 4;
      h.Layout = 24;
      break;
    case kLab:
      h.Used = 3;
      h.Layout = 24;
      break;
    case kMultichannel:  // inks, chosen once the image resources are read (ChooseInks)
      h.Used = h.Channels;
      h.Layout = 24;
      break;
    default:
      throw UnsupportedError(kFormat, TrF("颜色模式%1", {std::to_string(h.Mode)}));
  }
}

THeader ReadHeader(TByteReader& in, const TPixelLimits& limits) {
  if (in.Size() < 4) throw InvalidFormatError(kFormat);
  const auto magic = in.Bytes(4);
  if (!std::equal(magic.begin(), magic.end(), "8BPS")) throw InvalidFormatError(kFormat);
  const unsigned version = in.U16BE();
  if (version == 2) throw UnsupportedError(kFormat, Tr("大文档格式(PSB)"));
  if (version != 1) throw InvalidFormatError(kFormat);
  in.Skip(6);
  THeader h;
  h.Channels = in.U16BE();
  h.Height = in.U32BE();
  h.Width = in.U32BE();
  h.Depth = in.U16BE();
  h.Mode = in.U16BE();
  if (h.Channels < 1 || h.Channels > 56) throw InvalidFormatError(kFormat);
  ChooseLayout(h);
  if (h.Channels < h.Used) Damaged(Tr("通道数少于颜色模式所需"));
  if (h.Mode == kBitmap ? h.Depth != 1 : (h.Depth != 8 && (h.Depth != 16 || h.Mode == kIndexed))) {
    throw UnsupportedError(kFormat, TrF("%1位通道", {std::to_string(h.Depth)}));
  }
  if (h.Width == 0 || h.Height == 0) Damaged(Tr("图像尺寸为零"));
  if (h.Width > 0x7FFFFFFF || h.Height > 0x7FFFFFFF) Damaged(Tr("图像尺寸无效"));
  CheckPictureSize(limits, kFormat, h.Width, h.Height, h.Layout);
  return h;
}

// Colour mode data: the colour table of an indexed picture, 256 reds, greens, then blues.
std::vector<TRGBQuad> ReadPalette(TByteReader& in, const THeader& h) {
  const std::uint32_t length = in.U32BE();
  const auto table = in.Bytes(length);
  if (h.Mode == kBitmap) return {RGB(255, 255, 255), RGB(0, 0, 0)};  // a set bit is black
  if (h.Mode != kIndexed) return h.Layout == 8 ? GreyPalette() : std::vector<TRGBQuad>{};
  if (length < 768) throw InvalidPaletteError(kFormat);
  std::vector<TRGBQuad> palette(256);
  for (std::size_t i = 0; i < 256; ++i) {
    palette[i] = RGB(table[i], table[256 + i], table[512 + i]);
  }
  return palette;
}

// PackBits: every row's byte count comes first, for every channel; then the rows. Returns
// where row y of channel c starts, for the channels we use, and one past the last. A PackBits
// pair gives at most 128 bytes, so a row shorter than a 64th of its length is damage.
std::vector<std::uint64_t> ReadRowStarts(TByteReader& in, const THeader& h,
                                         std::uint64_t rowBytes) {
  const std::uint64_t planeRows = std::uint64_t{h.Height} * h.Channels;
  RequireBytes(in, 2 * planeRows);
  const std::size_t usedRows = std::size_t{h.Height} * h.Used;
  std::vector<std::uint64_t> rowStart(usedRows + 1);
  std::uint64_t offset = in.Position() + 2 * planeRows;
  const std::uint64_t least = CeilDiv(rowBytes, 64);
  for (std::size_t r = 0; r < usedRows; ++r) {
    rowStart[r] = offset;
    const unsigned count = in.U16BE();
    if (count < least) Damaged(Tr("压缩行过短"));
    offset += count;
  }
  rowStart[usedRows] = offset;
  if (offset > in.Size()) in.Truncated();
  return rowStart;
}

TInk MakeInk(double red, double green, double blue, double solidity) {
  TInk ink{{red, green, blue}, solidity};
  for (int c = 0; c < 3; ++c) {
    for (int v = 0; v < 256; ++v) {
      ink.Factors[c][v] = 1 - (255 - v) / 255.0 * solidity * (1 - ink.Rgb[c]);
    }
  }
  return ink;
}

// The inks Photoshop makes when it converts a document to multichannel: one channel black,
// three or more cyan, magenta, yellow and black; a channel beyond those is not known.
TInk DefaultInk(unsigned channel, unsigned channels) {
  if (channels < 3) return channel == 0 ? MakeInk(0, 0, 0, 1) : TInk{};
  static const double kInks[4][3] = {{0, 1, 1}, {1, 0, 1}, {1, 1, 0}, {0, 0, 0}};
  if (channel >= 4) return {};
  return MakeInk(kInks[channel][0], kInks[channel][1], kInks[channel][2], 1);
}

// A colour of Photoshop's colour structure: a colour space and four 16-bit components.
std::optional<TInk> InkOfColour(unsigned space, const std::uint16_t (&v)[4], double solidity) {
  const auto unit = [](unsigned value) { return value / 65535.0; };
  switch (space) {
    case 0:  // RGB
      return MakeInk(unit(v[0]), unit(v[1]), unit(v[2]), solidity);
    case 1: {  // HSB, the hue in 65536ths of a turn
      const double h = v[0] / 65536.0 * 6, sat = unit(v[1]), value = unit(v[2]);
      const double f = h - std::floor(h);
      const double p = value * (1 - sat), q = value * (1 - sat * f),
                   t = value * (1 - sat * (1 - f));
      const double rgb[6][3] = {{value, t, p}, {q, value, p}, {p, value, t},
                                {p, q, value}, {t, p, value}, {value, p, q}};
      const auto* c = rgb[static_cast<int>(h) % 6];
      return MakeInk(c[0], c[1], c[2], solidity);
    }
    case 2:  // CMYK, 65535 no ink
      return MakeInk(unit(v[0]) * unit(v[3]), unit(v[1]) * unit(v[3]), unit(v[2]) * unit(v[3]),
                     solidity);
    case 7: {  // Lab: L 0 to 10000, a and b in hundredths
      const auto l8 = static_cast<std::uint8_t>(
          std::lround(std::min(v[0], std::uint16_t{10000}) * 255.0 / 10000));
      auto ab = [](std::uint16_t raw) {
        return static_cast<std::uint8_t>(
            std::clamp<long>(std::lround(static_cast<std::int16_t>(raw) / 100.0) + 128, 0, 255));
      };
      const TRGBQuad c = Lab8ToSrgb(l8, ab(v[1]), ab(v[2]));
      return MakeInk(c.Red / 255.0, c.Green / 255.0, c.Blue / 255.0, solidity);
    }
    case 8: {  // grey, 10000 black
      const double grey = 1 - std::min(v[0], std::uint16_t{10000}) / 10000.0;
      return MakeInk(grey, grey, grey, solidity);
    }
    default:  // colour books and the like: the colour is not in the file
      return std::nullopt;
  }
}

// The image resource with this id (the DisplayInfo of every channel), or nothing.
std::optional<std::span<const std::uint8_t>> FindResource(std::span<const std::uint8_t> blocks,
                                                          unsigned id) {
  TByteReader in(blocks, kFormat);
  while (in.Position() + 12 <= blocks.size()) {
    in.Skip(4);  // the signature: "8BIM" and a few others
    const unsigned blockId = in.U16BE();
    const unsigned nameLength = in.U8();
    in.Skip(nameLength + (nameLength % 2 == 0 ? 1 : 0));  // a Pascal name, padded to even
    const std::uint32_t size = in.U32BE();
    if (size > blocks.size() - in.Position()) Damaged(Tr("图像资源越过了资源区的末尾"));
    if (blockId == id) return blocks.subspan(in.Position(), size);
    in.Skip(std::min<std::uint64_t>(size + size % 2, blocks.size() - in.Position()));
  }
  return std::nullopt;
}

// The inks of a multichannel document: from its DisplayInfo (1077, or the older 1007) where it
// has one, alpha channels not shown; Photoshop's defaults otherwise. Only the channels up to the
// last one shown are read, and a single black ink is 8-bit grey.
void ChooseInks(THeader& h, std::span<const std::uint8_t> resources) {
  h.Inks.assign(h.Channels, TInk{});
  std::optional<std::span<const std::uint8_t>> info = FindResource(resources, 1077);
  std::size_t entrySize = 13;
  if (info && info->size() >= 4) {
    *info = info->subspan(4);  // its version
  } else {
    info = FindResource(resources, 1007);
    entrySize = 14;  // with a padding byte
  }
  for (unsigned c = 0; c < h.Channels; ++c) {
    if (!info || info->size() < (c + 1) * entrySize) {
      h.Inks[c] = info ? TInk{} : DefaultInk(c, h.Channels);
      continue;
    }
    TByteReader in(info->subspan(c * entrySize, entrySize), kFormat);
    const unsigned space = in.U16BE();
    std::uint16_t v[4];
    for (std::uint16_t& component : v) component = static_cast<std::uint16_t>(in.U16BE());
    const double solidity = std::min<unsigned>(in.U16BE(), 100) / 100.0;
    const bool spot = in.U8() == 2;  // 0 and 1 are alpha channels, a mask shown over the picture
    if (spot) h.Inks[c] = InkOfColour(space, v, solidity).value_or(DefaultInk(c, h.Channels));
  }
  h.Used = 1;
  for (unsigned c = 0; c < h.Channels; ++c) {
    if (h.Inks[c].Solidity > 0) h.Used = c + 1;
  }
  const TInk& first = h.Inks[0];
  const bool blackOnly = h.Used == 1 && first.Solidity == 1 && first.Rgb[0] == 0 &&
                         first.Rgb[1] == 0 && first.Rgb[2] == 0;
  h.Layout = blackOnly ? 8 : 24;
}

// One pixel of the used channels' 8-bit samples at x into the bitmap row.
void PutPixel(const THeader& h, const std::vector<std::vector<std::uint8_t>>& s, std::size_t x,
              std::uint8_t* out) {
  if (h.Mode == kMultichannel && h.Layout == 24) {
    double rgb[3] = {1, 1, 1};
    for (unsigned c = 0; c < h.Used; ++c) {
      if (h.Inks[c].Solidity == 0) continue;
      for (int k = 0; k < 3; ++k) rgb[k] *= h.Inks[c].Factors[k][s[c][x]];
    }
    for (int k = 0; k < 3; ++k)
      out[3 * x + 2 - k] = static_cast<std::uint8_t>(std::lround(rgb[k] * 255));
    return;
  }
  switch (h.Mode) {
    case kRgb:
      out[x * h.Used] = s[2][x];
      out[x * h.Used + 1] = s[1][x];
      out[x * h.Used + 2] = s[0][x];
      if (h.Used == 4) out[x * 4 + 3] = s[3][x];
      break;
    case kCmyk:
      out[3 * x] = Ink(s[2][x], s[3][x]);
      out[3 * x + 1] = Ink(s[1][x], s[3][x]);
      out[3 * x + 2] = Ink(s[0][x], s[3][x]);
      break;
    case kLab: {
      const TRGBQuad c = Lab8ToSrgb(s[0][x], s[1][x], s[2][x]);
      out[3 * x] = c.Blue;
      out[3 * x + 1] = c.Green;
      out[3 * x + 2] = c.Red;
      break;
    }
    default:
      out[x] = s[0][x];
      break;
  }
}

// The merged picture's rows: each channel's row (raw at imageStart, or PackBits at rowStart)
// reduced to 8-bit samples, then the samples of a pixel combined.
TBitmap DecodeRows(std::span<const std::uint8_t> data, const THeader& h, std::uint64_t rowBytes,
                   std::size_t imageStart, const std::vector<std::uint64_t>& rowStart) {
  TBitmap bitmap;
  bitmap.Allocate(static_cast<int>(h.Width), static_cast<int>(h.Height), h.Layout);
  std::vector<std::uint8_t> raw(static_cast<std::size_t>(rowBytes));
  std::vector<std::vector<std::uint8_t>> samples(h.Used, std::vector<std::uint8_t>(h.Width));
  for (std::uint32_t y = 0; y < h.Height; ++y) {
    std::uint8_t* out = bitmap.RowAt(static_cast<int>(y));
    for (unsigned c = 0; c < h.Used; ++c) {
      const std::size_t r = std::size_t{c} * h.Height + y;
      if (rowStart.empty()) {
        const auto bytes = data.subspan(imageStart + r * rowBytes, raw.size());
        std::copy(bytes.begin(), bytes.end(), raw.begin());
      } else {
        TByteReader row(data.subspan(rowStart[r], rowStart[r + 1] - rowStart[r]), kFormat);
        UnpackBits(row, raw);
      }
      if (h.Layout == 1) {
        std::copy(raw.begin(), raw.end(), out);
      } else if (h.Depth == 16) {
        for (std::size_t x = 0; x < h.Width; ++x)
          samples[c][x] = Scale16To8((raw[2 * x] << 8) | raw[2 * x + 1]);
      } else {
        samples[c] = raw;
      }
    }
    if (h.Layout == 1) continue;
    for (std::size_t x = 0; x < h.Width; ++x) PutPixel(h, samples, x, out);
  }
  return bitmap;
}

}  // namespace

bool TPSDGraphic::HeaderLooksValid(std::span<const std::uint8_t> head) {
  return ReadsWithoutRefusal([head] {
    TByteReader in(head, kFormat);
    ReadHeader(in, kNoPixelLimits);
  });
}

void TPSDGraphic::LoadFromBytes(std::span<const std::uint8_t> data) {
  TByteReader in(data, kFormat);
  THeader header = ReadHeader(in, Limits());
  std::vector<TRGBQuad> palette = ReadPalette(in, header);
  const auto resources = in.Bytes(in.U32BE());
  if (header.Mode == kMultichannel) {
    ChooseInks(header, resources);
    if (header.Layout == 8) palette = GreyPalette();
  }
  in.Skip(in.U32BE());  // layers and masks: the merged picture below is what we load
  const unsigned compression = in.U16BE();
  if (compression != kRaw && compression != kPackBits) {
    throw UnsupportedError(kFormat, compression <= 3 ? Tr("ZIP压缩") : Tr("压缩方式"));
  }
  const std::uint64_t rowBytes = CeilDiv(std::uint64_t{header.Width} * header.Depth, 8);
  std::vector<std::uint64_t> rowStart;
  if (compression == kRaw) {
    RequireBytes(in, std::uint64_t{header.Used} * header.Height * rowBytes);
  } else {
    rowStart = ReadRowStarts(in, header, rowBytes);
  }
  TBitmap bitmap = DecodeRows(data, header, rowBytes, in.Position(), rowStart);
  bitmap.Palette() = std::move(palette);
  TBitmap::operator=(std::move(bitmap));
}

}  // namespace pennacrow
