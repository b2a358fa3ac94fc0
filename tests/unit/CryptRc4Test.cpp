#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CryptTestUtil.h"
#include "crypto/CryptRc4.h"
#include "crypto/CryptSha1.h"

namespace pennacrow {
namespace {

using test::Bytes;
using test::FromHex;

std::string Encrypt(TCryptRc4& cipher, const std::string& plain) {
  std::string out(plain.size(), '\0');
  cipher.EncryptBytes(plain.data(), out.data(), static_cast<std::uint32_t>(plain.size()));
  return out;
}

std::string EncryptWith(const std::string& key, const std::string& plain) {
  TCryptRc4 cipher;
  cipher.SetKey(key.data(), static_cast<std::uint32_t>(8 * key.size()));
  return Encrypt(cipher, plain);
}

template <class F>
std::string MessageOf(F&& f) {
  try {
    f();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(nothing raised)";
}

// RFC 6229 (key 01 02 03 ..., first 16 keystream bytes) and the widely quoted text vectors.
TEST(CryptRc4, PublishedVectors) {
  const std::string zeros(16, '\0');
  struct TVector {
    int keyBytes;
    const char* keystream;
  };
  for (const TVector v : {TVector{5, "b2396305f03dc027ccc3524a0a1118a8"},
                          TVector{7, "293f02d47f37c9b633f2af5285feb46b"},
                          TVector{8, "97ab8a1bf0afb96132f2f67258da15a8"},
                          TVector{16, "9ac7cc9a609d1ef7b2932899cde41b97"}}) {
    std::string key;
    for (int k = 1; k <= v.keyBytes; ++k) key += static_cast<char>(k);
    EXPECT_EQ(EncryptWith(key, zeros), Bytes(FromHex(v.keystream))) << v.keyBytes;
  }
  EXPECT_EQ(EncryptWith("Key", "Plaintext"), Bytes(FromHex("bbf316e8d940af0ad3")));
  EXPECT_EQ(EncryptWith("Wiki", "pedia"), Bytes(FromHex("1021bf0420")));
  EXPECT_EQ(EncryptWith("Secret", "Attack at dawn"),
            Bytes(FromHex("45a01f645fc35b383552544b9bf5")));
}

TEST(CryptRc4, LongestKeyAndLongTextMatchReference) {
  std::string key, text;
  for (int k = 0; k < 256; ++k) key += static_cast<char>(k * 37 + 11);
  for (int k = 0; k < 5000; ++k) text += static_cast<char>(k * 13);
  EXPECT_EQ(EncryptWith(key, text), test::ReferenceRc4({key.begin(), key.end()}, text));
}

TEST(CryptRc4, EveryCallRestartsTheCounters) {
  const std::string text = "The quick brown fox jumps over the lazy dog";
  TCryptRc4 joined, split;
  joined.SetKey("secret", 48);
  split.SetKey("secret", 48);
  const std::string whole = Encrypt(joined, text + text);
  const std::string first = Encrypt(split, text);
  EXPECT_EQ(first, whole.substr(0, text.size()));
  EXPECT_NE(Encrypt(split, text), whole.substr(text.size()));

  // With Rewind in between, both calls use the keystream from its start.
  split.Rewind();
  EXPECT_EQ(Encrypt(split, text), first);
  // In place, and decryption is the same operation.
  std::string buffer = first;
  split.Rewind();
  split.DecryptBytes(buffer.data(), buffer.data(), static_cast<std::uint32_t>(buffer.size()));
  EXPECT_EQ(buffer, text);
}

TEST(CryptRc4, KeySizes) {
  TCryptRc4 cipher;
  const std::string key(300, 'k');
  for (const std::uint32_t bits : {0u, 4u, 7u, 2049u, 2052u}) {
    EXPECT_EQ(MessageOf([&] { cipher.SetKey(key.data(), bits); }), "无效密钥大小    ") << bits;
    EXPECT_FALSE(cipher.Keyed());
  }
  // A refused key leaves the object unkeyed even when it held a key before.
  cipher.SetKey(key.data(), 2048);
  EXPECT_TRUE(cipher.Keyed());
  EXPECT_THROW(cipher.SetKey(key.data(), 7), ECryptCipher);
  EXPECT_EQ(MessageOf([&] { Encrypt(cipher, "x"); }), "Cipher 未初始化       ");

  // Bits beyond a whole byte are dropped: 12 bits use one byte, 20 bits two.
  const std::string zeros(32, '\0');
  cipher.SetKey("\x5A\xA5\x33", 12);
  EXPECT_EQ(Encrypt(cipher, zeros), EncryptWith("\x5A", zeros));
  cipher.SetKey("\x5A\xA5\x33", 20);
  EXPECT_EQ(Encrypt(cipher, zeros), EncryptWith("\x5A\xA5", zeros));
}

TEST(CryptRc4, WipeForgetsTheKey) {
  TCryptRc4 cipher;
  EXPECT_FALSE(cipher.Keyed());  // a new cipher is unkeyed
  EXPECT_THROW(cipher.EncryptText("abc"), ECryptCipher);
  cipher.SetKeyFromPassword("pw", TCryptSha1::Class());
  EXPECT_NO_THROW(cipher.EncryptText("abc"));
  cipher.Wipe();
  EXPECT_EQ(MessageOf([&] { cipher.EncryptText("abc"); }), "Cipher 未初始化       ");
  EXPECT_EQ(MessageOf([&] { cipher.DecryptText("abcd"); }), "Cipher 未初始化       ");
}

TEST(CryptRc4, ClassAnswers) {
  EXPECT_EQ(TCryptRc4::Id(), 19);
  EXPECT_EQ(TCryptRc4::Algorithm(), "RC4");
  EXPECT_EQ(TCryptRc4::MaxKeySize(), 2048);
  EXPECT_TRUE(TCryptRc4::SelfCheck());
  EXPECT_EQ(TCryptCipher::Id(), -1);
  EXPECT_EQ(TCryptCipher::Algorithm(), "");
  EXPECT_EQ(TCryptCipher::MaxKeySize(), -1);
  EXPECT_FALSE(TCryptCipher::SelfCheck());
  const auto cipher = TCryptRc4::Class().Create();
  EXPECT_EQ(cipher->ClassType().MaxKeySize(), 2048);
  EXPECT_FALSE(cipher->Keyed());
}

// Records the key that SetKeyFromPassword hands to SetKey.
class TSpyRc4 : public TCryptRc4 {
 public:
  void SetKey(const void* key, std::uint32_t sizeInBits, const void* iv = nullptr) override {
    FSizes.push_back(sizeInBits);
    FKey.assign(static_cast<const std::uint8_t*>(key),
                static_cast<const std::uint8_t*>(key) + sizeInBits / 8);
    TCryptRc4::SetKey(key, sizeInBits, iv);
  }
  std::vector<std::uint32_t> FSizes;
  std::vector<std::uint8_t> FKey;
};

// A hash of a chosen size whose digest is its input repeated; it can also fail on demand.
template <int Bits, bool Fails>
class TFakeHash : public TCryptHash {
 public:
  static int Id() { return 99; }
  static std::string Algorithm() { return "FAKE"; }
  static int HashSize() { return Bits; }
  static bool SelfCheck() { return true; }
  const TCryptHashClass& ClassType() const override { return CryptHashClassOf<TFakeHash>(); }
  void StartDigest() override { FData.clear(); }
  void AddBytes(const void* buffer, std::uint32_t count) override {
    if (Fails) throw ECryptHash("Hash 未初始化       ");
    FData.append(static_cast<const char*>(buffer), count);
  }
  void FinishDigest(std::span<std::uint8_t> digest) override {
    for (std::size_t k = 0; k < digest.size(); ++k) digest[k] = FData[k % FData.size()];
  }

 private:
  std::string FData;
};

TEST(CryptRc4, SetKeyFromPassword) {
  TSpyRc4 cipher;
  cipher.SetKeyFromPassword("secret", TCryptSha1::Class());
  EXPECT_EQ(cipher.FSizes, std::vector<std::uint32_t>{160});
  EXPECT_EQ(cipher.FKey, FromHex("e5e9fa1ba31ecd1ae84f75caaa474f3a663f05f4"));

  // A digest longer than the cipher's largest key gives its leading MaxKeySize bits.
  cipher.FSizes.clear();
  cipher.SetKeyFromPassword("abc", CryptHashClassOf<TFakeHash<4096, false>>());
  EXPECT_EQ(cipher.FSizes, std::vector<std::uint32_t>{2048});
  EXPECT_EQ(cipher.FKey.size(), 256u);

  // Errors of the hash and refused key sizes become the keying message; the cipher is unkeyed.
  const std::string failed = "无法为哈希算法分配足够的内存                        ";
  EXPECT_EQ(MessageOf([&] {
              cipher.SetKeyFromPassword("abc", CryptHashClassOf<TFakeHash<160, true>>());
            }),
            failed);
  EXPECT_FALSE(cipher.Keyed());
  cipher.SetKeyFromPassword("abc", TCryptSha1::Class());
  EXPECT_EQ(
      MessageOf([&] { cipher.SetKeyFromPassword("abc", CryptHashClassOf<TFakeHash<4, false>>()); }),
      failed);
  EXPECT_FALSE(cipher.Keyed());
}

}  // namespace
}  // namespace pennacrow
