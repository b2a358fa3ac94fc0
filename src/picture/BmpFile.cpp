// Reading and writing Windows BMP files for TBitmap.

#include <algorithm>
#include <climits>
#include <cstring>

#include "base/FileIO.h"
#include "base/Translate.h"
#include "picture/Bitmap.h"
#include "picture/ByteReader.h"
#include "picture/Errors.h"
#include "picture/PictureFile.h"
#include "picture/PixelLimits.h"

namespace pennacrow {

namespace {

constexpr std::uint32_t kRgb = 0;
constexpr std::uint32_t kRle8 = 1;
constexpr std::uint32_t kRle4 = 2;
constexpr std::uint32_t kBitFields = 3;
constexpr std::uint32_t kAlphaBitFields = 6;
// OS/2 2.x gives codes 3 and 4 other meanings than Windows: Huffman 1D and 24-bit run length.
constexpr std::uint32_t kOs2Huffman = 0x103;
constexpr std::uint32_t kOs2Rle24 = 0x104;

[[noreturn]] void Invalid(const std::string& why, TGraphicFault kind = TGraphicFault::Damaged) {
  throw EInvalidGraphicFormat(kind, TrF("无法加载图像，无效的BMP位图：%1。", {why}));
}

// The end of the file, reached while reading `what`.
EInvalidGraphicFormat Truncation(const std::string& what) {
  return {TGraphicFault::Truncated, TrF("无法加载图像，无效的BMP位图：文件在%1处截断。", {what})};
}

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

// A run of two bytes paints at most 255 pixels; line ends and jumps move on without painting.
// A picture larger than this many pixels per byte of its coded data, beyond a size any file may
// leave mostly unpainted, is refused before its rows are allocated.
constexpr std::uint64_t kRlePixelsPerByte = 255;
constexpr std::uint64_t kRleUnpaintedPixels = std::uint64_t{1} << 22;

// Expands run-length coded pixels into one palette index per pixel, top row first. Runs that
// overrun a row, or rows beyond the picture, are errors: the file is damaged.
std::vector<std::uint8_t> DecodeRle(TByteReader& in, int width, int height, bool fourBit) {
  const auto pixels = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
  if (pixels > kRleUnpaintedPixels + kRlePixelsPerByte * in.Remaining()) in.Truncated();
  std::vector<std::uint8_t> indices(static_cast<std::size_t>(pixels), 0);
  // Encoders (ImageMagick among them) code whole padded rows, so a run may cover the pixels of
  // the row's padding; those are dropped. A run beyond the padded row is damage.
  const int paddedWidth = static_cast<int>(
      RowLengthFor(static_cast<std::uint64_t>(width), fourBit ? 4 : 8) * (fourBit ? 2 : 1));
  int x = 0;
  int y = 0;  // counted from the bottom, as the file stores rows
  auto put = [&](std::uint8_t index) {
    if (x >= paddedWidth || y >= height) Invalid(Tr("行程编码超出图像范围"));
    if (x < width) indices[static_cast<std::size_t>(height - 1 - y) * width + x] = index;
    ++x;
  };
  for (;;) {
    const std::uint8_t count = in.U8();
    const std::uint8_t value = in.U8();
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
      x += in.U8();
      y += in.U8();
      if (x > paddedWidth || y > height) Invalid(Tr("行程编码的位移超出图像范围"));
      continue;
    }
    // A literal run of `value` pixels, padded to a 16-bit boundary; the padding of the last
    // run may be missing at the end of the file.
    const std::size_t bytes = fourBit ? (value + 1u) / 2 : value;
    const auto literal = in.Bytes(bytes);
    for (int i = 0; i < value; ++i) {
      const std::uint8_t b = literal[fourBit ? i / 2 : i];
      put(fourBit ? ((i & 1) ? b & 0x0F : b >> 4) : b);
    }
    in.Skip(std::min<std::uint64_t>(bytes & 1, in.Remaining()));
    if (y >= height) break;
  }
  return indices;
}

// An OS/2 1.x information header and its colour table of three-byte entries, which has every
// entry the depth allows: those beyond the palette are black.
void WriteOs2Info(TWriter& out, const TBitmap& b, int fileBpp, std::size_t entries) {
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
}

// A Windows information header, the bitmap's colour masks when bitFields, and its colour table.
void WriteWindowsInfo(TWriter& out, const TBitmap& b, int fileBpp, std::size_t imageSize,
                      std::size_t entries, bool bitFields) {
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
    WriteOs2Info(out, b, fileBpp, entries);
  } else {
    WriteWindowsInfo(out, b, fileBpp, imageSize, entries, bitFields);
  }
  return out.Take();
}

}  // namespace

