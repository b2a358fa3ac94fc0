#include "formats/PSDGraphic.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "formats/PixelRows.h"
#include "picture/ByteReader.h"
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
  kDuotone = 8,
  kLab = 9,
};

[[noreturn]] void Damaged(const char* detail) {
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
    if (count > length - i) Damaged(n >= 0 ? "原样数据越过行尾" : "重复行程越过行尾");
    if (n >= 0) {
      const auto bytes = in.Bytes(count);
      std::copy(bytes.begin(), bytes.end(), out.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      std::fill_n(out.begin() + static_cast<std::ptrdiff_t>(i), count, in.U8());
    }
    i += count;
  }
}

double LabInverse(double t) {
  constexpr double d = 6.0 / 29.0;
  return t > d ? t * t * t : 3 * d * d * (t - 4.0 / 29.0);
}

std::uint8_t SrgbByte(double linear) {
  linear = std::clamp(linear, 0.0, 1.0);
  const double v = linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
  return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255));
}

// Photoshop's 8-bit Lab: L* = v x 100 / 255, a* and b* = v - 128, white point D50.
TRGBQuad LabToSrgb(std::uint8_t l8, std::uint8_t a8, std::uint8_t b8) {
  const double fy = (l8 * 100.0 / 255.0 + 16) / 116;
  const double fx = fy + (a8 - 128) / 500.0;
  const double fz = fy - (b8 - 128) / 200.0;
  const double x50 = 0.96422 * LabInverse(fx), y50 = LabInverse(fy), z50 = 0.82521 * LabInverse(fz);
  // Bradford adaptation from D50 to D65.
  const double x = 0.9555766 * x50 - 0.0230393 * y50 + 0.0631636 * z50;
  const double y = -0.0282895 * x50 + 1.0099416 * y50 + 0.0210077 * z50;
  const double z = 0.0122982 * x50 - 0.0204830 * y50 + 1.3299098 * z50;
  return RGB(SrgbByte(3.2404542 * x - 1.5371385 * y - 0.4985314 * z),
             SrgbByte(-0.9692660 * x + 1.8760108 * y + 0.0415560 * z),
             SrgbByte(0.0556434 * x - 0.2040259 * y + 1.0572252 * z));
}

std::uint8_t Ink(unsigned a, unsigned b) {
  return static_cast<std::uint8_t>((a * b + 127) / 255);
}

}  // namespace

