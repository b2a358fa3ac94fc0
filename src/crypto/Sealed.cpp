#include "crypto/Sealed.h"
#include "base/Translate.h"

#include <sodium.h>

#include <array>

namespace pennacrow {

namespace {

constexpr std::uint8_t kSealVersion = 1;
constexpr std::size_t kKeySize = crypto_aead_xchacha20poly1305_ietf_KEYBYTES;
constexpr std::size_t kOpsOffset = 1;
constexpr std::size_t kMemOffset = 2;
constexpr std::size_t kSaltOffset = 3;
constexpr std::size_t kNonceOffset = kSaltOffset + kSealSaltSize;

static_assert(kSealSaltSize == crypto_pwhash_SALTBYTES);
static_assert(kSealNonceSize == crypto_aead_xchacha20poly1305_ietf_NPUBBYTES);
static_assert(kSealTagSize == crypto_aead_xchacha20poly1305_ietf_ABYTES);
static_assert(std::size_t{1} << 28 == crypto_pwhash_MEMLIMIT_MODERATE);

// What a stored header may ask of us. The upper bounds keep libsodium's "sensitive" limits
// (4 passes over 1 GiB) readable while a damaged header cannot make us allocate more than 1 GiB
// or spend minutes before the tag check refuses it.
constexpr unsigned kMinOps = crypto_pwhash_OPSLIMIT_MIN;
constexpr unsigned kMaxOps = 16;
constexpr unsigned kMinMemLog2 = 13;  // 8 KiB, crypto_pwhash_MEMLIMIT_MIN
constexpr unsigned kMaxMemLog2 = 30;
static_assert(std::size_t{1} << kMinMemLog2 == crypto_pwhash_MEMLIMIT_MIN);

bool AcceptableParameters(TSealParameters p) {
  return p.OpsLimit >= kMinOps && p.OpsLimit <= kMaxOps && p.MemLimitLog2 >= kMinMemLog2 &&
         p.MemLimitLog2 <= kMaxMemLog2;
}

void RequireSodium() {
  static const bool ready = sodium_init() >= 0;
  if (!ready) throw EPennacrowError(Tr("无法初始化加密库"));
}

// Overwrites the bytes of a string that held a secret when the scope ends.
class TWipeOnExit {
 public:
  explicit TWipeOnExit(std::string& s) : FText(s) {}
  TWipeOnExit(const TWipeOnExit&) = delete;
  TWipeOnExit& operator=(const TWipeOnExit&) = delete;
  ~TWipeOnExit() { sodium_memzero(FText.data(), FText.size()); }

 private:
  std::string& FText;
};

// The key, wiped when it goes out of scope.
class TSealKey {
 public:
  TSealKey(std::string_view password, std::span<const std::uint8_t, kSealSaltSize> salt,
           TSealParameters p) {
    if (crypto_pwhash(FKey.data(), FKey.size(), password.data(), password.size(), salt.data(),
                      p.OpsLimit, std::size_t{1} << p.MemLimitLog2,
                      crypto_pwhash_ALG_ARGON2ID13) != 0) {
      // The parameters were checked, so this is the memory Argon2id could not get.
      throw EPennacrowError(TrF("密钥派生所需的内存不足（%1 MiB）",
                                {std::to_string((std::size_t{1} << p.MemLimitLog2) >> 20)}));
    }
  }
  TSealKey(const TSealKey&) = delete;
  TSealKey& operator=(const TSealKey&) = delete;
  ~TSealKey() { sodium_memzero(FKey.data(), FKey.size()); }
  const unsigned char* Data() const { return FKey.data(); }

 private:
  std::array<unsigned char, kKeySize> FKey{};
};

const unsigned char* Bytes(std::string_view s) {
  return reinterpret_cast<const unsigned char*>(s.data());
}

// Strict UTF-8 (no overlong forms, surrogates or values past U+10FFFF); every character below
// U+0020, U+007F to U+009F counts as a control character and refuses the name.
bool PlainUtf8WithoutControls(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto lead = static_cast<unsigned char>(s[i]);
    std::size_t extra = 0;
    char32_t c = lead;
    if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3, c = lead & 0x07u;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2, c = lead & 0x0Fu;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1, c = lead & 0x1Fu;
    } else if (lead >= 0x80) {
      return false;
    }
    if (s.size() - i <= extra) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(s[i + k]);
      if ((next & 0xC0u) != 0x80u) return false;
      c = (c << 6) | (next & 0x3Fu);
    }
    const char32_t smallest[] = {0, 0x80, 0x800, 0x10000};
    if (c < smallest[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return false;
    i += extra + 1;
  }
  return true;
}

}  // namespace

TSealParameters DefaultSealParameters() {
  // About 0.4 s on a current desktop core; bench/seal_bench measures it.
  return {crypto_pwhash_OPSLIMIT_MODERATE, 28};
}

TSealParameters MinimumSealParameters() {
  return {kMinOps, kMinMemLog2};
}