namespace {

struct TBmpHeader {
  // Where the information header starts: after the 14-byte file header, or at 0 in a packed DIB.
  std::uint64_t InfoStart = 14;
  std::uint64_t PixelOffset = 0;
  std::uint32_t HeaderSize = 0;
  TBmpFileInfo Info;
  std::int64_t Width = 0, Height = 0;
  int Bpp = 0;
  std::uint32_t Compression = kRgb;
  std::uint32_t ColorsUsed = 0;
  std::size_t PaletteEntrySize = 4;
  bool HasMasks = false;
  std::uint32_t Masks[3] = {0, 0, 0};
  std::uint64_t PaletteOffset = 0;
  bool TopDown = false;
  bool Rle() const { return Compression == kRle8 || Compression == kRle4; }
  bool Packed() const { return InfoStart == 0; }
};

// OS/2 2.x headers run from 16 to 64 bytes: the Windows fields as far as the size reaches (the
// rest count as zero), then OS/2's own. 40, 52 and 56 are Windows' sizes.
bool IsOs2V2Header(std::uint32_t size) {
  return size >= 16 && size <= 64 && size != 40 && size != 52 && size != 56;
}

TBmpHeader ReadOs2V2Header(TByteReader& in, TBmpHeader& h) {
  auto field = [&](std::uint32_t end) { return h.HeaderSize >= end ? in.U32LE() : 0u; };
  h.Width = in.S32LE();
  h.Height = in.S32LE();
  in.Skip(2);  // planes
  h.Bpp = in.U16LE();
  h.Compression = field(20);
  if (h.Compression == 3) h.Compression = kOs2Huffman;
  if (h.Compression == 4) h.Compression = kOs2Rle24;
  field(24);  // image size
  h.Info.XPelsPerMeter = static_cast<std::int32_t>(field(28));
  h.Info.YPelsPerMeter = static_cast<std::int32_t>(field(32));
  h.ColorsUsed = field(36);
  h.Info.ClrUsedFromFile = h.ColorsUsed != 0;
  h.Info.ClrImportant = field(40);
  return h;
}

// A packed DIB (a headerless .dib file, as the clipboard holds a bitmap) is the information
// header, masks, colour table and rows without the 14-byte file header: its pixels start right
// after the table. False when the bytes are no such thing.
bool ReadPackedDib(TByteReader& in, TBmpHeader& h) {
  if (in.Size() < 16) return false;
  const std::uint32_t size = in.U32LE();
  const bool os2 = size == 12;
  const bool windows = size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
  if ((!os2 && !windows && !IsOs2V2Header(size)) || in.Size() < size) return false;
  in.Seek(os2 ? 8 : 12);
  if (in.U16LE() != 1) return false;  // planes
  const unsigned bpp = in.U16LE();
  const std::uint32_t compression = !os2 && size >= 20 ? in.U32LE() : 0;
  std::uint64_t entries = 0;
  if (!os2 && size >= 36) {
    in.Seek(32);
    entries = in.U32LE();
  }
  if (entries == 0 && bpp <= 8) entries = std::uint64_t{1} << bpp;
  std::uint64_t masks = 0;
  if (size == 40 && compression == kBitFields) masks = 12;
  if (size == 40 && compression == kAlphaBitFields) masks = 16;
  h.InfoStart = 0;
  h.PixelOffset = std::uint64_t{size} + masks + entries * (os2 ? 3 : 4);
  if (h.PixelOffset >= in.Size()) Invalid(Tr("像素数据的位置超出文件范围"));
  return true;
}

// The file header and the information header (OS/2's 12 or 16 to 64 bytes, Windows' 40 to 124).
TBmpHeader ReadHeader(TByteReader& in) {
  in.SetAtEnd(Truncation(Tr("文件头")));
  TBmpHeader h;
  std::uint8_t magic[2] = {};
  if (in.ReadAt(0, magic, 2) && magic[0] == 'B' && magic[1] == 'M') {
    if (in.Size() < 26) Invalid(Tr("不是BMP文件"), TGraphicFault::NotThisFormat);
    in.Seek(10);
    h.PixelOffset = in.U32LE();
  } else if (!ReadPackedDib(in, h)) {
    Invalid(Tr("不是BMP文件"), TGraphicFault::NotThisFormat);
  }
  in.Seek(h.InfoStart);
  h.HeaderSize = in.U32LE();
  h.PaletteOffset = h.InfoStart + h.HeaderSize;
  if (h.HeaderSize == 12) {
    h.Info.Os2 = true;
    h.Width = in.U16LE();
    h.Height = in.S16LE();
    in.Skip(2);  // planes
    h.Bpp = in.U16LE();
    h.PaletteEntrySize = 3;
    return h;
  }
  if (IsOs2V2Header(h.HeaderSize)) return ReadOs2V2Header(in, h);
  if (h.HeaderSize < 40 || h.HeaderSize > 124) {
    Invalid(TrF("不支持的文件头大小 %1", {std::to_string(h.HeaderSize)}),
            TGraphicFault::Unsupported);
  }
  h.Width = in.S32LE();
  h.Height = in.S32LE();
  in.Skip(2);  // planes
  h.Bpp = in.U16LE();
  h.Compression = in.U32LE();
  in.Skip(4);  // image size
  h.Info.XPelsPerMeter = in.S32LE();
  h.Info.YPelsPerMeter = in.S32LE();
  h.ColorsUsed = in.U32LE();
  h.Info.ClrUsedFromFile = h.ColorsUsed != 0;
  h.Info.ClrImportant = in.U32LE();
  if (h.Compression == kBitFields || h.Compression == kAlphaBitFields) {
    // A 40-byte header is followed by the masks; larger headers hold them inside.
    h.HasMasks = true;
    for (std::uint32_t& mask : h.Masks) mask = in.U32LE();
    if (h.HeaderSize == 40) h.PaletteOffset += h.Compression == kAlphaBitFields ? 16 : 12;
    h.Compression = kBitFields;
  }
  return h;
}

void CheckHeader(TByteReader& in, TBmpHeader& h, const TPixelLimits& limits) {
  in.Seek(h.InfoStart + (h.HeaderSize == 12 ? 8 : 12));
  if (in.U16LE() != 1) Invalid(Tr("色平面数不为 1"));
  h.TopDown = h.Height < 0;
  if (h.TopDown) h.Height = -h.Height;
  if (h.Width <= 0 || h.Height <= 0) Invalid(Tr("宽度或高度无效"));
  if (h.Compression == kRle8 && h.Bpp != 8) Invalid(Tr("RLE8 压缩要求 8 位像素"));
  if (h.Compression == kRle4 && h.Bpp != 4) Invalid(Tr("RLE4 压缩要求 4 位像素"));
  if (h.Rle() && h.TopDown) Invalid(Tr("行程编码的位图不能自上而下存储"));
  if (h.Compression != kRgb && h.Compression != kBitFields && !h.Rle()) {
    throw UnsupportedError("BMP", TrF("压缩方式 %1", {std::to_string(h.Compression)}));
  }
  if (h.Bpp != 1 && h.Bpp != 4 && h.Bpp != 8 && h.Bpp != 16 && h.Bpp != 24 && h.Bpp != 32) {
    throw UnsupportedError("BMP", TrF("%1 位像素", {std::to_string(h.Bpp)}));
  }
  if (h.HasMasks && h.Bpp != 16 && h.Bpp != 32) Invalid(Tr("位域只用于 16 位和 32 位像素"));
  CheckPictureSize(limits, "BMP", h.Width, h.Height, h.Rle() ? 24 : h.Bpp);
}

// Colour table: the colours-used count, else the full table of an indexed depth. OS/2 files
// hold as many entries as fit before the pixels.
std::vector<TRGBQuad> ReadPalette(TByteReader& in, const TBmpHeader& h) {
  std::uint64_t entries = h.ColorsUsed;
  if (entries == 0 && h.Bpp <= 8) entries = std::uint64_t{1} << h.Bpp;
  if (h.Info.Os2 && h.Bpp <= 8 && h.PixelOffset > h.PaletteOffset) {
    entries = std::min(entries, (h.PixelOffset - h.PaletteOffset) / h.PaletteEntrySize);
  }
  // Writers may store a longer table than the depth can index: the first 2^depth entries are the
  // colours. Above 8 bits the table is only a display hint, of which a bitmap keeps 256.
  if (h.Bpp <= 8 && entries > (std::uint64_t{1} << h.Bpp)) entries = std::uint64_t{1} << h.Bpp;
  if (h.Bpp > 8) entries = std::min<std::uint64_t>(entries, 256);
  in.SetAtEnd(Truncation(Tr("调色板")));
  in.Seek(h.PaletteOffset);
  const auto table = in.Bytes(entries * h.PaletteEntrySize);
  std::vector<TRGBQuad> palette(static_cast<std::size_t>(entries));
  for (std::size_t i = 0; i < palette.size(); ++i) {
    const std::uint8_t* e = table.data() + i * h.PaletteEntrySize;
    palette[i] = {e[0], e[1], e[2], 0};
  }
  if (h.PixelOffset < h.PaletteOffset + entries * h.PaletteEntrySize ||
      h.PixelOffset >= in.Size()) {
    Invalid(Tr("像素数据的位置超出文件范围"));
  }
  return palette;
}

// The file as read, kept with a run-length picture so that it is saved back unchanged; a packed
// DIB gets the file header it lacks.
std::vector<std::uint8_t> WholeFile(TByteReader& in, const TBmpHeader& h) {
  std::vector<std::uint8_t> file;
  if (h.Packed()) {
    file = {'B', 'M'};
    const std::uint32_t fields[] = {static_cast<std::uint32_t>(14 + in.Size()), 0,
                                    static_cast<std::uint32_t>(14 + h.PixelOffset)};
    for (std::uint32_t v : fields) {
      for (int i = 0; i < 4; ++i) file.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
  }
  const std::size_t start = file.size();
  file.resize(start + static_cast<std::size_t>(in.Size()));
  in.Seek(0);
  in.ReadInto(file.data() + start, static_cast<std::size_t>(in.Size()));
  return file;
}

// Run-length pictures take our fixed display depth, 24 bits.
void DecodeRlePixels(TByteReader& in, const TBmpHeader& h, const std::vector<TRGBQuad>& palette,
                     TBitmap& result) {
  const int width = static_cast<int>(h.Width), height = static_cast<int>(h.Height);
  in.SetAtEnd(Truncation(Tr("行程编码数据")));
  in.Seek(h.PixelOffset);
  const std::vector<std::uint8_t> indices = DecodeRle(in, width, height, h.Bpp == 4);
  result.Allocate(width, height, 24);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = result.RowAt(y);
    const std::uint8_t* src = indices.data() + static_cast<std::size_t>(y) * width;
    for (int x = 0; x < width; ++x) {
      const TRGBQuad c = src[x] < palette.size() ? palette[src[x]] : TRGBQuad{};
      row[3 * x] = c.Blue;
      row[3 * x + 1] = c.Green;
      row[3 * x + 2] = c.Red;
    }
  }
}

// The first count rows of an uncompressed picture, read from the file straight into their rows
// in the order the file holds them: the first rows of a top-down file, the last ones of a
// bottom-up file. Those rows must all be in the file before room is made for them.
void ReadRows(TByteReader& in, const TBmpHeader& h, int count, TBitmap& result) {
  // A 16-bit file without colour masks holds 5-5-5 words: a 15-bit bitmap.
  const int depth = (h.Bpp == 16 && !h.HasMasks) ? 15 : h.Bpp;
  const std::uint64_t rowLength = RowLengthFor(static_cast<std::uint64_t>(h.Width), depth);
  const auto height = static_cast<std::uint64_t>(h.Height);
  const std::uint64_t firstFileRow = h.TopDown ? 0 : height - count;
  in.SetAtEnd(Truncation(Tr("像素数据")));
  in.Seek(h.PixelOffset + firstFileRow * rowLength);
  RequireBytes(in, rowLength * static_cast<std::uint64_t>(count));
  result.Allocate(static_cast<int>(h.Width), count, depth);
  for (int i = 0; i < count; ++i) {
    const int r = h.TopDown ? i : count - 1 - i;
    in.ReadInto(result.RowAt(r), static_cast<std::size_t>(rowLength));
  }
}

// The one decode of a BMP file, from memory or from a file: the first rowLimit rows (every row
// of a run-length picture, which is coded from the bottom), or all of them. Returns the height.
int DecodeBmp(TByteReader& in, int rowLimit, const TPixelLimits& limits, TBitmap& result) {
  TBmpHeader header = ReadHeader(in);
  CheckHeader(in, header, limits);
  std::vector<TRGBQuad> palette = ReadPalette(in, header);
  const int height = static_cast<int>(header.Height);
  TBitmap bitmap;
  if (header.Rle()) {
    std::vector<std::uint8_t> file = WholeFile(in, header);
    DecodeRlePixels(in, header, palette, bitmap);
    bitmap.AttachFile(std::move(file));
  } else {
    ReadRows(in, header, std::clamp(rowLimit, 1, height), bitmap);
    bitmap.Palette() = std::move(palette);
    if (header.HasMasks) bitmap.SetColorMasks(header.Masks[0], header.Masks[1], header.Masks[2]);
    bitmap.FileInfo() = header.Info;
  }
  result = std::move(bitmap);
  return height;
}

}  // namespace

