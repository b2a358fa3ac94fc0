#include "codec/Container.h"

#include <algorithm>

#include "codec/BinaryUnit.h"

namespace pennacrow {

const char* const kWriteSucceeded = " 数据写入成功！           ";
const char* const kWriteFailed = " 数据写入失败！     ";
const char* const kReadSucceeded = " 自此图像读取数据成功！  ";
const char* const kReadFailed = " 自此图像读取数据失败！       ";

namespace {

constexpr std::int64_t kHeaderBits = 24;
constexpr std::int64_t kMaxTextBytes = 65535;  // what the 16-bit length field can say

std::int64_t CarrierBitCount(const TBitmap& bitmap) {
  return std::int64_t{bitmap.Width()} * bitmap.Height();
}

// The carrier bytes are the first width bytes of each row; below 8 bits per pixel a row holds
// fewer bytes than that, so such a bitmap carries nothing we could read.
void RequireByteRows(const TBitmap& bitmap) {
  if (bitmap.Empty()) throw EInvalidGraphicOperation("没有图片，无法读取隐藏数据");
  if (bitmap.BitsPerPixel() < 8 || bitmap.RowLength() < static_cast<std::size_t>(bitmap.Width())) {
    throw EInvalidGraphicOperation("图片每像素不足 8 位，不含隐藏数据");
  }
}

// A header that asks for more bits than the picture has is not a container we can read.
void RequireCarrierBits(const TBitmap& bitmap, std::int64_t bits) {
  if (bits > CarrierBitCount(bitmap)) {
    throw EPennacrowError("隐藏数据不完整：需要 " + std::to_string((bits + 7) / 8) +
                          " 字节，图片只能容纳 " + std::to_string(CarrierBitCount(bitmap) / 8) +
                          " 字节");
  }
}

// Walks the carrier bits from a position on, one row pointer at a time.
class TCarrierReader {
 public:
  TCarrierReader(const TBitmap& bitmap, std::int64_t start)
      : FBitmap(bitmap),
        FWidth(bitmap.Width()),
        FRow(static_cast<int>(start / FWidth)),
        FColumn(static_cast<int>(start % FWidth)) {}

  unsigned NextBit() {
    if (FRowBits == nullptr) FRowBits = FBitmap.ConstRowAt(FRow);
    const unsigned bit = FRowBits[FColumn] & 1u;
    if (++FColumn == FWidth) {
      FColumn = 0;
      ++FRow;
      FRowBits = nullptr;
    }
    return bit;
  }

  // Eight bits as one byte: the first read is the most significant bit, or with leastFirst the
  // least significant one (the version 1 layout).
  char NextByte(bool leastFirst) {
    unsigned value = 0;
    for (int i = 0; i < 8; ++i) {
      const unsigned bit = NextBit();
      value = leastFirst ? value | (bit << i) : (value << 1) | bit;
    }
    return static_cast<char>(value);
  }

 private:
  const TBitmap& FBitmap;
  int FWidth;
  int FRow;
  int FColumn;
  const std::uint8_t* FRowBits = nullptr;
};

}  // namespace

std::string DataFormatText(std::uint8_t format) {
  switch (format) {
    case kFormatPlain:
      return "Pennacrow Ver 2.0，未加密        ";
    case kFormatEncrypted:
      return "Pennacrow Ver 2.0，已加密    ";
    case kFormatVersion1:
      return "Pennacrow Ver 1.x";
    case kFormatSealed:
      return "Pennacrow 已密封";
    default:
      return "无隐藏数据或格式未知   ";
  }
}

int Capacity(int width, int height) {
  // 32-bit arithmetic as the status bar always did it; the pixel limits keep it from wrapping,
  // and the conversion below is defined even if it did.
  return static_cast<std::int32_t>(static_cast<std::int64_t>(width) * height) / 8;
}

std::string CapacityText(int width, int height) {
  return "数据大小：  " + std::to_string(Capacity(width, height));
}

std::uint8_t DetectDataFormat(const TBitmap* bitmap) {
  if (bitmap == nullptr || bitmap->Empty()) return kFormatProbeFailed;
  try {
    auto format = static_cast<std::uint8_t>(GetDataFormat(*bitmap));
    if (format == 0 && GetOldDataLength(*bitmap) > 0) format = kFormatVersion1;
    return format;
  } catch (...) {
    return kFormatProbeFailed;
  }
}

void AddBinaryToImage(TBitmap& bitmap, const std::string& bitString) {
  if (bitString.empty()) return;
  // Refuse before touching a pixel: a cut container would read back as a wrong text, and a
  // length of 65,536 or more would be stored modulo 65,536.
  const auto bits = static_cast<std::int64_t>(bitString.size());
  const std::int64_t textBytes = std::max<std::int64_t>(0, bits - kHeaderBits + 7) / 8;
  const std::int64_t carrierBits = CarrierBitCount(bitmap);
  if (bits > carrierBits || textBytes > kMaxTextBytes) {
    const std::int64_t room =
        std::clamp<std::int64_t>((carrierBits - kHeaderBits) / 8, 0, kMaxTextBytes);
    throw ETextDoesNotFit("文本太长：图片最多能容纳 " + std::to_string(room) + " 字节，文本需要 " +
                          std::to_string(textBytes) + " 字节");
  }
  // Rows of 1 or 4 bits per pixel hold fewer bytes than the picture is wide.
  if (bitmap.BitsPerPixel() < 8) bitmap.SetBitsPerPixel(24);

  const std::int64_t width = bitmap.Width();
  std::int64_t position = 0;
  for (int r = 0; position < bits; ++r) {
    std::uint8_t* row = bitmap.RowAt(r);
    const std::int64_t count = std::min(width, bits - position);
    const char* source = bitString.data() + position;
    for (std::int64_t c = 0; c < count; ++c) {
      // Same rule as SetLowBit: "0" clears the bit, any other character sets it.
      row[c] = static_cast<std::uint8_t>((row[c] & 0xFEu) | (source[c] != '0' ? 1u : 0u));
    }
    position += count;
  }
}

std::string RemoveBinaryFromImage(const TBitmap& bitmap, std::uint8_t& format) {
  format = static_cast<std::uint8_t>(GetDataFormat(bitmap));
  RequireByteRows(bitmap);
  const std::int64_t length = GetDataLength(bitmap);
  RequireCarrierBits(bitmap, kHeaderBits + 8 * length);
  TCarrierReader reader(bitmap, kHeaderBits);
  std::string text(static_cast<std::size_t>(length), '\0');
  for (char& byte : text) byte = reader.NextByte(false);
  return text;
}

std::string RemoveBinaryFromOldImage(const TBitmap& bitmap, std::uint8_t& format) {
  format = kFormatVersion1;
  RequireByteRows(bitmap);
  // The earlier release collected (probe + 6) bytes, about twice the length, which is more than
  // the container needs except for a one-byte text, whose last bits it could miss; we take what
  // the layout says: the 64 header bits and then the text.
  const std::int64_t length = GetOldDataLength(bitmap) / 2;
  RequireCarrierBits(bitmap, length == 0 ? 48 : 64 + 8 * length);
  if (length == 0) return {};
  TCarrierReader reader(bitmap, 64);
  std::string text(static_cast<std::size_t>(length), '\0');
  for (char& byte : text) byte = reader.NextByte(true);
  return text;
}

std::string ReadContainer(const TBitmap& bitmap, std::uint8_t& format) {
  return format == kFormatVersion1 ? RemoveBinaryFromOldImage(bitmap, format)
                                   : RemoveBinaryFromImage(bitmap, format);
}

}  // namespace pennacrow
