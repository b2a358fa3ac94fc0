#include "formats/PCXGraphic.h"
#include "base/Translate.h"

#include <algorithm>
#include <climits>
#include <vector>

#include "formats/PixelRows.h"
#include "picture/ByteReader.h"
#include "picture/Errors.h"
#include "picture/PictureFile.h"
#include "picture/PixelLimits.h"

namespace pennacrow {

const TGraphicClass TPCXGraphic::ClassInfo{"TPCXGraphic", &TExtraFormatGraphic::ClassInfo, [] {
                                             return std::unique_ptr<TGraphic>(new TPCXGraphic);
                                           }};

namespace {

const char* const kFormat = "PCX or SCR";
constexpr std::size_t kHeaderSize = 128;
constexpr std::size_t kPaletteSize = 769;  // the 0x0C marker and 256 RGB triples

[[noreturn]] void Damaged(const std::string& detail) {
  throw DamagedError(kFormat, detail);
}

unsigned U16At(std::span<const std::uint8_t> d, std::size_t at) {
  return d[at] | (d[at + 1] << 8);
}

// The layout a combination of bits per plane and planes loads as; 0 when we do not read it.
int LayoutFor(unsigned bits, unsigned planes) {
  if (bits == 1 && planes == 1) return 1;
  if ((bits == 2 || bits == 4) && planes == 1) return 4;
  if (bits == 1 && planes >= 2 && planes <= 4) return 4;
  if (bits == 8 && planes == 1) return 8;
  if (bits == 8 && planes == 3) return 24;
  if (bits == 8 && planes == 4) return 32;
  return 0;
}

// One scan line, all its planes one after the other. Runs may cross from one plane to the next
// (the encoder sees the scan line as one string of bytes) but never past the scan line's end.
void ReadLine(TByteReader& in, bool rle, std::vector<std::uint8_t>& line) {
  const std::size_t length = line.size();
  if (!rle) {
    const auto bytes = in.Bytes(length);
    std::copy(bytes.begin(), bytes.end(), line.begin());
    return;
  }
  std::size_t i = 0;
  while (i < length) {
    const std::uint8_t b = in.U8();
    if ((b & 0xC0) != 0xC0) {  // a byte below 0xC0 stands for itself
      line[i++] = b;
      continue;
    }
    const std::size_t count = b & 0x3Fu;
    if (count == 0) Damaged(Tr("长度为零的行程"));
    if (count > length - i) Damaged(Tr("行程越过行尾"));
    const std::uint8_t value = in.U8();
    std::fill_n(line.begin() + static_cast<std::ptrdiff_t>(i), count, value);
    i += count;
  }
}

std::vector<TRGBQuad> HeaderPalette(std::span<const std::uint8_t> header, std::size_t count) {
  std::vector<TRGBQuad> palette(count);
  for (std::size_t i = 0; i < count; ++i) {
    palette[i] = RGB(header[16 + 3 * i], header[17 + 3 * i], header[18 + 3 * i]);
  }
  return palette;
}

struct THeader {
  bool Rle = false;
  unsigned Bits = 0, Planes = 0;
  std::size_t BytesPerLine = 0;
  int Layout = 0;  // the bitmap's bits per pixel
  int Width = 0, Height = 0;
};

// The 128-byte header, checked.
THeader ReadHeader(std::span<const std::uint8_t> data, const TPixelLimits& limits) {
  if (data.size() < kHeaderSize || data[0] != 0x0A) throw InvalidFormatError(kFormat);
  const std::uint8_t version = data[1];
  if (version != 0 && version != 2 && version != 3 && version != 4 && version != 5) {
    throw InvalidFormatError(kFormat);
  }
  const std::uint8_t encoding = data[2];
  if (encoding > 1) throw UnsupportedError(kFormat, Tr("压缩方式"));
  THeader h;
  h.Rle = encoding == 1;
  h.Bits = data[3];
  h.Planes = data[65];
  h.BytesPerLine = U16At(data, 66);
  h.Layout = LayoutFor(h.Bits, h.Planes);
  if (h.Layout == 0) {
    throw UnsupportedError(
        kFormat, TrF("%1个%2位平面的像素格式", {std::to_string(h.Planes), std::to_string(h.Bits)}));
  }
  const long xMin = static_cast<long>(U16At(data, 4)), yMin = static_cast<long>(U16At(data, 6));
  const long xMax = static_cast<long>(U16At(data, 8)), yMax = static_cast<long>(U16At(data, 10));
  if (xMax < xMin || yMax < yMin) Damaged(Tr("图像尺寸为零"));
  h.Width = static_cast<int>(xMax - xMin + 1);
  h.Height = static_cast<int>(yMax - yMin + 1);
  CheckPictureSize(limits, kFormat, h.Width, h.Height, h.Layout);
  if (h.BytesPerLine < CeilDiv(static_cast<std::uint64_t>(h.Width) * h.Bits, 8)) {
    Damaged(Tr("每行字节数小于图像宽度"));
  }
  return h;
}

// 8-bit pictures keep their colours in the last 769 bytes of the file (tail; the pixels stop
// before them); the others keep theirs in the header.
std::vector<TRGBQuad> ReadPalette(std::span<const std::uint8_t> data,
                                  std::span<const std::uint8_t> tail, const THeader& h) {
  if (h.Layout == 8) {
    if (tail.size() != kPaletteSize || tail[0] != 0x0C) throw InvalidPaletteError(kFormat);
    std::vector<TRGBQuad> palette(256);
    for (std::size_t i = 0; i < 256; ++i) {
      const std::uint8_t* c = tail.data() + 1 + 3 * i;
      palette[i] = RGB(c[0], c[1], c[2]);
    }
    return palette;
  }
  if (h.Layout == 1) {
    // Many writers leave the header palette zero; such a file is black and white.
    std::vector<TRGBQuad> palette = HeaderPalette(data, 2);
    if (palette[0] == palette[1]) palette = {RGB(0, 0, 0), RGB(255, 255, 255)};
    return palette;
  }
  if (h.Layout == 4) return HeaderPalette(data, h.Bits == 2 ? 4 : 16);
  return {};
}

// One decoded line (all its planes) into a bitmap row.
void PutLine(const THeader& h, const std::vector<std::uint8_t>& line, std::uint8_t* out) {
  const auto w = static_cast<std::size_t>(h.Width);
  const std::size_t stride = h.BytesPerLine;
  if (h.Layout == 1 || h.Layout == 8 || (h.Layout == 4 && h.Bits == 4)) {
    std::copy_n(line.begin(), CeilDiv(w * h.Bits, 8), out);
  } else if (h.Layout == 4 && h.Bits == 2) {
    std::copy_n(line.begin(), CeilDiv(w * 2, 8), out);
    Expand2To4(out, static_cast<std::uint32_t>(w));
  } else if (h.Layout == 4) {  // planes of 1 bit: plane p holds bit p of each index
    for (std::size_t x = 0; x < w; ++x) {
      unsigned index = 0;
      for (unsigned p = 0; p < h.Planes; ++p) {
        index |= ((line[p * stride + x / 8] >> (7 - x % 8)) & 1u) << p;
      }
      out[x / 2] |= static_cast<std::uint8_t>(x % 2 ? index : index << 4);
    }
  } else {  // planes of 8 bits: red, green, blue (and alpha) lines
    const std::size_t channels = h.Planes;
    for (std::size_t x = 0; x < w; ++x) {
      std::uint8_t* px = out + x * channels;
      px[0] = line[2 * stride + x];
      px[1] = line[stride + x];
      px[2] = line[x];
      if (channels == 4) px[3] = line[3 * stride + x];
    }
  }
}

std::uint64_t LineBytes(const THeader& h) {
  return std::uint64_t{h.Planes} * h.BytesPerLine;
}

// Where the pixels end: before the palette of an 8-bit picture, else at the end of the file.
std::uint64_t PixelsEnd(const THeader& h, std::uint64_t fileSize) {
  if (h.Layout != 8) return fileSize;
  if (fileSize < kHeaderSize + kPaletteSize) throw InvalidPaletteError(kFormat);
  return fileSize - kPaletteSize;
}

// The one decode of a PCX file, from memory or from a file: the header, the palette, then the
// first rowLimit scan lines (all of them when the picture has fewer). Returns the height.
int DecodePcx(TByteReader& in, int rowLimit, const TPixelLimits& limits, TBitmap& result) {
  const auto head = in.Bytes(std::min<std::uint64_t>(kHeaderSize, in.Size()));
  const std::vector<std::uint8_t> header(head.begin(), head.end());
  const THeader h = ReadHeader(header, limits);
  const std::uint64_t end = PixelsEnd(h, in.Size());
  std::vector<std::uint8_t> tail;
  if (h.Layout == 8) {
    in.Seek(end);
    const auto bytes = in.Bytes(kPaletteSize);
    tail.assign(bytes.begin(), bytes.end());
  }
  std::vector<TRGBQuad> palette = ReadPalette(header, tail, h);

  const int count = std::clamp(rowLimit, 1, h.Height);
  // The scan lines stop where the palette starts.
  TByteReader pixels = in.Part(kHeaderSize, end - kHeaderSize);
  const std::uint64_t lineBytes = LineBytes(h);
  // A run of two bytes gives at most 63 bytes; a literal byte gives one.
  const auto lines = static_cast<std::uint64_t>(count);
  RequireBytes(pixels, h.Rle ? lines * CeilDiv(2 * lineBytes, 63) : lines * lineBytes);
  TBitmap bitmap;
  bitmap.Allocate(h.Width, count, h.Layout);
  std::vector<std::uint8_t> line(static_cast<std::size_t>(lineBytes));
  for (int y = 0; y < count; ++y) {
    ReadLine(pixels, h.Rle, line);
    PutLine(h, line, bitmap.RowAt(y));
  }
  bitmap.Palette() = std::move(palette);
  result = std::move(bitmap);
  return h.Height;
}

}  // namespace

bool TPCXGraphic::HeaderLooksValid(std::span<const std::uint8_t> head) {
  return ReadsWithoutRefusal([head] { ReadHeader(head, kNoPixelLimits); });
}

void TPCXGraphic::LoadFromBytes(std::span<const std::uint8_t> data) {
  TByteReader in(data, kFormat);
  DecodePcx(in, INT_MAX, Limits(), *this);
}

std::optional<int> TPCXGraphic::LoadFirstRows(const std::string& fileName, int rowCount) {
  const TPictureFile file(fileName, Limits());
  TByteReader in(file, kFormat);
  return DecodePcx(in, rowCount, Limits(), *this);
}

}  // namespace pennacrow
