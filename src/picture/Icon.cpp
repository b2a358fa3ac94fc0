#include "picture/Icon.h"
#include "base/Translate.h"

#include <png.h>

#include <algorithm>
#include <cstring>

#include "picture/ByteReader.h"
#include "picture/Errors.h"
#include "picture/PixelLimits.h"

namespace pennacrow {

const TGraphicClass TIcon::ClassInfo{"TIcon", &TGraphic::ClassInfo,
                                     [] { return std::unique_ptr<TGraphic>(new TIcon); }};

namespace {

const char* const kFormat = "ICO";
constexpr std::size_t kDirectorySize = 6;
constexpr std::size_t kEntrySize = 16;
constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::size_t kV5HeaderSize = 124;
constexpr std::size_t kV5ProfileFields = 112;  // profile offset (from the header) and size
constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

[[noreturn]] void Damaged(const std::string& detail) {
  throw DamagedError(kFormat, detail);
}

bool IsPng(std::span<const std::uint8_t> image) {
  return image.size() >= sizeof kPngSignature &&
         std::memcmp(image.data(), kPngSignature, sizeof kPngSignature) == 0;
}

struct TEntry {
  std::span<const std::uint8_t> Bytes;
  std::uint64_t Area = 0;
  int Depth = 0;
};

// Size and depth of an image as its own header states them, for choosing among the entries.
TEntry Describe(std::span<const std::uint8_t> image) {
  TEntry entry{image};
  TByteReader in(image, kFormat);
  if (IsPng(image)) {
    in.Seek(16);  // signature, IHDR length and type
    entry.Area = std::uint64_t{in.U32BE()} * in.U32BE();
    entry.Depth = 32;
  } else {
    in.Skip(4);
    const std::int64_t width = in.S32LE();
    const std::int64_t height = in.S32LE() / 2;
    in.Skip(2);
    entry.Depth = in.U16LE();
    entry.Area = width > 0 && height > 0 ? static_cast<std::uint64_t>(width * height) : 0;
  }
  return entry;
}

// The bytes of an embedded PNG's image data chunks, each counted only as far as the image goes.
std::uint64_t PngDataBytes(std::span<const std::uint8_t> image) {
  std::uint64_t held = 0;
  TByteReader in(image, kFormat);
  in.Seek(sizeof kPngSignature);
  while (in.Remaining() >= 8) {
    const std::uint64_t length = in.U32BE();
    const bool data = std::memcmp(in.Bytes(4).data(), "IDAT", 4) == 0;
    const std::uint64_t present = std::min(length, in.Remaining());
    if (data) held += present;
    in.Skip(present);
    in.Skip(std::min<std::uint64_t>(4, in.Remaining()));  // CRC
  }
  return held;
}

// Deflate turns a byte into at most 1032, and a pixel takes at least a bit: an image whose data
// chunks cannot hold that many is refused before its rows are allocated.
constexpr std::uint64_t kDeflateRatio = 1032;

// PNG images go through libpng's simplified reader, which keeps its error handling (and its
// longjmp) inside the library and reports failures in the image's message.
TBitmap DecodePng(std::span<const std::uint8_t> image, const TPixelLimits& limits) {
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&png, image.data(), image.size())) {
    const std::string reason = png.message;
    png_image_free(&png);
    Damaged("PNG: " + reason);
  }
  try {
    CheckPictureSize(limits, kFormat, png.width, png.height, 32);
    if (CeilDiv(std::uint64_t{png.width} * png.height, 8) > kDeflateRatio * PngDataBytes(image)) {
      throw TruncatedError(kFormat);
    }
  } catch (...) {
    png_image_free(&png);
    throw;
  }
  png.format = PNG_FORMAT_BGRA;
  // 16-bit samples are taken as stored (sRGB) rather than as linear light, so that they reduce
  // to the 8-bit values every other reader gives.
  png.flags |= PNG_IMAGE_FLAG_16BIT_sRGB;
  TBitmap bitmap(static_cast<int>(png.width), static_cast<int>(png.height), 32);
  if (!png_image_finish_read(&png, nullptr, bitmap.MutableBits().data(),
                             static_cast<png_int_32>(bitmap.RowLength()), nullptr)) {
    const std::string reason = png.message;
    png_image_free(&png);
    Damaged("PNG: " + reason);
  }
  png_image_free(&png);
  return bitmap;
}

