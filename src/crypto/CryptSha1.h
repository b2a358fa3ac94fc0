#pragma once
// SHA-1 (FIPS 180-1) in the hash protocol of CryptBase: StartDigest, AddBytes/AddText any number
// of times, FinishDigest once, which writes the 20-byte digest and wipes the object.

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "crypto/CryptBase.h"

namespace pennacrow {

class TCryptSha1 : public TCryptHash {
 public:
  TCryptSha1() { Wipe(); }
  ~TCryptSha1() override;

  static int Id();
  static std::string Algorithm();
  static int HashSize();
  // Known answers: the two messages of FIPS 180-1.
  static bool SelfCheck();
  static const TCryptHashClass& Class() { return CryptHashClassOf<TCryptSha1>(); }
  const TCryptHashClass& ClassType() const override { return Class(); }

  void StartDigest() override;
  // Raises ECryptHash "Hash 未初始化       " unless a digest has been started.
  void FinishDigest(std::span<std::uint8_t> digest) override;
  void Wipe() override;
  // Raises ECryptHash "Hash 未初始化       " unless a digest has been started.
  void AddBytes(const void* buffer, std::uint32_t count) override;

 private:
  void Compress();

  std::uint32_t FBitCountHigh = 0;
  std::uint32_t FBitCountLow = 0;
  std::uint32_t FBlockFill = 0;
  std::array<std::uint32_t, 5> FChain{};
  std::array<std::uint8_t, 64> FBlock{};
};

}  // namespace pennacrow