void CheckSealedFileName(std::string_view name) {
  const std::string shown(name.substr(0, 64));
  if (name.empty() || name == "." || name == "..") {
    throw ESealedName(TrF("文件名“%1”不能用作密封文件的名字", {shown}));
  }
  if (name.size() > kMaxSealedNameBytes) {
    throw ESealedName(Tr("密封文件的名字太长：最多 255 字节"));
  }
  if (name.find_first_of("/\\") != std::string_view::npos || !PlainUtf8WithoutControls(name)) {
    throw ESealedName(Tr("密封文件的名字不能含有目录、斜杠或控制字符"));
  }
}

std::string EncodeSealedRecord(const TSealedContent& content) {
  std::string record(1, static_cast<char>(content.Kind));
  if (content.Kind == TSealedKind::File) {
    CheckSealedFileName(content.Name);
    record += static_cast<char>(content.Name.size());
    record += content.Name;
  } else if (content.Kind != TSealedKind::Text) {
    throw EPennacrowError(Tr("未知的密封内容类型"));
  }
  record += content.Bytes;
  return record;
}

TSealedContent DecodeSealedRecord(std::string_view record) {
  TSealedContent content;
  if (record.empty()) throw ESealOpen();
  content.Kind = static_cast<TSealedKind>(record[0]);
  std::size_t at = 1;
  if (content.Kind == TSealedKind::File) {
    if (record.size() < 2) throw ESealOpen();
    const auto nameSize = static_cast<unsigned char>(record[1]);
    if (record.size() - 2 < nameSize) throw ESealOpen();
    content.Name.assign(record.substr(2, nameSize));
    CheckSealedFileName(content.Name);
    at = 2 + nameSize;
  } else if (content.Kind != TSealedKind::Text) {
    // Authentic but of a kind this release does not know: written by a newer one.
    throw EPennacrowError(Tr("密封内容的类型未知，请用更新的版本读取"));
  }
  content.Bytes.assign(record.substr(at));
  return content;
}

std::size_t SealedSize(const TSealedContent& content) {
  const std::size_t name = content.Kind == TSealedKind::File ? 1 + content.Name.size() : 0;
  return kSealOverhead + name + content.Bytes.size();
}

std::string SealRecordWith(std::string_view password, std::string_view record,
                           TSealParameters parameters,
                           std::span<const std::uint8_t, kSealSaltSize> salt,
                           std::span<const std::uint8_t, kSealNonceSize> nonce) {
  RequireSodium();
  if (!AcceptableParameters(parameters)) throw EPennacrowError(Tr("密钥派生参数超出范围"));
  std::string sealed(kSealHeaderSize + record.size() + kSealTagSize, '\0');
  auto* out = reinterpret_cast<unsigned char*>(sealed.data());
  out[0] = kSealVersion;
  out[kOpsOffset] = parameters.OpsLimit;
  out[kMemOffset] = parameters.MemLimitLog2;
  std::copy(salt.begin(), salt.end(), out + kSaltOffset);
  std::copy(nonce.begin(), nonce.end(), out + kNonceOffset);

  const TSealKey key(password, salt, parameters);
  unsigned long long written = 0;
  crypto_aead_xchacha20poly1305_ietf_encrypt(out + kSealHeaderSize, &written, Bytes(record),
                                             record.size(), out, kSealHeaderSize, nullptr,
                                             out + kNonceOffset, key.Data());
  return sealed;
}

std::string SealPayload(std::string_view password, const TSealedContent& content,
                        TSealParameters parameters) {
  RequireSodium();
  std::string record = EncodeSealedRecord(content);
  const TWipeOnExit wipeRecord(record);
  std::array<std::uint8_t, kSealSaltSize> salt;
  std::array<std::uint8_t, kSealNonceSize> nonce;
  randombytes_buf(salt.data(), salt.size());
  randombytes_buf(nonce.data(), nonce.size());
  return SealRecordWith(password, record, parameters, salt, nonce);
}

bool LooksLikeSealedPayload(std::string_view payload) {
  if (payload.size() < kSealHeaderSize + kSealTagSize + 1) return false;
  const unsigned char* in = Bytes(payload);
  return in[0] == kSealVersion && AcceptableParameters({in[kOpsOffset], in[kMemOffset]});
}

TSealedContent OpenSealedPayload(std::string_view password, std::string_view payload) {
  RequireSodium();
  // Refused before Argon2id runs: a damaged header must not make us allocate gigabytes.
  if (!LooksLikeSealedPayload(payload)) throw ESealOpen();
  const unsigned char* in = Bytes(payload);
  const TSealParameters parameters{in[kOpsOffset], in[kMemOffset]};

  const TSealKey key(password,
                     std::span<const std::uint8_t, kSealSaltSize>(in + kSaltOffset, kSealSaltSize),
                     parameters);
  const std::size_t cipherSize = payload.size() - kSealHeaderSize;
  std::string record(cipherSize - kSealTagSize, '\0');
  const TWipeOnExit wipeRecord(record);
  unsigned long long opened = 0;
  if (crypto_aead_xchacha20poly1305_ietf_decrypt(
          reinterpret_cast<unsigned char*>(record.data()), &opened, nullptr, in + kSealHeaderSize,
          cipherSize, in, kSealHeaderSize, in + kNonceOffset, key.Data()) != 0) {
    throw ESealOpen();
  }
  return DecodeSealedRecord(record);
}

}  // namespace pennacrow
