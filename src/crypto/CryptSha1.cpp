#include "crypto/CryptSha1.h"
#include "base/Translate.h"

#include <cstring>
#include <stdexcept>

#include "crypto/CryptConst.h"

namespace pennacrow {

namespace {

constexpr int kDigestBytes = 20;

std::uint32_t Rol(std::uint32_t x, int n) {
  return (x << n) | (x >> (32 - n));
}

std::uint32_t LoadBigEndian(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         p[3];
}

void StoreBigEndian(std::uint32_t v, std::uint8_t* p) {
  p[0] = static_cast<std::uint8_t>(v >> 24);
  p[1] = static_cast<std::uint8_t>(v >> 16);
  p[2] = static_cast<std::uint8_t>(v >> 8);
  p[3] = static_cast<std::uint8_t>(v);
}

}  // namespace

TCryptSha1::~TCryptSha1() {
  if (FStarted) Wipe();
}

int TCryptSha1::Id() {
  return kCryptIdSha1;
}
std::string TCryptSha1::Algorithm() {
  return "SHA1";
}
int TCryptSha1::HashSize() {
  return 8 * kDigestBytes;
}

bool TCryptSha1::SelfCheck() {
  static const std::uint8_t kAbc[kDigestBytes] = {0xA9, 0x99, 0x3E, 0x36, 0x47, 0x06, 0x81,
                                                  0x6A, 0xBA, 0x3E, 0x25, 0x71, 0x78, 0x50,
                                                  0xC2, 0x6C, 0x9C, 0xD0, 0xD8, 0x9D};
  static const std::uint8_t kLong[kDigestBytes] = {0x84, 0x98, 0x3E, 0x44, 0x1C, 0x3B, 0xD2,
                                                   0x6E, 0xBA, 0xAE, 0x4A, 0xA1, 0xF9, 0x51,
                                                   0x29, 0xE5, 0xE5, 0x46, 0x70, 0xF1};
  TCryptSha1 hash;
  std::array<std::uint8_t, kDigestBytes> digest{};
  hash.StartDigest();
  hash.AddText("abc");
  hash.FinishDigest(digest);
  const bool first = std::memcmp(digest.data(), kAbc, kDigestBytes) == 0;
  hash.StartDigest();
  hash.AddText("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq");
  hash.FinishDigest(digest);
  const bool second = std::memcmp(digest.data(), kLong, kDigestBytes) == 0;
  return first && second;
}

void TCryptSha1::Wipe() {
  FBitCountHigh = 0;
  FBitCountLow = 0;
  FBlockFill = 0;
  SecureFill(FBlock.data(), FBlock.size(), 0);
  SecureFill(FChain.data(), sizeof FChain, 0);
  FStarted = false;
}

void TCryptSha1::StartDigest() {
  Wipe();
  FChain = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
  FStarted = true;
}

void TCryptSha1::AddBytes(const void* buffer, std::uint32_t count) {
  if (!FStarted) throw ECryptHash(Tr(kMsgHashNotStarted));
  if (count == 0) return;
  const std::uint32_t lowBits = count << 3;
  FBitCountHigh += count >> 29;
  FBitCountLow += lowBits;
  if (FBitCountLow < lowBits) ++FBitCountHigh;

  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  std::uint32_t left = count;
  while (left >= 64 - FBlockFill) {
    const std::uint32_t take = 64 - FBlockFill;
    std::memcpy(FBlock.data() + FBlockFill, bytes, take);
    bytes += take;
    left -= take;
    Compress();
  }
  std::memcpy(FBlock.data() + FBlockFill, bytes, left);
  FBlockFill += left;
}

void TCryptSha1::FinishDigest(std::span<std::uint8_t> digest) {
  if (!FStarted) throw ECryptHash(Tr(kMsgHashNotStarted));
  if (digest.size() < kDigestBytes) throw std::length_error("SHA-1 digest buffer too small");
  // Compress leaves the block zeroed, so the bytes behind the padding byte are zero.
  FBlock[FBlockFill] = 0x80;
  if (FBlockFill >= 56) Compress();
  StoreBigEndian(FBitCountHigh, FBlock.data() + 56);
  StoreBigEndian(FBitCountLow, FBlock.data() + 60);
  Compress();
  for (int w = 0; w < 5; ++w) StoreBigEndian(FChain[w], digest.data() + 4 * w);
  Wipe();
}

void TCryptSha1::Compress() {
  std::uint32_t w[80];
  for (int t = 0; t < 16; ++t) w[t] = LoadBigEndian(FBlock.data() + 4 * t);
  for (int t = 16; t < 80; ++t) w[t] = Rol(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);

  std::uint32_t a = FChain[0], b = FChain[1], c = FChain[2], d = FChain[3], e = FChain[4];
  for (int t = 0; t < 80; ++t) {
    std::uint32_t f, k;
    if (t < 20) {
      f = (b & c) | (~b & d);
      k = 0x5A827999;
    } else if (t < 40) {
      f = b ^ c ^ d;
      k = 0x6ED9EBA1;
    } else if (t < 60) {
      f = (b & c) | (b & d) | (c & d);
      k = 0x8F1BBCDC;
    } else {
      f = b ^ c ^ d;
      k = 0xCA62C1D6;
    }
    const std::uint32_t temp = Rol(a, 5) + f + e + k + w[t];
    e = d;
    d = c;
    c = Rol(b, 30);
    b = a;
    a = temp;
  }
  FChain[0] += a;
  FChain[1] += b;
  FChain[2] += c;
  FChain[3] += d;
  FChain[4] += e;

  FBlockFill = 0;
  SecureFill(FBlock.data(), FBlock.size(), 0);
  SecureFill(w, sizeof w, 0);
}

}  // namespace pennacrow