struct TDibHeader {
  std::uint32_t Size = 0;
  std::int32_t Width = 0, Height = 0;  // the colour rows only
  int Depth = 0;
  std::uint32_t ColoursUsed = 0;
  std::uint32_t ProfileOffset = 0, ProfileSize = 0;  // a version 5 header's colour profile
};

TDibHeader ReadDibHeader(TByteReader& in, const TPixelLimits& limits) {
  TDibHeader h;
  h.Size = in.U32LE();
  if (h.Size < kInfoHeaderSize) Damaged(TrF("位图信息头大小 %1", {std::to_string(h.Size)}));
  h.Width = in.S32LE();
  const std::int32_t doubleHeight = in.S32LE();
  const std::uint16_t planes = in.U16LE();
  h.Depth = in.U16LE();
  const std::uint32_t compression = in.U32LE();
  in.Skip(12);
  h.ColoursUsed = in.U32LE();
  if (h.Width <= 0 || doubleHeight <= 0 || doubleHeight % 2 != 0 || planes > 1) {
    throw InvalidFormatError(kFormat);
  }
  if (h.Depth != 1 && h.Depth != 4 && h.Depth != 8 && h.Depth != 24 && h.Depth != 32) {
    throw UnsupportedError(kFormat, TrF("%1 位图像", {std::to_string(h.Depth)}));
  }
  if (compression != 0) {
    throw UnsupportedError(kFormat, TrF("压缩方式 %1", {std::to_string(compression)}));
  }
  h.Height = doubleHeight / 2;
  CheckPictureSize(limits, kFormat, h.Width, h.Height, 32);
  if (h.Size >= kV5HeaderSize) {
    in.Seek(kV5ProfileFields);
    h.ProfileOffset = in.U32LE();
    h.ProfileSize = in.U32LE();
  }
  in.Seek(h.Size);
  return h;
}

std::vector<TRGBQuad> ReadDibPalette(TByteReader& in, const TDibHeader& h) {
  std::vector<TRGBQuad> palette;
  if (h.Depth > 8) return palette;
  const std::uint32_t maxColours = 1u << h.Depth;
  const std::uint32_t count = h.ColoursUsed == 0 ? maxColours : h.ColoursUsed;
  if (count > maxColours) throw InvalidPaletteError(kFormat);
  const auto table = in.Bytes(std::uint64_t{count} * 4);
  for (std::uint32_t i = 0; i < count; ++i) {
    palette.push_back({table[4 * i], table[4 * i + 1], table[4 * i + 2], 255});
  }
  return palette;
}

// One stored colour row as 32-bit pixels; returns whether any alpha byte was set.
bool PutColourRow(const TDibHeader& h, const std::vector<TRGBQuad>& palette,
                  const std::uint8_t* from, std::uint8_t* to) {
  bool anyAlpha = false;
  for (int x = 0; x < h.Width; ++x) {
    TRGBQuad c;
    if (h.Depth <= 8) {
      const int perByte = 8 / h.Depth;
      const int shift = 8 - h.Depth * (x % perByte + 1);
      const unsigned index = (from[x / perByte] >> shift) & ((1u << h.Depth) - 1);
      if (index >= palette.size()) Damaged(Tr("颜色索引超出调色板"));
      c = palette[index];
    } else if (h.Depth == 24) {
      c = {from[3 * x], from[3 * x + 1], from[3 * x + 2], 255};
    } else {
      c = {from[4 * x], from[4 * x + 1], from[4 * x + 2], from[4 * x + 3]};
      anyAlpha = anyAlpha || c.Reserved != 0;
    }
    std::memcpy(to + 4 * x, &c, 4);
  }
  return anyAlpha;
}

