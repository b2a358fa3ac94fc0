#include "crypto/Sealed.h"

#include <gtest/gtest.h>

#include <array>
#include <numeric>

#include "TestUtil.h"
#include "codec/BinaryUnit.h"
#include "codec/Container.h"
#include "codec/SealedContainer.h"

namespace pennacrow {
namespace {

const TSealParameters kCheap = MinimumSealParameters();

std::string FromHex(std::string_view hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
  }
  return bytes;
}

TSealedContent Text(std::string bytes) {
  return {TSealedKind::Text, "", std::move(bytes)};
}

// The message must be the one text, whatever went wrong.
template <class F>
void ExpectSealOpenFailure(F&& open, const std::string& what) {
  try {
    open();
    ADD_FAILURE() << what << ": opened";
  } catch (const ESealOpen& e) {
    EXPECT_STREQ(e.what(), "密码错误或数据已损坏") << what;
  } catch (const std::exception& e) {
    ADD_FAILURE() << what << ": " << e.what();
  }
}

// Made apart from this code: Argon2id from Python's cryptography package, XChaCha20 from an
// HChaCha20 checked against its published vector, Poly1305 over header and ciphertext.
constexpr const char* kKnownAnswer =
    "01010d000102030405060708090a0b0c0d0e0f202122232425262728292a2b2c2d2e2f3031323334353637"
    "cacf6b5fe091a3191982100e26d0b1f25ea6b1d4cbcab5481d749c7079d607db9a27b882f37f39";
constexpr const char* kKnownPassword = "Pennacrow 密码 😀";
constexpr const char* kKnownText = "密封的文本 sealed";

TEST(SealedTest, KnownAnswerVector) {
  std::array<std::uint8_t, kSealSaltSize> salt;
  std::array<std::uint8_t, kSealNonceSize> nonce;
  std::iota(salt.begin(), salt.end(), 0);
  std::iota(nonce.begin(), nonce.end(), 0x20);
  const std::string record = EncodeSealedRecord(Text(kKnownText));
  EXPECT_EQ(SealRecordWith(kKnownPassword, record, kCheap, salt, nonce), FromHex(kKnownAnswer));
  EXPECT_EQ(OpenSealedPayload(kKnownPassword, FromHex(kKnownAnswer)), Text(kKnownText));
}

TEST(SealedTest, PasswordsMustMatchExactly) {
  const std::string longPassword(10000, 'k');
  struct {
    std::string Right, Wrong;
  } const cases[] = {
      {"pass word", "pass word "},
      {"", "x"},
      {"𝄞🔐😀", "𝄞🔐😁"},      // beyond the basic plane, differing in the last code unit only
      {"é", "e\xCC\x81"},  // composed and decomposed differ: the front ends normalise
      {longPassword, longPassword.substr(0, 9999) + "K"},
  };
  for (const auto& c : cases) {
    const std::string sealed = SealPayload(c.Right, Text("秘密"), kCheap);
    EXPECT_EQ(OpenSealedPayload(c.Right, sealed).Bytes, "秘密") << c.Right.substr(0, 20);
    ExpectSealOpenFailure([&] { OpenSealedPayload(c.Wrong, sealed); }, c.Wrong.substr(0, 20));
  }
}

TEST(SealedTest, TwoSealsShareNothingButTheParameters) {
  const std::string a = SealPayload("pw", Text(std::string(200, 'A')), kCheap);
  const std::string b = SealPayload("pw", Text(std::string(200, 'A')), kCheap);
  ASSERT_EQ(a.size(), b.size());
  EXPECT_EQ(a.substr(0, 3), b.substr(0, 3));
  int equal = 0;
  for (std::size_t i = 3; i < a.size(); ++i) equal += a[i] == b[i];
  // Random salt and nonce: a byte matches by chance one time in 256.
  EXPECT_LE(equal, 8) << "of " << a.size() - 3;
}

TEST(SealedTest, FileNames) {
  const std::string tooLong(256, 'n');
  for (const std::string& hostile :
       {std::string(), std::string("."), std::string(".."), std::string("../x"),
        std::string("/etc/passwd"), std::string("a\\b"), std::string("a\nb"),
        std::string("nul\0x", 5), std::string("del\x7f"), std::string("c1\xC2\x85"),
        std::string("bad\xFF"), std::string("overlong\xC0\xAF"), tooLong}) {
    const TSealedContent content{TSealedKind::File, hostile, "x"};
    EXPECT_THROW(EncodeSealedRecord(content), ESealedName) << hostile;
    // A name that someone holding the password stored anyway is refused on the way in too.
    if (hostile.size() > kMaxSealedNameBytes) continue;
    const std::string record = std::string("\x02", 1) + static_cast<char>(hostile.size()) + hostile;
    const std::array<std::uint8_t, kSealSaltSize> salt{};
    const std::array<std::uint8_t, kSealNonceSize> nonce{};
    const std::string sealed = SealRecordWith("pw", record + "x", kCheap, salt, nonce);
    EXPECT_THROW(OpenSealedPayload("pw", sealed), ESealedName) << hostile;
  }
  std::string bytes(4096, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
  const TSealedContent file{TSealedKind::File, "报告 2026.v2.tar.gz", bytes};
  EXPECT_EQ(OpenSealedPayload("pw", SealPayload("pw", file, kCheap)), file);
}

TEST(SealedTest, DamagedHeadersAreRefusedBeforeTheKeyDerivation) {
  const std::string sealed = SealPayload("pw", Text("t"), kCheap);
  struct {
    const char* What;
    std::size_t At;
    char Value;
  } const cases[] = {
      {"version", 0, 2}, {"no passes", 1, 0}, {"200 passes", 1, char(200)},
      {"4 KiB", 2, 12},  {"2 GiB", 2, 31},    {"2^255 bytes", 2, char(255)},
  };
  for (const auto& c : cases) {
    std::string damaged = sealed;
    damaged[c.At] = c.Value;
    ExpectSealOpenFailure([&] { OpenSealedPayload("pw", damaged); }, c.What);
  }
  for (std::size_t size : {0, 1, 3, 42, 58}) {
    ExpectSealOpenFailure([&] { OpenSealedPayload("pw", sealed.substr(0, size)); },
                          "cut to " + std::to_string(size));
  }
}

TEST(SealedContainerTest, EveryChangedBitIsDetected) {
  TBitmap bitmap = test::PatternBitmap(64, 24, 24, 3);
  HideSealed(bitmap, "pw", Text("x"), kCheap);
  EXPECT_EQ(DetectDataFormat(&bitmap), kFormatSealed);
  EXPECT_EQ(DataFormatText(DetectDataFormat(&bitmap)), "Pennacrow 已密封");
  EXPECT_EQ(OpenSealedPayload("pw", ReadSealedPayload(bitmap)).Bytes, "x");
  const int lastBit = 24 + 8 * int(kSealOverhead + 1);
  // From the length on: 16 length bits, the parameters, salt, nonce, ciphertext and tag.
  for (int p = 8; p < lastBit; ++p) {
    TBitmap damaged = bitmap;
    damaged.RowAt(p / 64)[p % 64] ^= 1u;
    ExpectSealOpenFailure([&] { OpenSealedPayload("pw", ReadSealedPayload(damaged)); },
                          "bit " + std::to_string(p));
  }
}

TEST(SealedContainerTest, CapacityAndFit) {
  EXPECT_EQ(SealedCapacity(100, 50), 625 - 3 - 60);
  EXPECT_EQ(SealedCapacity(4000, 3000), 65535 - 60);
  EXPECT_EQ(SealedCapacity(16, 16), 0);

  const TBitmap original = test::PatternBitmap(100, 50, 24, 9);
  TBitmap bitmap = original;
  const auto room = static_cast<std::size_t>(SealedCapacity(100, 50));
  EXPECT_THROW(HideSealed(bitmap, "pw", Text(std::string(room + 1, 't')), kCheap), ETextDoesNotFit);
  const TSealedContent file{TSealedKind::File, "abc", std::string(room - 3, 'f')};  // one over
  EXPECT_THROW(HideSealed(bitmap, "pw", file, kCheap), ETextDoesNotFit);
  EXPECT_TRUE(std::equal(bitmap.Bits().begin(), bitmap.Bits().end(), original.Bits().begin()));

  HideSealed(bitmap, "pw", Text(std::string(room, 't')), kCheap);
  EXPECT_EQ(OpenSealedPayload("pw", ReadSealedPayload(bitmap)).Bytes.size(), room);
  // A plain container is no sealed one.
  AddBinaryToImage(bitmap, BuildBinaryString("plain", kFormatPlain));
  ExpectSealOpenFailure([&] { ReadSealedPayload(bitmap); }, "format 1");
}

}  // namespace
}  // namespace pennacrow
