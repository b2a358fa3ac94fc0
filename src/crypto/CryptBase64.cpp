#include "crypto/CryptBase64.h"

#include <array>
#include <limits>
#include <stdexcept>

namespace pennacrow {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::uint8_t kPad = 255;    // the value of "="
constexpr std::uint8_t kOutside = 0;  // marks a character outside the alphabet in the table below
constexpr std::uint8_t kOffset = 1;   // table entries hold value + 1, so 0 can mean "outside"

constexpr std::array<std::uint8_t, 256> MakeDecodeTable() {
  std::array<std::uint8_t, 256> table{};
  for (int v = 0; v < 64; ++v) {
    table[static_cast<unsigned char>(kAlphabet[v])] = static_cast<std::uint8_t>(v + kOffset);
  }
  return table;
}
constexpr std::array<std::uint8_t, 256> kDecodeTable = MakeDecodeTable();

std::size_t EncodedLength(std::size_t count) {
  return 4 * ((count + 2) / 3);
}

std::size_t Encode(const std::uint8_t* src, char* dest, std::size_t count) {
  char* out = dest;
  std::size_t i = 0;
  for (; i + 3 <= count; i += 3) {
    const std::uint32_t v =
        (std::uint32_t{src[i]} << 16) | (std::uint32_t{src[i + 1]} << 8) | src[i + 2];
    *out++ = kAlphabet[(v >> 18) & 63];
    *out++ = kAlphabet[(v >> 12) & 63];
    *out++ = kAlphabet[(v >> 6) & 63];
    *out++ = kAlphabet[v & 63];
  }
  if (const std::size_t rest = count - i; rest > 0) {
    const std::uint32_t v =
        (std::uint32_t{src[i]} << 16) | (rest == 2 ? std::uint32_t{src[i + 1]} << 8 : 0);
    *out++ = kAlphabet[(v >> 18) & 63];
    *out++ = kAlphabet[(v >> 12) & 63];
    *out++ = rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    *out++ = '=';
  }
  return static_cast<std::size_t>(out - dest);
}

std::size_t Decode(const char* src, std::uint8_t* dest, std::size_t count) {
  // The four place values live across groups: a character outside the alphabet leaves its
  // place as the previous group left it.
  std::array<std::uint8_t, 4> s{};
  std::uint8_t* out = dest;
  for (std::size_t g = 0; g < count / 4; ++g) {
    for (std::size_t k = 0; k < 4; ++k) {
      const auto c = static_cast<unsigned char>(src[4 * g + k]);
      if (c == '=') {
        s[k] = kPad;
      } else if (const std::uint8_t entry = kDecodeTable[c]; entry != kOutside) {
        s[k] = static_cast<std::uint8_t>(entry - kOffset);
      }
    }
    *out++ = static_cast<std::uint8_t>(s[0] * 4 + s[1] / 16);
    if (s[2] != kPad) {
      *out++ = static_cast<std::uint8_t>(s[1] * 16 + s[2] / 4);
      if (s[3] != kPad) *out++ = static_cast<std::uint8_t>(s[2] * 64 + s[3]);
    }
  }
  return static_cast<std::size_t>(out - dest);
}

}  // namespace

std::int32_t EncodeBase64Buffer(const void* source, char* dest, std::int32_t count) {
  if (count <= 0) return 0;
  const std::size_t length = EncodedLength(static_cast<std::size_t>(count));
  if (length > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    throw std::length_error("Base64 result too long");
  }
  return static_cast<std::int32_t>(
      Encode(static_cast<const std::uint8_t*>(source), dest, static_cast<std::size_t>(count)));
}

std::int32_t DecodeBase64Buffer(const char* source, void* dest, std::int32_t count) {
  if (count < 4) return 0;
  return static_cast<std::int32_t>(
      Decode(source, static_cast<std::uint8_t*>(dest), static_cast<std::size_t>(count)));
}

std::string EncodeBase64String(std::string_view bytes) {
  std::string text(EncodedLength(bytes.size()), '\0');
  Encode(reinterpret_cast<const std::uint8_t*>(bytes.data()), text.data(), bytes.size());
  return text;
}

std::string DecodeBase64String(std::string_view text) {
  std::string bytes(text.size() / 4 * 3, '\0');
  bytes.resize(Decode(text.data(), reinterpret_cast<std::uint8_t*>(bytes.data()), text.size()));
  return bytes;
}

bool IsStrictBase64(std::string_view text) {
  if (text.size() % 4 != 0) return false;
  std::size_t padding = 0;
  while (padding < 2 && padding < text.size() && text[text.size() - 1 - padding] == '=') ++padding;
  for (std::size_t i = 0; i + padding < text.size(); ++i) {
    if (kDecodeTable[static_cast<unsigned char>(text[i])] == kOutside) return false;
  }
  return true;
}

}  // namespace pennacrow
