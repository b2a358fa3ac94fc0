#include "crypto/CryptRc4.h"
#include "base/Translate.h"

#include <cstring>
#include <utility>

#include "crypto/CryptConst.h"

namespace pennacrow {

TCryptRc4::~TCryptRc4() {
  if (FKeyed) Wipe();
}

int TCryptRc4::Id() {
  return kCryptIdRc4;
}
std::string TCryptRc4::Algorithm() {
  return "RC4";
}
int TCryptRc4::MaxKeySize() {
  return 2048;
}

bool TCryptRc4::SelfCheck() {
  // RFC 6229, 40-bit key 0x0102030405: the keystream's first bytes are b2 39 63 05 f0; with a
  // zero plaintext the ciphertext is the keystream.
  static const std::uint8_t kKey[5] = {0x01, 0x02, 0x03, 0x04, 0x05};
  static const std::uint8_t kPlain[5] = {0x00, 0x00, 0x00, 0x00, 0x00};
  static const std::uint8_t kCipher[5] = {0xB2, 0x39, 0x63, 0x05, 0xF0};
  TCryptRc4 cipher;
  std::uint8_t buffer[5];
  cipher.SetKey(kKey, 40);
  cipher.EncryptBytes(kPlain, buffer, 5);
  const bool encrypted = std::memcmp(buffer, kCipher, 5) == 0;
  cipher.Rewind();
  cipher.DecryptBytes(buffer, buffer, 5);
  const bool decrypted = std::memcmp(buffer, kPlain, 5) == 0;
  cipher.Wipe();
  return encrypted && decrypted;
}

void TCryptRc4::SetKey(const void* key, std::uint32_t sizeInBits, const void* iv) {
  if (FKeyed) Wipe();
  // A size of 4 bits passes the common check but leaves no whole key byte to schedule.
  if (sizeInBits < 8) throw ECryptCipher(Tr(kMsgInvalidKeySize));
  TCryptCipher::SetKey(key, sizeInBits, iv);

  const auto* keyBytes = static_cast<const std::uint8_t*>(key);
  const std::uint32_t length = sizeInBits / 8;
  std::uint8_t j = 0;
  for (int p = 0; p < 256; ++p) FPermutation[p] = static_cast<std::uint8_t>(p);
  for (std::uint32_t p = 0; p < 256; ++p) {
    j = static_cast<std::uint8_t>(j + FPermutation[p] + keyBytes[p % length]);
    std::swap(FPermutation[p], FPermutation[j]);
  }
  FPermutationAfterKey = FPermutation;
  SecureFill(&j, sizeof j, 0);
}

void TCryptRc4::Wipe() {
  SecureFill(FPermutationAfterKey.data(), FPermutationAfterKey.size(), 0xFF);
  SecureFill(FPermutation.data(), FPermutation.size(), 0xFF);
  TCryptCipher::Wipe();
}

void TCryptRc4::Rewind() {
  FPermutation = FPermutationAfterKey;
}

void TCryptRc4::EncryptBytes(const void* in, void* out, std::uint32_t count) {
  if (!FKeyed) throw ECryptCipher(Tr(kMsgCipherNotKeyed));
  const auto* src = static_cast<const std::uint8_t*>(in);
  auto* dst = static_cast<std::uint8_t*>(out);
  std::uint8_t i = 0;
  std::uint8_t j = 0;
  for (std::uint32_t k = 0; k < count; ++k) {
    ++i;
    const std::uint8_t t = FPermutation[i];
    j = static_cast<std::uint8_t>(j + t);
    FPermutation[i] = FPermutation[j];
    FPermutation[j] = t;
    dst[k] = src[k] ^ FPermutation[static_cast<std::uint8_t>(t + FPermutation[i])];
  }
}

void TCryptRc4::DecryptBytes(const void* in, void* out, std::uint32_t count) {
  EncryptBytes(in, out, count);
}

}  // namespace pennacrow
