#include "CryptTestUtil.h"

#include <utility>

namespace pennacrow::test {

std::vector<std::uint8_t> FromHex(const std::string& hex) {
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

std::string Bytes(const std::vector<std::uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

std::string ReferenceRc4(const std::vector<std::uint8_t>& key, const std::string& data) {
  unsigned s[256];
  for (unsigned k = 0; k < 256; ++k) s[k] = k;
  for (unsigned k = 0, j = 0; k < 256; ++k) {
    j = (j + s[k] + key[k % key.size()]) % 256;
    std::swap(s[k], s[j]);
  }
  std::string out;
  unsigned i = 0, j = 0;
  for (const char c : data) {
    i = (i + 1) % 256;
    j = (j + s[i]) % 256;
    std::swap(s[i], s[j]);
    out += static_cast<char>(static_cast<unsigned char>(c) ^ s[(s[i] + s[j]) % 256]);
  }
  return out;
}

std::string ReferenceBase64(const std::string& data) {
  static const char* const kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  unsigned bits = 0;
  int held = 0;
  for (const char c : data) {
    bits = (bits << 8) | static_cast<unsigned char>(c);
    held += 8;
    while (held >= 6) {
      held -= 6;
      out += kAlphabet[(bits >> held) & 63];
    }
  }
  if (held > 0) out += kAlphabet[(bits << (6 - held)) & 63];
  while (out.size() % 4 != 0) out += '=';
  return out;
}

}  // namespace pennacrow::test