void TPSDGraphic::LoadFromBytes(std::span<const std::uint8_t> data) {
  TByteReader in(data, kFormat);
  if (data.size() < 4 || !std::equal(data.begin(), data.begin() + 4, "8BPS")) {
    throw InvalidFormatError(kFormat);
  }
  in.Skip(4);
  const unsigned version = in.U16BE();
  if (version == 2) throw UnsupportedError(kFormat, "大文档格式(PSB)");
  if (version != 1) throw InvalidFormatError(kFormat);
  in.Skip(6);
  const unsigned channels = in.U16BE();
  const std::uint32_t height = in.U32BE();
  const std::uint32_t width = in.U32BE();
  const unsigned depth = in.U16BE();
  const unsigned mode = in.U16BE();
  if (channels < 1 || channels > 56) throw InvalidFormatError(kFormat);

  unsigned used = 1;  // the channels we read, the first ones of the file
  int layout = 8;
  switch (mode) {
    case kBitmap:
      layout = 1;
      break;
    case kGrey:
    case kDuotone:
    case kIndexed:
      break;
    case kRgb:
      used = channels >= 4 ? 4 : 3;
      layout = used * 8;
      break;
    case kCmyk:
      used = 4;
      layout = 24;
      break;
    case kLab:
      used = 3;
      layout = 24;
      break;
    default:
      throw UnsupportedError(kFormat, "颜色模式" + std::to_string(mode));
  }
  if (channels < used) Damaged("通道数少于颜色模式所需");
  if (mode == kBitmap ? depth != 1 : (depth != 8 && (depth != 16 || mode == kIndexed))) {
    throw UnsupportedError(kFormat, std::to_string(depth) + "位通道");
  }
  if (width == 0 || height == 0) Damaged("图像尺寸为零");
  if (width > 0x7FFFFFFF || height > 0x7FFFFFFF) Damaged("图像尺寸无效");
  CheckPictureSize(kFormat, width, height, layout);

  // Colour mode data: the colour table of an indexed picture, 256 reds, greens, then blues.
  const std::uint32_t colorDataLength = in.U32BE();
  const auto colorData = in.Bytes(colorDataLength);
  std::vector<TRGBQuad> palette;
  if (mode == kIndexed) {
    if (colorDataLength < 768) throw InvalidPaletteError(kFormat);
    palette.resize(256);
    for (std::size_t i = 0; i < 256; ++i) {
      palette[i] = RGB(colorData[i], colorData[256 + i], colorData[512 + i]);
    }
  } else if (mode == kBitmap) {
    palette = {RGB(255, 255, 255), RGB(0, 0, 0)};  // a set bit is black
  } else if (layout == 8) {
    palette = GreyPalette();
  }
  in.Skip(in.U32BE());  // image resources
  in.Skip(in.U32BE());  // layers and masks: the merged picture below is what we load
  const unsigned compression = in.U16BE();
  if (compression > 1) {
    throw UnsupportedError(kFormat, compression <= 3 ? "ZIP压缩" : "压缩方式");
  }

  const std::uint64_t rowBytes = CeilDiv(std::uint64_t{width} * depth, 8);
  const std::uint64_t planeRows = std::uint64_t{height} * channels;
  std::vector<std::uint64_t> rowStart;  // RLE: where row y of channel c starts, for the used ones
  if (compression == 0) {
    RequireBytes(in, std::uint64_t{used} * height * rowBytes);
  } else {
    // Every row's byte count comes first, for every channel; then the rows. A PackBits pair
    // gives at most 128 bytes.
    RequireBytes(in, 2 * planeRows);
    const std::size_t usedRows = std::size_t{height} * used;
    rowStart.resize(usedRows + 1);
    std::uint64_t offset = in.Position() + 2 * planeRows;
    const std::uint64_t least = CeilDiv(rowBytes, 64);
    for (std::size_t r = 0; r < usedRows; ++r) {
      rowStart[r] = offset;
      const unsigned count = in.U16BE();
      if (count < least) Damaged("压缩行过短");
      offset += count;
    }
    rowStart[usedRows] = offset;
    if (offset > data.size()) in.Truncated();
  }

  TBitmap bitmap;
  bitmap.Allocate(static_cast<int>(width), static_cast<int>(height), layout);
  const std::size_t imageStart = compression == 0 ? in.Position() : 0;
  std::vector<std::uint8_t> raw(static_cast<std::size_t>(rowBytes));
  std::vector<std::vector<std::uint8_t>> samples(used, std::vector<std::uint8_t>(width));
  for (std::uint32_t y = 0; y < height; ++y) {
    std::uint8_t* out = bitmap.RowAt(static_cast<int>(y));
    for (unsigned c = 0; c < used; ++c) {
      const std::size_t r = std::size_t{c} * height + y;
      if (compression == 0) {
        const auto bytes = data.subspan(imageStart + r * rowBytes, raw.size());
        std::copy(bytes.begin(), bytes.end(), raw.begin());
      } else {
        TByteReader row(data.subspan(rowStart[r], rowStart[r + 1] - rowStart[r]), kFormat);
        UnpackBits(row, raw);
      }
      if (layout == 1) {
        std::copy(raw.begin(), raw.end(), out);
      } else if (depth == 16) {
        for (std::size_t x = 0; x < width; ++x)
          samples[c][x] = Scale16To8((raw[2 * x] << 8) | raw[2 * x + 1]);
      } else {
        samples[c] = raw;
      }
    }
    if (layout == 1) continue;
    const auto& s = samples;
    for (std::size_t x = 0; x < width; ++x) {
      switch (mode) {
        case kRgb:
          out[x * used] = s[2][x];
          out[x * used + 1] = s[1][x];
          out[x * used + 2] = s[0][x];
          if (used == 4) out[x * 4 + 3] = s[3][x];
          break;
        case kCmyk:
          out[3 * x] = Ink(s[2][x], s[3][x]);
          out[3 * x + 1] = Ink(s[1][x], s[3][x]);
          out[3 * x + 2] = Ink(s[0][x], s[3][x]);
          break;
        case kLab: {
          const TRGBQuad c = LabToSrgb(s[0][x], s[1][x], s[2][x]);
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
  }
  bitmap.Palette() = std::move(palette);
  TBitmap::operator=(std::move(bitmap));
}

}  // namespace pennacrow
