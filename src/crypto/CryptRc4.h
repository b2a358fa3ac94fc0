#pragma once
// RC4 in the cipher protocol of CryptBase.
//
// Every EncryptBytes/DecryptBytes call starts its two counters at 0 while the permutation carries
// over from the previous call: the first call after keying (or Rewind) gives the standard RC4
// keystream, a second call does not continue it. Stored texts depend on this, so it stays.

#include <array>
#include <cstdint>
#include <string>

#include "crypto/CryptBase.h"

namespace pennacrow {

class TCryptRc4 : public TCryptCipher {
 public:
  TCryptRc4() { Wipe(); }
  ~TCryptRc4() override;

  static int Id();
  static std::string Algorithm();
  static int MaxKeySize();
  // Known answer: a published RC4 vector with a 40-bit key.
  static bool SelfCheck();
  static const TCryptCipherClass& Class() { return CryptCipherClassOf<TCryptRc4>(); }
  const TCryptCipherClass& ClassType() const override { return Class(); }

  // Uses the first sizeInBits / 8 key bytes. Sizes below 8 bits, sizes that are not a multiple
  // of 4 and sizes above 2048 raise ECryptCipher "无效密钥大小    ".
  void SetKey(const void* key, std::uint32_t sizeInBits, const void* iv = nullptr) override;
  // Fills both permutations with 0xFF and forgets the key.
  void Wipe() override;
  // Back to the permutation as it stood right after keying.
  void Rewind() override;
  // Raise ECryptCipher "Cipher 未初始化       " on an unkeyed object.
  void EncryptBytes(const void* in, void* out, std::uint32_t count) override;
  void DecryptBytes(const void* in, void* out, std::uint32_t count) override;

 private:
  std::array<std::uint8_t, 256> FPermutation{};
  std::array<std::uint8_t, 256> FPermutationAfterKey{};
};

}  // namespace pennacrow