// A device-independent bitmap whose height counts the colour rows and the AND mask's rows. Both
// are stored bottom row first, each row padded to four bytes.
TBitmap DecodeDib(std::span<const std::uint8_t> image, const TPixelLimits& limits) {
  TByteReader in(image, kFormat);
  const TDibHeader h = ReadDibHeader(in, limits);
  const std::vector<TRGBQuad> palette = ReadDibPalette(in, h);
  const auto width = static_cast<std::uint64_t>(h.Width);
  const auto height = static_cast<std::uint64_t>(h.Height);
  const std::uint64_t colourRow = RowLengthFor(width, h.Depth);
  const std::uint64_t maskRow = RowLengthFor(width, 1);
  const auto colours = in.Bytes(colourRow * height);
  // Writers that embed a colour profile in a version 5 header may put it right after the colour
  // rows; the AND mask then follows the profile.
  if (h.ProfileSize != 0 && h.ProfileOffset == in.Position() && h.ProfileSize <= in.Remaining()) {
    in.Skip(h.ProfileSize);
  }
  // A 32-bit image carries its transparency in its alpha bytes; some writers leave its mask out.
  const bool hasMask = h.Depth < 32 || in.Remaining() >= maskRow * height;
  const auto mask = hasMask ? in.Bytes(maskRow * height) : std::span<const std::uint8_t>{};

  TBitmap bitmap(h.Width, h.Height, 32);
  bool anyAlpha = false;
  for (int y = 0; y < h.Height; ++y) {
    const std::uint8_t* from = colours.data() + colourRow * (height - 1 - y);
    anyAlpha = PutColourRow(h, palette, from, bitmap.RowAt(y)) || anyAlpha;
  }
  // Without alpha the AND mask decides: a set bit is a transparent pixel. A 32-bit image whose
  // alpha bytes are all zero is an old-style icon that relies on its mask as well.
  if (h.Depth == 32 && anyAlpha) return bitmap;
  for (int y = 0; y < h.Height; ++y) {
    std::uint8_t* to = bitmap.RowAt(y);
    const std::uint8_t* bits = hasMask ? mask.data() + maskRow * (height - 1 - y) : nullptr;
    for (int x = 0; x < h.Width; ++x) {
      const bool transparent = bits != nullptr && ((bits[x >> 3] >> (7 - (x & 7))) & 1);
      to[4 * x + 3] = transparent ? 0 : 255;
    }
  }
  return bitmap;
}

}  // namespace

void TIcon::LoadFromBytes(std::span<const std::uint8_t> data) {
  TByteReader in(data, kFormat);
  if (data.size() < kDirectorySize) throw InvalidFormatError(kFormat);
  const std::uint16_t reserved = in.U16LE();
  const std::uint16_t type = in.U16LE();
  const std::uint16_t count = in.U16LE();
  // Type 1 is an icon, 2 a cursor; a cursor's picture is stored the same way.
  if (reserved != 0 || (type != 1 && type != 2) || count == 0) {
    throw InvalidFormatError(kFormat);
  }
  if (std::uint64_t{count} * kEntrySize > in.Remaining()) in.Truncated();

  TEntry best;
  for (std::uint16_t i = 0; i < count; ++i) {
    in.Skip(8);
    const std::uint32_t size = in.U32LE();
    const std::uint32_t offset = in.U32LE();
    if (offset > data.size() || size > data.size() - offset) {
      Damaged(TrF("第 %1 个图像超出文件", {std::to_string(i + 1)}));
    }
    const TEntry entry = Describe(data.subspan(offset, size));
    if (i == 0 || entry.Area > best.Area || (entry.Area == best.Area && entry.Depth > best.Depth)) {
      best = entry;
    }
  }
  FImage = IsPng(best.Bytes) ? DecodePng(best.Bytes, Limits()) : DecodeDib(best.Bytes, Limits());
}

void TIcon::Draw(TBitmap& canvas) const {
  const int w = std::min(FImage.Width(), canvas.Width());
  const int h = std::min(FImage.Height(), canvas.Height());
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const TRGBQuad c = FImage.GetPixel(x, y);
      const unsigned a = c.Reserved;
      if (a == 0) continue;
      if (a == 255) {
        canvas.SetPixel(x, y, {c.Blue, c.Green, c.Red, 0});
        continue;
      }
      const TRGBQuad under = canvas.GetPixel(x, y);
      auto blend = [a](std::uint8_t over, std::uint8_t below) {
        return static_cast<std::uint8_t>((over * a + below * (255 - a) + 127) / 255);
      };
      canvas.SetPixel(
          x, y,
          {blend(c.Blue, under.Blue), blend(c.Green, under.Green), blend(c.Red, under.Red), 0});
    }
  }
}

}  // namespace pennacrow
