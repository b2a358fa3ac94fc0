#include "formats/TargaGraphic.h"

#include <algorithm>
#include <vector>

#include "picture/ByteReader.h"
#include "picture/Errors.h"
#include "picture/PixelLimits.h"

namespace pennacrow {

const TGraphicClass TTargaGraphic::ClassInfo{"TTargaGraphic", &TExtraFormatGraphic::ClassInfo, [] {
                                               return std::unique_ptr<TGraphic>(new TTargaGraphic);
                                             }};

namespace {

const char* const kFormat = "Targa";

enum : std::uint8_t { kColorMapped = 1, kTrueColor = 2, kGrey = 3, kRleFlag = 8 };

[[noreturn]] void Damaged(const char* detail) {
  throw DamagedError(kFormat, detail);
}

TRGBQuad MapEntry(std::span<const std::uint8_t> e, int bits) {
  if (bits <= 16) {
    const unsigned w = e[0] | (e[1] << 8);
    auto five = [](unsigned v) { return static_cast<std::uint8_t>((v << 3) | (v >> 2)); };
    return RGB(five((w >> 10) & 31), five((w >> 5) & 31), five(w & 31));
  }
  return RGB(e[2], e[1], e[0]);  // stored blue, green, red (and alpha, which a palette drops)
}

// One scan line of the file into `out` (width pixels of pixelBytes each). Packets must not
// cross the end of a scan line: a run that would is damage, not something to clamp.
void ReadRow(TByteReader& in, bool rle, std::size_t width, std::size_t pixelBytes,
             std::uint8_t* out) {
  if (!rle) {
    const auto bytes = in.Bytes(width * pixelBytes);
    std::copy(bytes.begin(), bytes.end(), out);
    return;
  }
  std::size_t x = 0;
  while (x < width) {
    const std::uint8_t header = in.U8();
    const std::size_t count = (header & 0x7F) + 1u;  // packets count pixels, 1 to 128
    if (count > width - x) Damaged(header & 0x80 ? "重复行程越过行尾" : "原样数据越过行尾");
    if (header & 0x80) {
      const auto pixel = in.Bytes(pixelBytes);
      for (std::size_t i = 0; i < count; ++i, ++x)
        std::copy(pixel.begin(), pixel.end(), out + x * pixelBytes);
    } else {
      const auto bytes = in.Bytes(count * pixelBytes);
      std::copy(bytes.begin(), bytes.end(), out + x * pixelBytes);
      x += count;
    }
  }
}

}  // namespace

void TTargaGraphic::LoadFromBytes(std::span<const std::uint8_t> data) {
  // Targa has no signature; the 18-byte header's fields must make sense instead.
  if (data.size() < 18) throw InvalidFormatError(kFormat);
  TByteReader in(data, kFormat);
  const std::uint8_t idLength = in.U8();
  const std::uint8_t mapType = in.U8();
  const std::uint8_t imageType = in.U8();
  const std::uint16_t mapFirst = in.U16LE();
  const std::uint16_t mapLength = in.U16LE();
  const std::uint8_t mapEntryBits = in.U8();
  in.Skip(4);  // x and y origin on the screen
  const std::uint16_t width = in.U16LE();
  const std::uint16_t height = in.U16LE();
  const std::uint8_t depth = in.U8();
  const std::uint8_t descriptor = in.U8();

  if (mapType > 1) throw InvalidFormatError(kFormat);
  if (imageType == 32 || imageType == 33) {
    throw UnsupportedError(kFormat, "哈夫曼压缩");
  }
  const int kind = imageType & 7;
  const bool rle = (imageType & kRleFlag) != 0;
  if ((imageType & ~std::uint8_t{0x0B}) != 0 || kind < kColorMapped || kind > kGrey) {
    throw InvalidFormatError(kFormat);
  }
  int layout = 0;
  if (kind == kTrueColor) {
    if (depth == 15 || depth == 16) layout = 15;
    if (depth == 24 || depth == 32) layout = depth;
  } else if (depth == 8) {
    layout = 8;
  }
  if (layout == 0) {
    throw UnsupportedError(kFormat, std::to_string(depth) + "位像素");
  }
  if ((descriptor & 0xC0) != 0) throw UnsupportedError(kFormat, "交错扫描");
  if (width == 0 || height == 0) Damaged("图像尺寸为零");
  CheckPictureSize(kFormat, width, height, layout);

  in.Skip(idLength);
  std::vector<TRGBQuad> palette;
  if (mapType == 1) {
    if (mapEntryBits != 15 && mapEntryBits != 16 && mapEntryBits != 24 && mapEntryBits != 32) {
      throw InvalidPaletteError(kFormat);
    }
    const std::size_t entryBytes = (mapEntryBits + 7u) / 8u;
    const auto map = in.Bytes(std::size_t{mapLength} * entryBytes);
    if (kind == kColorMapped) {
      // Indices are the file's own: entry i of the map is colour number mapFirst + i. Colours
      // below mapFirst stay black; an index outside the map is refused below.
      palette.resize(std::min<std::size_t>(256, std::size_t{mapFirst} + mapLength));
      for (std::size_t i = mapFirst; i < palette.size(); ++i) {
        palette[i] = MapEntry(map.subspan((i - mapFirst) * entryBytes, entryBytes), mapEntryBits);
      }
    }
  }
  if (kind == kColorMapped && (mapType != 1 || mapFirst >= 256 || mapLength == 0)) {
    throw InvalidPaletteError(kFormat);
  }

  const std::size_t pixelBytes = (depth + 7u) / 8u;
  const std::uint64_t rowBytes = std::uint64_t{width} * pixelBytes;
  // A packet of 1 + pixelBytes bytes gives at most 128 pixels of its row.
  RequireBytes(
      in, rle ? height * CeilDiv(std::uint64_t{width} * (1 + pixelBytes), 128) : height * rowBytes);

  TBitmap bitmap;
  bitmap.Allocate(width, height, layout);
  const bool topDown = (descriptor & 0x20) != 0;
  const bool rightToLeft = (descriptor & 0x10) != 0;
  std::vector<std::uint8_t> row(static_cast<std::size_t>(rowBytes));
  for (int y = 0; y < height; ++y) {
    ReadRow(in, rle, width, pixelBytes, row.data());
    std::uint8_t* out = bitmap.RowAt(topDown ? y : height - 1 - y);
    for (std::size_t x = 0; x < width; ++x) {
      const std::uint8_t* p = row.data() + (rightToLeft ? width - 1 - x : x) * pixelBytes;
      switch (layout) {
        case 8:
          if (kind == kColorMapped && (p[0] < mapFirst || p[0] >= palette.size())) {
            throw InvalidPaletteError(kFormat);
          }
          out[x] = p[0];
          break;
        case 15:  // the attribute bit of 16-bit pixels is not part of the colour
          out[2 * x] = p[0];
          out[2 * x + 1] = static_cast<std::uint8_t>(p[1] & 0x7F);
          break;
        default:  // 24 and 32 bits: the file's blue, green, red (, alpha) order is ours
          std::copy(p, p + pixelBytes, out + x * pixelBytes);
          break;
      }
    }
  }
  bitmap.Palette() = kind == kGrey ? GreyPalette() : std::move(palette);
  TBitmap::operator=(std::move(bitmap));
}

}  // namespace pennacrow
