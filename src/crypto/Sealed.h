#pragma once
// Sealed payloads: a text or a file encrypted and authenticated under a password with
// XChaCha20-Poly1305, its key stretched from the password by Argon2id (libsodium). Unlike the
// ArmouredText, a wrong password or any changed bit is detected, two seals of the same content
// under the same password share nothing but the parameters, and every guess at the password costs
// a whole key derivation.
//
// Payload layout, in bytes:
//   0         version (1)
//   1         Argon2id passes (opslimit)
//   2         Argon2id memory as a power of two: the memory is 2^this bytes (memlimit)
//   3 to 18   salt, random
//   19 to 42  nonce, random
//   43 on     the record, encrypted, then its 16-byte tag; bytes 0 to 42 are authenticated with it
// The record: a kind byte (1 text, 2 file); a file then has a name length byte and its name;
// the content bytes run to the end.
//
// Passwords are UTF-8 in Unicode normalisation form C, so that the same password typed on
// another keyboard or system opens the seal. The core has no Unicode tables: the front ends
// normalise before they call here.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "base/Error.h"
#include "base/Translate.h"

namespace pennacrow {

// The one message for a wrong password or a damaged seal: which of the two it was is exactly
// what we cannot and must not tell.
inline constexpr const char* kMsgSealOpenFailed = N_("密码错误或数据已损坏");

// What both front ends say when a new seal's password will not do.
inline constexpr const char* kMsgSealPasswordsDiffer = N_("两次输入的密码不一致");
inline constexpr const char* kMsgSealPasswordEmpty = N_("密封需要一个密码，不能为空");

// A wrong password, or a seal changed since it was made.
class ESealOpen : public EPennacrowError {
 public:
  ESealOpen() : EPennacrowError(Tr(kMsgSealOpenFailed)) {}
};

// A file name that is not a plain name in the current directory.
class ESealedName : public EPennacrowError {
 public:
  using EPennacrowError::EPennacrowError;
};

enum class TSealedKind : std::uint8_t { Text = 1, File = 2 };

struct TSealedContent {
  TSealedKind Kind = TSealedKind::Text;
  std::string Name;   // a file's base name in UTF-8; empty for a text
  std::string Bytes;  // a text's UTF-8 bytes, or a file's contents
  friend bool operator==(const TSealedContent&, const TSealedContent&) = default;
};

struct TSealParameters {
  std::uint8_t OpsLimit = 0;      // Argon2id passes
  std::uint8_t MemLimitLog2 = 0;  // Argon2id memory: 2^MemLimitLog2 bytes
};

// libsodium's "moderate" limits: 3 passes over 256 MiB. The "interactive" ones (2 passes over
// 64 MiB) take well under a tenth of a second on a current desktop, too cheap a guess.
TSealParameters DefaultSealParameters();
// The cheapest limits Argon2id takes; for tests only, they protect nothing.
TSealParameters MinimumSealParameters();

inline constexpr std::size_t kSealSaltSize = 16;
inline constexpr std::size_t kSealNonceSize = 24;
inline constexpr std::size_t kSealHeaderSize = 3 + kSealSaltSize + kSealNonceSize;
inline constexpr std::size_t kSealTagSize = 16;
// What sealing adds to a text's bytes: the header, the tag and the record's kind byte. A file
// adds one byte more and its name.
inline constexpr std::size_t kSealOverhead = kSealHeaderSize + kSealTagSize + 1;
inline constexpr std::size_t kMaxSealedNameBytes = 255;

// Refuses (ESealedName) an empty name, "." and "..", a name with a slash, backslash or control
// character, one that is not UTF-8, or one longer than 255 bytes: a stored name must never lead
// a reader's file anywhere but into the directory it chose.
void CheckSealedFileName(std::string_view name);

// True when payload could be one SealPayload made: long enough for the header, a tag and a
// record, of this version and with parameters a seal may ask for. Says nothing of the password.
bool LooksLikeSealedPayload(std::string_view payload);

// The record's size once sealed, without sealing: what a picture must hold.
std::size_t SealedSize(const TSealedContent& content);

// Seals content under password with a fresh random salt and nonce. Raises ESealedName for a
// file name that CheckSealedFileName refuses.
std::string SealPayload(std::string_view password, const TSealedContent& content,
                        TSealParameters parameters = DefaultSealParameters());

// Opens a payload of SealPayload. Raises ESealOpen for a wrong password or a damaged payload,
// and ESealedName when the stored name of a file is refused.
TSealedContent OpenSealedPayload(std::string_view password, std::string_view payload);

// The layers under the two calls above, for tests: a record's bytes, and sealing record bytes
// with a given salt and nonce. Never give the same salt and nonce twice for real: the two
// ciphertexts would XOR to the XOR of their records.
std::string EncodeSealedRecord(const TSealedContent& content);
TSealedContent DecodeSealedRecord(std::string_view record);
std::string SealRecordWith(std::string_view password, std::string_view record,
                           TSealParameters parameters,
                           std::span<const std::uint8_t, kSealSaltSize> salt,
                           std::span<const std::uint8_t, kSealNonceSize> nonce);

}  // namespace pennacrow
