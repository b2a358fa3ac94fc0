// Reading and writing Windows BMP files for TBitmap.

#include <algorithm>
#include <cstring>

#include "picture/Bitmap.h"
#include "picture/Errors.h"
#include "picture/PixelLimits.h"

namespace pennacrow {

namespace {

constexpr std::uint32_t kRgb = 0;
constexpr std::uint32_t kRle8 = 1;
constexpr std::uint32_t kRle4 = 2;
constexpr std::uint32_t kBitFields = 3;
constexpr std::uint32_t kAlphaBitFields = 6;

[[noreturn]] void Invalid(const std::string& why, TGraphicFault kind = TGraphicFault::Damaged) {
  throw EInvalidGraphicFormat(kind, "无法加载图像，无效的BMP位图：" + why + "。");
}

class TReader {
 public:
  explicit TReader(std::span<const std::uint8_t> data) : FData(data) {}
  std::size_t Size() const { return FData.size(); }
  void Need(std::size_t offset, std::size_t count, const char* what) const {
    if (offset > FData.size() || count > FData.size() - offset) {
      Invalid(std::string("文件在") + what + "处截断", TGraphicFault::Truncated);
    }
  }
  std::uint16_t U16(std::size_t at) const {
    Need(at, 2, "文件头");
    return static_cast<std::uint16_t>(FData[at] | FData[at + 1] << 8);
  }
  std::uint32_t U32(std::size_t at) const {
    Need(at, 4, "文件头");
    return FData[at] | FData[at + 1] << 8 | FData[at + 2] << 16 |
           static_cast<std::uint32_t>(FData[at + 3]) << 24;
  }
  std::int32_t I32(std::size_t at) const { return static_cast<std::int32_t>(U32(at)); }
  const std::uint8_t* At(std::size_t at) const { return FData.data() + at; }

 private:
  std::span<const std::uint8_t> FData;
};

class TWriter {
 public:
  explicit TWriter(std::size_t reserve) { FOut.reserve(reserve); }
  void U8(std::uint8_t v) { FOut.push_back(v); }
  void U16(std::uint32_t v) {
    U8(static_cast<std::uint8_t>(v));
    U8(static_cast<std::uint8_t>(v >> 8));
  }
  void U32(std::uint32_t v) {
    U16(v & 0xFFFF);
    U16(v >> 16);
  }
  void Bytes(const std::uint8_t* p, std::size_t n) { FOut.insert(FOut.end(), p, p + n); }
  std::vector<std::uint8_t> Take() { return std::move(FOut); }