void TBitmap::LoadFromBytes(std::span<const std::uint8_t> data) {
  TByteReader in(data, "BMP");
  DecodeBmp(in, INT_MAX, Limits(), *this);
}

std::optional<int> TBitmap::LoadFirstRows(const std::string& fileName, int rowCount) {
  if (&ClassType() != &TBitmap::ClassInfo) return std::nullopt;
  const TPictureFile file(fileName, Limits());
  TByteReader in(file, "BMP");
  return DecodeBmp(in, rowCount, Limits(), *this);
}

void TBitmap::LoadFromFile(const std::string& fileName) {
  // Uncompressed rows are read into the bitmap as they are, with no copy of the file beside it.
  if (!LoadFirstRows(fileName, INT_MAX)) TGraphic::LoadFromFile(fileName);
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

void TBitmap::SaveToFile(const std::string& fileName, const TWriteOptions& options) const {
  if (Empty() && FAttachedFile.empty()) {
    WriteFileAtomically(fileName, std::span<const std::uint8_t>{}, options);
    return;
  }
  if (!FAttachedFile.empty()) {
    WriteFileAtomically(fileName, std::span<const std::uint8_t>(FAttachedFile), options);
    return;
  }
  // Rows go to the file straight from the bitmap, so the file is never built in memory.
  const std::vector<std::uint8_t> header = BmpHeader(*this);
  WriteFileAtomically(
      fileName,
      [&](const TByteSink& sink) {
        sink(header);
        for (int r = FHeight - 1; r >= 0; --r) {
          sink({FBits.data() + static_cast<std::size_t>(r) * FRowLength, FRowLength});
        }
      },
      options);
}

}  // namespace pennacrow
