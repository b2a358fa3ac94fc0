#include "formats/TargaGraphic.h"
#include "text/Translate.h"

#include <climits>

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
constexpr std::size_t kHeaderSize = 18;

enum : std::uint8_t { kColorMapped = 1, kTrueColor = 2, kGrey = 3, kRleFlag = 8 };

[[noreturn]] void Damaged(const std::string& detail) {
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

// A run-length packet still being expanded. Writers (and the format's own sample files) let a
// packet continue on the next scan line, so it outlives the row it started in.
struct TPacket {
  std::size_t Left = 0;  // pixels of the packet not yet written
  bool Repeat = false;
  std::span<const std::uint8_t> Bytes;  // the repeated pixel, or the literals still to copy
};

// One scan line of the file into `out` (width pixels of pixelBytes each). A packet may carry
// on into the next row; one that runs past the picture's last row is damage (see the caller).
void ReadRow(TByteReader& in, bool rle, std::size_t width, std::size_t pixelBytes, TPacket& packet,
             std::uint8_t* out) {
  if (!rle) {
    const auto bytes = in.Bytes(width * pixelBytes);
    std::copy(bytes.begin(), bytes.end(), out);
    return;
  }
  std::size_t x = 0;
  while (x < width) {
    if (packet.Left == 0) {
      const std::uint8_t header = in.U8();
      packet.Left = (header & 0x7Fu) + 1u;  // packets count pixels, 1 to 128
      packet.Repeat = (header & 0x80) != 0;
      packet.Bytes = in.Bytes(packet.Repeat ? pixelBytes : packet.Left * pixelBytes);
    }
    const std::size_t n = std::min(packet.Left, width - x);
    if (packet.Repeat) {
      for (std::size_t i = 0; i < n; ++i)
        std::copy(packet.Bytes.begin(), packet.Bytes.end(), out + (x + i) * pixelBytes);
    } else {
      std::copy_n(packet.Bytes.begin(), n * pixelBytes, out + x * pixelBytes);
      packet.Bytes = packet.Bytes.subspan(n * pixelBytes);
    }
    x += n;
    packet.Left -= n;
  }
}

// The 18-byte header, as stored.
struct THeader {
  std::uint8_t IdLength = 0, MapType = 0, ImageType = 0, MapEntryBits = 0, Depth = 0;
  std::uint8_t Descriptor = 0;
  std::uint16_t MapFirst = 0, MapLength = 0, Width = 0, Height = 0;
  int Kind() const { return ImageType & 7; }
  bool Rle() const { return (ImageType & kRleFlag) != 0; }
  std::size_t PixelBytes() const { return (Depth + 7u) / 8u; }
  // The origin bits: rows stored top first, pixels stored right to left.
  bool TopDown() const { return (Descriptor & 0x20) != 0; }
  bool RightToLeft() const { return (Descriptor & 0x10) != 0; }
};

THeader ReadHeader(TByteReader& in) {
  THeader h;
  h.IdLength = in.U8();
  h.MapType = in.U8();
  h.ImageType = in.U8();
  h.MapFirst = in.U16LE();
  h.MapLength = in.U16LE();
  h.MapEntryBits = in.U8();
  in.Skip(4);  // x and y origin on the screen
  h.Width = in.U16LE();
  h.Height = in.U16LE();
  h.Depth = in.U8();
  h.Descriptor = in.U8();
  return h;
}

// Checks the header; returns the bitmap's depth.
int CheckHeader(const THeader& h, const TPixelLimits& limits) {
  if (h.MapType > 1) throw InvalidFormatError(kFormat);
  if (h.ImageType == 32 || h.ImageType == 33) throw UnsupportedError(kFormat, Tr("哈夫曼压缩"));
  if ((h.ImageType & ~std::uint8_t{0x0B}) != 0 || h.Kind() < kColorMapped || h.Kind() > kGrey) {
    throw InvalidFormatError(kFormat);
  }
  int layout = 0;
  if (h.Kind() == kTrueColor) {
    if (h.Depth == 15 || h.Depth == 16) layout = 15;
    if (h.Depth == 24 || h.Depth == 32) layout = h.Depth;
  } else if (h.Depth == 8 || (h.Kind() == kGrey && h.Depth == 16)) {
    layout = 8;  // 16-bit grey is grey then alpha; the alpha is dropped as for other grey pictures
  }
  if (layout == 0) throw UnsupportedError(kFormat, TrF("%1位像素", {std::to_string(h.Depth)}));
  if ((h.Descriptor & 0xC0) != 0) throw UnsupportedError(kFormat, Tr("交错扫描"));
  if (h.Width == 0 || h.Height == 0) Damaged(Tr("图像尺寸为零"));
  CheckPictureSize(limits, kFormat, h.Width, h.Height, layout);
  return layout;
}

// The colour map, which every file may carry but only colour-mapped pictures use. Indices are
// the file's own: entry i of the map is colour number MapFirst + i. Colours below MapFirst stay
// black; an index outside the map is refused with the rows.
std::vector<TRGBQuad> ReadColourMap(TByteReader& in, const THeader& h) {
  std::vector<TRGBQuad> palette;
  if (h.MapType == 1) {
    const unsigned bits = h.MapEntryBits;
    if (bits != 15 && bits != 16 && bits != 24 && bits != 32) throw InvalidPaletteError(kFormat);
    const std::size_t entryBytes = (bits + 7u) / 8u;
    const auto map = in.Bytes(std::size_t{h.MapLength} * entryBytes);
    if (h.Kind() == kColorMapped) {
      palette.resize(std::min<std::size_t>(256, std::size_t{h.MapFirst} + h.MapLength));
      for (std::size_t i = h.MapFirst; i < palette.size(); ++i) {
        palette[i] = MapEntry(map.subspan((i - h.MapFirst) * entryBytes, entryBytes), bits);
      }
    }
  }
  if (h.Kind() == kColorMapped && (h.MapType != 1 || h.MapFirst >= 256 || h.MapLength == 0)) {
    throw InvalidPaletteError(kFormat);
  }
  return palette;
}

// One stored row's pixels into a bitmap row of the given layout, mirrored when stored right
// to left.
void PutRow(const THeader& h, int layout, std::size_t paletteSize, const std::uint8_t* row,
            std::uint8_t* out) {
  const std::size_t width = h.Width, pixelBytes = h.PixelBytes();
  for (std::size_t x = 0; x < width; ++x) {
    const std::uint8_t* p = row + (h.RightToLeft() ? width - 1 - x : x) * pixelBytes;
    switch (layout) {
      case 8:
        if (h.Kind() == kColorMapped && (p[0] < h.MapFirst || p[0] >= paletteSize)) {
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

// The one decode of a Targa file, from memory or from a file: the first rowLimit rows of the
// picture, or all of them, into result; returns its height. The top rows of a bottom-up file are
// its last ones: run-length rows must all be decoded to reach them, uncompressed ones are
// skipped.
int DecodeTarga(TByteReader& in, int rowLimit, const TPixelLimits& limits, TBitmap& result) {
  // Targa has no signature; the 18-byte header's fields must make sense instead.
  if (in.Size() < kHeaderSize) throw InvalidFormatError(kFormat);
  const THeader header = ReadHeader(in);
  const int layout = CheckHeader(header, limits);
  in.Skip(header.IdLength);
  std::vector<TRGBQuad> palette = ReadColourMap(in, header);

  const std::size_t pixelBytes = header.PixelBytes();
  const std::uint64_t rowBytes = std::uint64_t{header.Width} * pixelBytes;
  const int count =
      header.TopDown() || !header.Rle() ? std::min<int>(header.Height, rowLimit) : header.Height;
  const std::uint64_t height = count;
  if (!header.Rle() && !header.TopDown()) in.Skip((header.Height - height) * rowBytes);
  // A packet of 1 + pixelBytes bytes gives at most 128 pixels.
  RequireBytes(in, header.Rle() ? CeilDiv(height * header.Width, 128) * (1 + pixelBytes)
                                : height * rowBytes);
  TBitmap bitmap;
  bitmap.Allocate(header.Width, count, layout);
  std::vector<std::uint8_t> row(static_cast<std::size_t>(rowBytes));
  TPacket packet;
  for (int y = 0; y < count; ++y) {
    ReadRow(in, header.Rle(), header.Width, pixelBytes, packet, row.data());
    std::uint8_t* out = bitmap.RowAt(header.TopDown() ? y : count - 1 - y);
    PutRow(header, layout, palette.size(), row.data(), out);
  }
  // A packet may go on into a row that was not asked for, but not past the last row.
  if (count == header.Height && packet.Left != 0) Damaged(Tr("行程越过图像末尾"));
  bitmap.Palette() = header.Kind() == kGrey ? GreyPalette() : std::move(palette);
  result = std::move(bitmap);
  return header.Height;
}

}  // namespace

bool TTargaGraphic::HeaderLooksValid(std::span<const std::uint8_t> head) {
  if (head.size() < kHeaderSize) return false;
  TByteReader in(head, kFormat);
  try {
    CheckHeader(ReadHeader(in), kNoPixelLimits);
  } catch (const EInvalidGraphicFormat&) {
    return false;
  }
  return true;
}

void TTargaGraphic::LoadFromBytes(std::span<const std::uint8_t> data) {
  TByteReader in(data, kFormat);
  DecodeTarga(in, INT_MAX, Limits(), *this);
}

std::optional<int> TTargaGraphic::LoadFirstRows(const std::string& fileName, int rowCount) {
  const TPictureFile file(fileName, Limits());
  TByteReader in(file, kFormat);
  return DecodeTarga(in, std::max(rowCount, 1), Limits(), *this);
}

}  // namespace pennacrow
