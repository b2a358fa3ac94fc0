#pragma once
// The cryptography of a keyed container. Nothing of it stands in the clear: a reader can only
// compute where it lies and what it says after one key derivation from the password, so the
// derivation's salt cannot come from the picture's secret part. It is a label every reader
// computes from the cover alone (its kind and size), which lets an attacker precompute guesses
// for all covers of one size; every message therefore draws its own random nonce, from which
// XChaCha20 derives a key of its own.
//
//   master   = Argon2id(password, salt = BLAKE2b-128("Pennacrow keyed 1 " + cover label),
//                       the layout's passes and memory), 32 bytes
//   order    = KDF(master, 1), header key = KDF(master, 2), payload key = KDF(master, 3):
//              libsodium's crypto_kdf_derive_from_key with the context "PcKeyed1"
//   header   = nonce (24 random bytes) + lengths XOR XChaCha20(header key, nonce), 32 bytes;
//              lengths = ciphertext bytes, then first-layer bits, 32-bit little-endian each
//   payload  = XChaCha20-Poly1305(payload key, nonce, associated data = the 32 header bytes)
//              of the record (see crypto/Sealed.h): a kind byte, a file's name, the content
//
// A wrong password gives other keys, so other positions, a random header and a failed tag:
// the reader cannot tell it from a picture without a message, and neither can anyone else.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "crypto/Sealed.h"

namespace pennacrow::adaptive {

inline constexpr std::size_t kKeyedKeySize = 32;
inline constexpr std::size_t kKeyedNonceSize = 24;
inline constexpr std::size_t kKeyedHeaderSize = kKeyedNonceSize + 8;
inline constexpr std::size_t kKeyedTagSize = 16;
// The longest record the layout accepts; the header's lengths can say more, the reader
// refuses it.
inline constexpr std::uint32_t kMaxKeyedRecordBytes = std::uint32_t{1} << 24;

// The key derivation the layout fixes, since nothing in the picture can say it: 8 passes over
// 64 MiB, a quarter of the sealed container's memory, so that hiding in a 12-megapixel
// photograph stays within the bitmap and 128 MiB; a guess takes some 0.4 of the sealed
// container's time (bench/seal_bench).
TSealParameters KeyedSealParameters();

// The three keys of one password and cover, wiped when they go.
class TKeyedKeys {
 public:
  // One Argon2id run. Raises EPennacrowError when it cannot get its memory.
  TKeyedKeys(std::string_view password, std::string_view coverLabel, TSealParameters parameters);
  TKeyedKeys(const TKeyedKeys&) = delete;
  TKeyedKeys& operator=(const TKeyedKeys&) = delete;
  ~TKeyedKeys();

  std::span<const std::uint8_t, kKeyedKeySize> Order() const { return FOrder; }
  std::span<const std::uint8_t, kKeyedKeySize> Header() const { return FHeader; }
  std::span<const std::uint8_t, kKeyedKeySize> Payload() const { return FPayload; }

 private:
  std::array<std::uint8_t, kKeyedKeySize> FOrder{};
  std::array<std::uint8_t, kKeyedKeySize> FHeader{};
  std::array<std::uint8_t, kKeyedKeySize> FPayload{};
};

using TKeyedHeaderBytes = std::array<std::uint8_t, kKeyedHeaderSize>;

struct TKeyedHeader {
  std::array<std::uint8_t, kKeyedNonceSize> Nonce{};
  std::uint32_t CipherBytes = 0;  // the sealed record's length, its tag included
  std::uint32_t P2Bits = 0;       // how many of its bits the first layer carries
};

TKeyedHeaderBytes EncodeKeyedHeader(const TKeyedHeader& header, const TKeyedKeys& keys);
TKeyedHeader DecodeKeyedHeader(const TKeyedHeaderBytes& bytes, const TKeyedKeys& keys);

// A record overwritten when the scope ends, whatever way it ends.
class TWipedRecord {
 public:
  explicit TWipedRecord(std::string record) : FRecord(std::move(record)) {}
  TWipedRecord(const TWipedRecord&) = delete;
  TWipedRecord& operator=(const TWipedRecord&) = delete;
  ~TWipedRecord();
  const std::string& Text() const { return FRecord; }

 private:
  std::string FRecord;
};

// A fresh random nonce.
std::array<std::uint8_t, kKeyedNonceSize> NewKeyedNonce();

// The record encrypted and authenticated with the header (whose nonce it uses) as associated
// data; the result is record.size() + 16 bytes.
std::string SealKeyedRecord(std::string_view record, const TKeyedHeaderBytes& headerBytes,
                            const TKeyedHeader& header, const TKeyedKeys& keys);
// The record back. Raises ESealOpen when the tag does not match.
std::string OpenKeyedRecord(std::string_view cipher, const TKeyedHeaderBytes& headerBytes,
                            const TKeyedHeader& header, const TKeyedKeys& keys);

}  // namespace pennacrow::adaptive
