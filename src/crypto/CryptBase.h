#pragma once
// The hash and cipher base classes of the text cipher, and their exceptions.
//
// Class-level answers (Id, Algorithm, HashSize / MaxKeySize, SelfCheck) are static members of
// every class, so a caller asks them without an object: TCryptSha1::HashSize(). They can be
// asked through an object too (sha.HashSize()); through a base reference, ClassType() gives the
// object's own class. A caller that holds only a class holds its descriptor (TCryptHashClass,
// TCryptCipherClass), which answers the same questions and constructs objects of that class.
//
// Objects have no owner: whoever creates one destroys it, and destruction wipes the key material.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "base/Error.h"
#include "base/Translate.h"

namespace pennacrow {

// Raised by hash objects.
class ECryptHash : public EPennacrowError {
 public:
  using EPennacrowError::EPennacrowError;
};

// Raised by cipher objects.
class ECryptCipher : public EPennacrowError {
 public:
  using EPennacrowError::EPennacrowError;
};

// The messages, spaces included: they are the program's own texts.
inline constexpr const char* kMsgHashNotStarted = N_("Hash 未初始化       ");
inline constexpr const char* kMsgCipherNotKeyed = N_("Cipher 未初始化       ");
inline constexpr const char* kMsgInvalidKeySize = N_("无效密钥大小    ");
inline constexpr const char* kMsgKeyFromPasswordFailed =
    N_("无法为哈希算法分配足够的内存                        ");

// Fills size bytes at p with value in a way the compiler may not drop, even right before the
// storage is released: key material must not outlive its use.
void SecureFill(void* p, std::size_t size, std::uint8_t value);

class TCryptHash;
class TCryptCipher;

// A hash class as a value: what a caller holding only the class can ask of it.
struct TCryptHashClass {
  int (*Id)();
  std::string (*Algorithm)();
  int (*HashSize)();  // bits
  bool (*SelfCheck)();
  std::unique_ptr<TCryptHash> (*Create)();
};

// A cipher class as a value.
struct TCryptCipherClass {
  int (*Id)();
  std::string (*Algorithm)();
  int (*MaxKeySize)();  // bits
  bool (*SelfCheck)();
  std::unique_ptr<TCryptCipher> (*Create)();
};

// The descriptor of hash class T.
template <class T>
const TCryptHashClass& CryptHashClassOf() {
  static const TCryptHashClass descriptor{
      &T::Id, &T::Algorithm, &T::HashSize, &T::SelfCheck,
      []() -> std::unique_ptr<TCryptHash> { return std::make_unique<T>(); }};
  return descriptor;
}

// The descriptor of cipher class T.
template <class T>
const TCryptCipherClass& CryptCipherClassOf() {
  static const TCryptCipherClass descriptor{
      &T::Id, &T::Algorithm, &T::MaxKeySize, &T::SelfCheck,
      []() -> std::unique_ptr<TCryptCipher> { return std::make_unique<T>(); }};
  return descriptor;
}

// Abstract message digest. Its own operations do nothing.
class TCryptHash {
 public:
  TCryptHash() = default;
  TCryptHash(const TCryptHash&) = delete;
  TCryptHash& operator=(const TCryptHash&) = delete;
  // Derived classes wipe their own state in their destructors.
  virtual ~TCryptHash() = default;

  static int Id();
  static std::string Algorithm();
  static int HashSize();
  static bool SelfCheck();
  static const TCryptHashClass& Class() { return CryptHashClassOf<TCryptHash>(); }
  // The class of this object.
  virtual const TCryptHashClass& ClassType() const { return Class(); }

  virtual void StartDigest() {}
  // Writes ClassType().HashSize() / 8 bytes; digest must hold at least that many.
  virtual void FinishDigest(std::span<std::uint8_t> digest);
  virtual void Wipe() {}
  virtual void AddBytes(const void* buffer, std::uint32_t count);
  // The text's bytes, without terminator or length.
  void AddText(std::string_view text);

 protected:
  bool FStarted = false;
};

// Abstract cipher, with the text operations written once on top of EncryptBytes/DecryptBytes.
class TCryptCipher {
 public:
  // Every new cipher starts unkeyed.
  TCryptCipher() = default;
  TCryptCipher(const TCryptCipher&) = delete;
  TCryptCipher& operator=(const TCryptCipher&) = delete;
  // Derived classes wipe their own key material in their destructors.
  virtual ~TCryptCipher() = default;

  static int Id();
  static std::string Algorithm();
  static int MaxKeySize();
  static bool SelfCheck();
  static const TCryptCipherClass& Class() { return CryptCipherClassOf<TCryptCipher>(); }
  virtual const TCryptCipherClass& ClassType() const { return Class(); }

  // The key-size check: wipes a keyed object, then refuses a size of 0, one that is not a
  // multiple of 4 or one above MaxKeySize with ECryptCipher; otherwise the object is keyed.
  // The initialisation vector is part of the interface only and is never read.
  virtual void SetKey(const void* key, std::uint32_t sizeInBits, const void* iv = nullptr);
  virtual void Wipe() { FKeyed = false; }
  virtual void Rewind() {}
  // In and out may be the same buffer.
  virtual void EncryptBytes(const void* in, void* out, std::uint32_t count);
  virtual void DecryptBytes(const void* in, void* out, std::uint32_t count);
  // The ArmouredText: Base64 of EncryptBytes over the text's bytes.
  virtual std::string EncryptText(std::string_view text);
  // Base64-decodes armoured and decrypts the bytes in place.
  virtual std::string DecryptText(std::string_view armoured);

  // Keys the cipher with the digest of the password's bytes under hashClass, or with the
  // digest's leading MaxKeySize bits when it is longer. Any failure becomes ECryptCipher.
  void SetKeyFromPassword(std::string_view password, const TCryptHashClass& hashClass);

  bool Keyed() const { return FKeyed; }

 protected:
  bool FKeyed = false;
};

}  // namespace pennacrow
