#include "codec/BinaryUnit.h"
#include "base/Translate.h"

#include <algorithm>

namespace pennacrow {

namespace {

constexpr std::size_t kHeaderBits = 24;     // format byte and 16-bit length
constexpr std::size_t kOldHeaderBits = 64;  // version 1: 32 bits, length, 16 bits

// Up to count characters of s from pos; nothing when pos lies past the end.
std::string Part(const std::string& s, std::size_t pos, std::size_t count) {
  return pos >= s.size() ? std::string() : s.substr(pos, count);
}

// A whole group of "0"/"1" characters decodes straight to its byte; anything else (a group cut
// short at the end of the bits) takes the general rule of BinaryToChar.
std::uint8_t GroupToByte(const std::string& bits, std::size_t pos, bool leastFirst) {
  if (pos + 8 <= bits.size()) {
    unsigned value = 0;
    bool plain = true;
    for (std::size_t i = 0; i < 8; ++i) {
      const char c = bits[pos + (leastFirst ? 7 - i : i)];
      if (c != '0' && c != '1') {
        plain = false;
        break;
      }
      value = (value << 1) | static_cast<unsigned>(c == '1');
    }
    if (plain) return static_cast<std::uint8_t>(value);
  }
  const std::string group = Part(bits, pos, 8);
  return BinaryToChar(leastFirst ? ReverseString(group) : group);
}

// Carrier bits first .. first + count - 1 as a BitString; empty when the bitmap cannot hold all
// of them within its rows.
std::string CarrierBits(const TBitmap& bitmap, std::int64_t first, std::int64_t count) {
  const std::int64_t width = bitmap.Width();
  const std::int64_t total = width * bitmap.Height();
  if (bitmap.BitsPerPixel() < 8 || width <= 0 || first + count > total ||
      bitmap.RowLength() < static_cast<std::size_t>(width)) {
    return {};
  }
  std::string bits;
  bits.reserve(static_cast<std::size_t>(count));
  for (std::int64_t p = first; p < first + count; ++p) {
    const std::uint8_t* row = bitmap.ConstRowAt(static_cast<int>(p / width));
    bits += GetLowBit(row[p % width]);
  }
  return bits;
}

}  // namespace

std::string IntToBinary(std::int32_t value, int topBit) {
  std::string bits;
  if (topBit < 0) return bits;
  bits.reserve(static_cast<std::size_t>(topBit) + 1);
  const auto v = static_cast<std::uint32_t>(value);
  for (int k = topBit; k >= 0; --k) {
    const bool set = k < 32 && (v & (std::uint32_t{1} << k)) != 0;
    bits += set ? '1' : '0';
  }
  return bits;
}

std::int32_t BinaryToInt(const std::string& bits) {
  std::uint32_t sum = 0;
  for (const char c : bits) sum = (sum << 1) | static_cast<std::uint32_t>(c == '1');
  return static_cast<std::int32_t>(sum);
}

std::string CharToBinary(std::uint8_t c) {
  // Repeated halving puts the remainders in front, so the result is most significant first.
  std::string bits;
  unsigned value = c;
  while (value != 0) {
    bits.insert(bits.begin(), static_cast<char>('0' + value % 2));
    value /= 2;
  }
  bits.insert(0, 8 - bits.size(), '0');
  return bits;
}

std::string TextToBinary(const std::string& text) {
  // The container of a long text runs to half a million characters: fill them in place.
  std::string bits(text.size() * 8, '0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<std::uint8_t>(text[i]);
    for (int k = 0; k < 8; ++k) {
      if ((byte & (0x80u >> k)) != 0) bits[i * 8 + static_cast<std::size_t>(k)] = '1';
    }
  }
  return bits;
}

std::uint8_t BinaryToChar(const std::string& group) {
  const auto outer = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  const auto first = std::find_if_not(group.begin(), group.end(), outer);
  const auto last = std::find_if_not(group.rbegin(), group.rend(), outer).base();
  unsigned sum = 0;
  std::uint8_t weight = 128;
  for (auto it = first; it < last; ++it) {
    if (*it < '0' || *it > '9') {
      throw EConvertError(TrF("'%1' 不是有效的整数值", {std::string(1, *it)}));
    }
    sum += static_cast<unsigned>(*it - '0') * weight;
    weight = static_cast<std::uint8_t>(weight >> 1);
  }
  return static_cast<std::uint8_t>(sum & 0xFF);
}

std::string ReverseString(const std::string& s) {
  return std::string(s.rbegin(), s.rend());
}

char GetLowBit(std::uint8_t b) {
  return (b & 1) != 0 ? '1' : '0';
}

std::uint8_t SetLowBit(std::uint8_t b, char bit) {
  return bit == '0' ? static_cast<std::uint8_t>(b & 254) : static_cast<std::uint8_t>(b | 1);
}

std::string BuildBinaryString(const std::string& text, std::uint8_t format) {
  // Only the low 16 bits of the length fit the header; the writer refuses longer texts.
  return IntToBinary(format, 7) + IntToBinary(static_cast<std::int32_t>(text.size() & 0xFFFF), 15) +
         TextToBinary(text);
}

std::int32_t GetDataFormat(const TBitmap& bitmap) {
  return BinaryToInt(CarrierBits(bitmap, 0, 8));
}

std::int32_t GetDataLength(const TBitmap& bitmap) {
  return BinaryToInt(CarrierBits(bitmap, 8, 16));
}

std::int32_t GetOldDataLength(const TBitmap& bitmap) {
  return BinaryToInt(ReverseString(CarrierBits(bitmap, 31, 17)));
}

std::string BinaryToText(const std::string& bits) {
  const auto n = static_cast<std::size_t>(BinaryToInt(Part(bits, 8, 16)));
  std::string text(n, '\0');
  for (std::size_t k = 0; k < n; ++k) {
    text[k] = static_cast<char>(GroupToByte(bits, kHeaderBits + 8 * k, false));
  }
  return text;
}

std::string BinaryToOldText(const std::string& bits) {
  const auto length = static_cast<std::size_t>(BinaryToInt(ReverseString(Part(bits, 32, 16))));
  std::string text(length, '\0');
  for (std::size_t k = 0; k < length; ++k) {
    text[k] = static_cast<char>(GroupToByte(bits, kOldHeaderBits + 8 * k, true));
  }
  return text;
}

}  // namespace pennacrow