 private:
  std::vector<std::uint8_t> FOut;
};

// Expands run-length coded pixels into one palette index per pixel, top row first. Runs that
// overrun a row, or rows beyond the picture, are errors: the file is damaged.
std::vector<std::uint8_t> DecodeRle(const TReader& in, std::size_t offset, int width, int height,
                                    bool fourBit) {
  std::vector<std::uint8_t> indices(static_cast<std::size_t>(width) * height, 0);
  // Encoders (ImageMagick among them) code whole padded rows, so a run may cover the pixels of
  // the row's padding; those are dropped. A run beyond the padded row is damage.
  const int paddedWidth = static_cast<int>(
      RowLengthFor(static_cast<std::uint64_t>(width), fourBit ? 4 : 8) * (fourBit ? 2 : 1));
  int x = 0;
  int y = 0;  // counted from the bottom, as the file stores rows
  std::size_t p = offset;
  auto put = [&](std::uint8_t index) {
    if (x >= paddedWidth || y >= height) Invalid("行程编码超出图像范围");
    if (x < width) indices[static_cast<std::size_t>(height - 1 - y) * width + x] = index;
    ++x;
  };
  for (;;) {
    in.Need(p, 2, "行程编码数据");
    const std::uint8_t count = *in.At(p);
    const std::uint8_t value = *in.At(p + 1);
    p += 2;
    if (count > 0) {
      for (int i = 0; i < count; ++i) {
        put(fourBit ? ((i & 1) ? value & 0x0F : value >> 4) : value);
      }
      continue;
    }
    if (value == 0) {  // end of line
      x = 0;
      ++y;
      continue;
    }
    if (value == 1) break;  // end of bitmap
    if (value == 2) {       // delta
      in.Need(p, 2, "行程编码数据");
      x += *in.At(p);
      y += *in.At(p + 1);
      p += 2;
      if (x > paddedWidth || y > height) Invalid("行程编码的位移超出图像范围");
      continue;
    }
    // A literal run of `value` pixels, padded to a 16-bit boundary.
    const std::size_t bytes = fourBit ? (value + 1u) / 2 : value;
    in.Need(p, bytes, "行程编码数据");
    for (int i = 0; i < value; ++i) {
      const std::uint8_t b = *in.At(p + (fourBit ? i / 2 : i));
      put(fourBit ? ((i & 1) ? b & 0x0F : b >> 4) : b);
    }
    p += bytes + (bytes & 1);
    if (y >= height) break;
  }
  return indices;
}

// The BMP file's headers and colour table: everything before the pixel rows.
std::vector<std::uint8_t> BmpHeader(const TBitmap& b) {
  const int fileBpp = b.BitsPerPixel() == 15 ? 16 : b.BitsPerPixel();
  const std::size_t imageSize = b.RowLength() * static_cast<std::size_t>(b.Height());
  const bool os2 = b.FileInfo().Os2 && b.Width() <= 0xFFFF && b.Height() <= 0xFFFF;

  std::size_t entries = std::min<std::size_t>(b.Palette().size(), 256);
  std::size_t headerSize = 40;
  std::size_t entrySize = 4;
  bool bitFields = false;
  if (os2) {
    headerSize = 12;
    entrySize = 3;
    entries = b.BitsPerPixel() <= 8 ? std::size_t{1} << b.BitsPerPixel() : 0;
  } else {
    bitFields = b.HasColorMasks() && (b.BitsPerPixel() == 16 || b.BitsPerPixel() == 32);
  }
  const std::size_t offset = 14 + headerSize + (bitFields ? 12 : 0) + entries * entrySize;
  const std::size_t fileSize = offset + imageSize;

  TWriter out(offset);
  out.U8('B');
  out.U8('M');
  out.U32(static_cast<std::uint32_t>(fileSize));
  out.U16(0);
  out.U16(0);
  out.U32(static_cast<std::uint32_t>(offset));
  if (os2) {
    out.U32(12);
    out.U16(static_cast<std::uint32_t>(b.Width()));
    out.U16(static_cast<std::uint32_t>(b.Height()));
    out.U16(1);
    out.U16(static_cast<std::uint32_t>(fileBpp));
    for (std::size_t i = 0; i < entries; ++i) {
      const TRGBQuad c = i < b.Palette().size() ? b.Palette()[i] : TRGBQuad{};
      out.U8(c.Blue);
      out.U8(c.Green);
      out.U8(c.Red);
    }
  } else {
    out.U32(40);
    out.U32(static_cast<std::uint32_t>(b.Width()));
    out.U32(static_cast<std::uint32_t>(b.Height()));
    out.U16(1);
    out.U16(static_cast<std::uint32_t>(fileBpp));
    out.U32(bitFields ? kBitFields : kRgb);
    out.U32(static_cast<std::uint32_t>(imageSize));
    out.U32(static_cast<std::uint32_t>(b.FileInfo().XPelsPerMeter));
    out.U32(static_cast<std::uint32_t>(b.FileInfo().YPelsPerMeter));
    out.U32(static_cast<std::uint32_t>(entries));
    out.U32(b.FileInfo().ClrImportant);
    if (bitFields) {
      out.U32(b.ColorMasks()[0]);
      out.U32(b.ColorMasks()[1]);
      out.U32(b.ColorMasks()[2]);
    }
    for (std::size_t i = 0; i < entries; ++i) {
      out.U8(b.Palette()[i].Blue);
      out.U8(b.Palette()[i].Green);
      out.U8(b.Palette()[i].Red);
      out.U8(0);
    }
  }
  return out.Take();
}

}  // namespace

void TBitmap::LoadFromBytes(std::span<const std::uint8_t> data) {
  const TReader in(data);
  if (data.size() < 26 || data[0] != 'B' || data[1] != 'M')
    Invalid("不是BMP文件", TGraphicFault::NotThisFormat);
  const std::uint32_t pixelOffset = in.U32(10);
  const std::uint32_t headerSize = in.U32(14);

  TBmpFileInfo info;
  std::int64_t width = 0;
  std::int64_t height = 0;
  int bpp = 0;
  std::uint32_t compression = kRgb;
  std::uint32_t colorsUsed = 0;
  std::size_t paletteEntrySize = 4;
  bool hasMasks = false;
  std::uint32_t masks[3] = {0, 0, 0};
  std::size_t paletteOffset = 14 + static_cast<std::size_t>(headerSize);

  if (headerSize == 12) {
    info.Os2 = true;
    width = in.U16(18);
    height = static_cast<std::int16_t>(in.U16(20));
    bpp = in.U16(24);
    paletteEntrySize = 3;
  } else if (headerSize >= 40 && headerSize <= 124) {
    width = in.I32(18);
    height = in.I32(22);
    bpp = in.U16(28);
    compression = in.U32(30);
    info.XPelsPerMeter = in.I32(38);
    info.YPelsPerMeter = in.I32(42);
    colorsUsed = in.U32(46);
    info.ClrUsedFromFile = colorsUsed != 0;
    info.ClrImportant = in.U32(50);
    if (compression == kBitFields || compression == kAlphaBitFields) {
      hasMasks = true;
      // A 40-byte header is followed by the masks; larger headers hold them inside.
      const std::size_t at = 54;
      masks[0] = in.U32(at);
      masks[1] = in.U32(at + 4);
      masks[2] = in.U32(at + 8);
      if (headerSize == 40) paletteOffset += compression == kAlphaBitFields ? 16 : 12;
      compression = kBitFields;
    }
  } else {
    Invalid("不支持的文件头大小 " + std::to_string(headerSize), TGraphicFault::Unsupported);
  }

  if (in.U16(headerSize == 12 ? 22 : 26) != 1) Invalid("色平面数不为 1");
  const bool topDown = height < 0;
  if (topDown) height = -height;
  if (width <= 0 || height <= 0) Invalid("宽度或高度无效");

  const bool rle = compression == kRle8 || compression == kRle4;
  if (compression == kRle8 && bpp != 8) Invalid("RLE8 压缩要求 8 位像素");
  if (compression == kRle4 && bpp != 4) Invalid("RLE4 压缩要求 4 位像素");
  if (rle && topDown) Invalid("行程编码的位图不能自上而下存储");
  if (compression != kRgb && compression != kBitFields && !rle) {
    throw UnsupportedError("BMP", "压缩方式 " + std::to_string(compression));
  }
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) {
    throw UnsupportedError("BMP", std::to_string(bpp) + " 位像素");
  }
  if (hasMasks && bpp != 16 && bpp != 32) Invalid("位域只用于 16 位和 32 位像素");
  CheckPictureSize("BMP", width, height, rle ? 24 : bpp);

