#include "crypto/CryptBase.h"
#include "base/Translate.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "crypto/CryptBase64.h"
#include "crypto/CryptConst.h"

namespace pennacrow {

void SecureFill(void* p, std::size_t size, std::uint8_t value) {
  volatile std::uint8_t* bytes = static_cast<volatile std::uint8_t*>(p);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = value;
}

namespace {

std::uint32_t CountOf(std::size_t size) {
  // The byte operations count in 32 bits, and each call restarts the cipher's counters, so a
  // longer input cannot be split without changing the result.
  if (size > std::numeric_limits<std::uint32_t>::max()) {
    throw ECryptCipher(Tr("文本超过 4 GiB，无法加密或解密"));
  }
  return static_cast<std::uint32_t>(size);
}

}  // namespace

// ---- TCryptHash ----

int TCryptHash::Id() {
  return kCryptIdNone;
}
std::string TCryptHash::Algorithm() {
  return {};
}
int TCryptHash::HashSize() {
  return -1;
}
bool TCryptHash::SelfCheck() {
  return false;
}

void TCryptHash::FinishDigest(std::span<std::uint8_t>) {}
void TCryptHash::AddBytes(const void*, std::uint32_t) {}

void TCryptHash::AddText(std::string_view text) {
  // A hash counts in 32-bit steps; longer texts go in several calls, which hashing allows.
  constexpr std::size_t kStep = std::size_t{1} << 30;
  do {
    const std::size_t n = std::min(text.size(), kStep);
    AddBytes(text.data(), static_cast<std::uint32_t>(n));
    text.remove_prefix(n);
  } while (!text.empty());
}

// ---- TCryptCipher ----

int TCryptCipher::Id() {
  return kCryptIdNone;
}
std::string TCryptCipher::Algorithm() {
  return {};
}
int TCryptCipher::MaxKeySize() {
  return -1;
}
bool TCryptCipher::SelfCheck() {
  return false;
}

void TCryptCipher::SetKey(const void*, std::uint32_t sizeInBits, const void*) {
  if (FKeyed) Wipe();
  // Compared unsigned: the base class's -1 admits every multiple of 4.
  const auto maxKeySize = static_cast<std::uint32_t>(ClassType().MaxKeySize());
  if (sizeInBits == 0 || sizeInBits % 4 != 0 || sizeInBits > maxKeySize) {
    throw ECryptCipher(Tr(kMsgInvalidKeySize));
  }
  FKeyed = true;
}

void TCryptCipher::EncryptBytes(const void*, void*, std::uint32_t) {}
void TCryptCipher::DecryptBytes(const void*, void*, std::uint32_t) {}

std::string TCryptCipher::EncryptText(std::string_view text) {
  std::string bytes(text.size(), '\0');
  EncryptBytes(text.data(), bytes.data(), CountOf(text.size()));
  return EncodeBase64String(bytes);
}

std::string TCryptCipher::DecryptText(std::string_view armoured) {
  std::string bytes = DecodeBase64String(armoured);
  DecryptBytes(bytes.data(), bytes.data(), CountOf(bytes.size()));
  return bytes;
}

void TCryptCipher::SetKeyFromPassword(std::string_view password, const TCryptHashClass& hashClass) {
  if (FKeyed) Wipe();
  std::vector<std::uint8_t> digest;
  try {
    const int hashSize = hashClass.HashSize();
    if (hashSize <= 0) throw ECryptHash("hash class without a digest");
    digest.resize(static_cast<std::size_t>(hashSize) / 8);
    {
      const std::unique_ptr<TCryptHash> hash = hashClass.Create();
      hash->StartDigest();
      hash->AddText(password);
      hash->FinishDigest(digest);
    }
    const int maxKeySize = ClassType().MaxKeySize();
    SetKey(digest.data(),
           static_cast<std::uint32_t>(maxKeySize < hashSize ? maxKeySize : hashSize));
  } catch (...) {
    SecureFill(digest.data(), digest.size(), 0xFF);
    throw ECryptCipher(Tr(kMsgKeyFromPasswordFailed));
  }
  SecureFill(digest.data(), digest.size(), 0xFF);
}

}  // namespace pennacrow
