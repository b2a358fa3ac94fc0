#include "adaptive/KeyedSeal.h"
#include "text/Translate.h"

#include <sodium.h>

#include "codec/SystemRandom.h"

namespace pennacrow::adaptive {

namespace {

constexpr char kSaltLabel[] = "Pennacrow keyed 1 ";
constexpr char kKdfContext[crypto_kdf_CONTEXTBYTES + 1] = "PcKeyed1";
enum TSubkey : std::uint64_t { kOrderKey = 1, kHeaderKey = 2, kPayloadKey = 3 };

static_assert(kKeyedNonceSize == crypto_aead_xchacha20poly1305_ietf_NPUBBYTES);
static_assert(kKeyedNonceSize == crypto_stream_xchacha20_NONCEBYTES);
static_assert(kKeyedTagSize == crypto_aead_xchacha20poly1305_ietf_ABYTES);
static_assert(kKeyedKeySize == crypto_kdf_KEYBYTES);

const unsigned char* Bytes(std::string_view s) {
  return reinterpret_cast<const unsigned char*>(s.data());
}

void PutWord(std::uint8_t* out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t GetWord(const std::uint8_t* in) {
  return std::uint32_t{in[0]} | std::uint32_t{in[1]} << 8 | std::uint32_t{in[2]} << 16 |
         std::uint32_t{in[3]} << 24;
}

// The lengths field XOR the header key's stream: without the key, random bytes.
void MaskLengths(std::uint8_t* lengths, const TKeyedHeader& header, const TKeyedKeys& keys) {
  std::array<std::uint8_t, 8> stream{};
  crypto_stream_xchacha20(stream.data(), stream.size(), header.Nonce.data(), keys.Header().data());
  for (std::size_t i = 0; i < stream.size(); ++i) lengths[i] ^= stream[i];
  sodium_memzero(stream.data(), stream.size());
}

}  // namespace

TSealParameters KeyedSealParameters() {
  return {8, 26};
}

TKeyedKeys::TKeyedKeys(std::string_view password, std::string_view coverLabel,
                       TSealParameters parameters) {
  if (sodium_init() < 0) throw EPennacrowError(Tr("无法初始化加密库"));
  const std::string label = kSaltLabel + std::string(coverLabel);
  std::array<unsigned char, crypto_pwhash_SALTBYTES> salt{};
  crypto_generichash(salt.data(), salt.size(), Bytes(label), label.size(), nullptr, 0);
  std::array<std::uint8_t, kKeyedKeySize> master{};
  if (crypto_pwhash(master.data(), master.size(), password.data(), password.size(), salt.data(),
                    parameters.OpsLimit, std::size_t{1} << parameters.MemLimitLog2,
                    crypto_pwhash_ALG_ARGON2ID13) != 0) {
    throw EPennacrowError(TrF("密钥派生所需的内存不足（%1 MiB）",
                              {std::to_string((std::size_t{1} << parameters.MemLimitLog2) >> 20)}));
  }
  crypto_kdf_derive_from_key(FOrder.data(), FOrder.size(), kOrderKey, kKdfContext, master.data());
  crypto_kdf_derive_from_key(FHeader.data(), FHeader.size(), kHeaderKey, kKdfContext,
                             master.data());
  crypto_kdf_derive_from_key(FPayload.data(), FPayload.size(), kPayloadKey, kKdfContext,
                             master.data());
  sodium_memzero(master.data(), master.size());
}

TKeyedKeys::~TKeyedKeys() {
  sodium_memzero(FOrder.data(), FOrder.size());
  sodium_memzero(FHeader.data(), FHeader.size());
  sodium_memzero(FPayload.data(), FPayload.size());
}

TKeyedHeaderBytes EncodeKeyedHeader(const TKeyedHeader& header, const TKeyedKeys& keys) {
  TKeyedHeaderBytes bytes{};
  std::copy(header.Nonce.begin(), header.Nonce.end(), bytes.begin());
  std::uint8_t* lengths = bytes.data() + kKeyedNonceSize;
  PutWord(lengths, header.CipherBytes);
  PutWord(lengths + 4, header.P2Bits);
  MaskLengths(lengths, header, keys);
  return bytes;
}

TKeyedHeader DecodeKeyedHeader(const TKeyedHeaderBytes& bytes, const TKeyedKeys& keys) {
  TKeyedHeader header;
  std::copy(bytes.begin(), bytes.begin() + kKeyedNonceSize, header.Nonce.begin());
  std::array<std::uint8_t, 8> lengths{};
  std::copy(bytes.begin() + kKeyedNonceSize, bytes.end(), lengths.begin());
  MaskLengths(lengths.data(), header, keys);
  header.CipherBytes = GetWord(lengths.data());
  header.P2Bits = GetWord(lengths.data() + 4);
  return header;
}

TWipedRecord::~TWipedRecord() {
  sodium_memzero(FRecord.data(), FRecord.size());
}

std::array<std::uint8_t, kKeyedNonceSize> NewKeyedNonce() {
  std::array<std::uint8_t, kKeyedNonceSize> nonce{};
  FillFromSystem(nonce.data(), nonce.size());
  return nonce;
}

std::string SealKeyedRecord(std::string_view record, const TKeyedHeaderBytes& headerBytes,
                            const TKeyedHeader& header, const TKeyedKeys& keys) {
  std::string cipher(record.size() + kKeyedTagSize, '\0');
  unsigned long long written = 0;
  crypto_aead_xchacha20poly1305_ietf_encrypt(
      reinterpret_cast<unsigned char*>(cipher.data()), &written, Bytes(record), record.size(),
      headerBytes.data(), headerBytes.size(), nullptr, header.Nonce.data(), keys.Payload().data());
  return cipher;
}

std::string OpenKeyedRecord(std::string_view cipher, const TKeyedHeaderBytes& headerBytes,
                            const TKeyedHeader& header, const TKeyedKeys& keys) {
  if (cipher.size() < kKeyedTagSize) throw ESealOpen();
  std::string record(cipher.size() - kKeyedTagSize, '\0');
  unsigned long long opened = 0;
  if (crypto_aead_xchacha20poly1305_ietf_decrypt(reinterpret_cast<unsigned char*>(record.data()),
                                                 &opened, nullptr, Bytes(cipher), cipher.size(),
                                                 headerBytes.data(), headerBytes.size(),
                                                 header.Nonce.data(), keys.Payload().data()) != 0) {
    throw ESealOpen();
  }
  return record;
}

}  // namespace pennacrow::adaptive