  // Colour table: the colours-used count, else the full table of an indexed depth. OS/2 files
  // hold as many entries as fit before the pixels.
  std::size_t entries = colorsUsed;
  if (entries == 0 && bpp <= 8) entries = std::size_t{1} << bpp;
  if (info.Os2 && bpp <= 8 && pixelOffset > paletteOffset) {
    entries = std::min(entries, (pixelOffset - paletteOffset) / paletteEntrySize);
  }
  if (entries > 256) Invalid("调色板过大", TGraphicFault::BadPalette);
  if (bpp <= 8 && entries > (std::size_t{1} << bpp)) entries = std::size_t{1} << bpp;
  in.Need(paletteOffset, entries * paletteEntrySize, "调色板");
  std::vector<TRGBQuad> palette(entries);
  for (std::size_t i = 0; i < entries; ++i) {
    const std::uint8_t* e = in.At(paletteOffset + i * paletteEntrySize);
    palette[i] = {e[0], e[1], e[2], 0};
  }

  std::size_t pixelsAt = pixelOffset;
  if (pixelsAt < paletteOffset + entries * paletteEntrySize || pixelsAt >= data.size()) {
    Invalid("像素数据的位置超出文件范围");
  }

  TBitmap result;
  result.FFileInfo = info;
  if (rle) {
    const std::vector<std::uint8_t> indices =
        DecodeRle(in, pixelsAt, static_cast<int>(width), static_cast<int>(height), bpp == 4);
    // Run-length pictures take our fixed display depth, 24 bits, and keep the file's bytes so
    // that an unchanged picture is saved back exactly as it was read.
    result.Allocate(static_cast<int>(width), static_cast<int>(height), 24);
    for (int y = 0; y < result.FHeight; ++y) {
      std::uint8_t* row = result.FBits.data() + static_cast<std::size_t>(y) * result.FRowLength;
      const std::uint8_t* src = indices.data() + static_cast<std::size_t>(y) * result.FWidth;
      for (int x = 0; x < result.FWidth; ++x) {
        const TRGBQuad c = src[x] < palette.size() ? palette[src[x]] : TRGBQuad{};
        row[3 * x] = c.Blue;
        row[3 * x + 1] = c.Green;
        row[3 * x + 2] = c.Red;
      }
    }
    result.FFileInfo = TBmpFileInfo{};
    result.FAttachedFile.assign(data.begin(), data.end());
  } else {
    // A 16-bit file without colour masks holds 5-5-5 words: a 15-bit bitmap.
    const int depth = (bpp == 16 && !hasMasks) ? 15 : bpp;
    // The rows must all be in the file before we allocate room for them.
    const std::size_t rowLength = RowLengthFor(static_cast<std::uint64_t>(width), depth);
    in.Need(pixelsAt, rowLength * static_cast<std::size_t>(height), "像素数据");
    result.Allocate(static_cast<int>(width), static_cast<int>(height), depth);
    result.FPalette = std::move(palette);
    if (hasMasks) result.SetColorMasks(masks[0], masks[1], masks[2]);
    for (int r = 0; r < result.FHeight; ++r) {
      const int fileRow = topDown ? r : result.FHeight - 1 - r;
      std::memcpy(result.FBits.data() + static_cast<std::size_t>(r) * rowLength,
                  in.At(pixelsAt + static_cast<std::size_t>(fileRow) * rowLength), rowLength);
    }
  }
  *this = std::move(result);
}

std::vector<std::uint8_t> TBitmap::SaveToBytes() const {
  if (!FAttachedFile.empty()) return FAttachedFile;
  std::vector<std::uint8_t> out = BmpHeader(*this);
  out.reserve(out.size() + FRowLength * static_cast<std::size_t>(FHeight));
  // The file holds the bottom row first.
  for (int r = FHeight - 1; r >= 0; --r) {
    const std::uint8_t* row = FBits.data() + static_cast<std::size_t>(r) * FRowLength;
    out.insert(out.end(), row, row + FRowLength);
  }
  return out;
}

void TBitmap::SaveToFile(const std::string& fileName) const {
  if (Empty() && FAttachedFile.empty()) {
    WriteFileAtomically(fileName, std::span<const std::uint8_t>{});
    return;
  }
  if (!FAttachedFile.empty()) {
    WriteFileAtomically(fileName, std::span<const std::uint8_t>(FAttachedFile));
    return;
  }
  // Rows go to the file straight from the bitmap, so the file is never built in memory.
  const std::vector<std::uint8_t> header = BmpHeader(*this);
  WriteFileAtomically(fileName, [&](const TByteSink& sink) {
    sink(header);
    for (int r = FHeight - 1; r >= 0; --r) {
      sink({FBits.data() + static_cast<std::size_t>(r) * FRowLength, FRowLength});
    }
  });
}

}  // namespace pennacrow
