#include <gtest/gtest.h>

#include <string>

#include "CryptTestUtil.h"
#include "crypto/CryptRc4.h"
#include "crypto/CryptSha1.h"
#include "crypto/CryptText.h"

namespace pennacrow {
namespace {

using test::FromHex;

// Base64 of textbook RC4 under the given SHA-1 digest: the ArmouredText as stored in pictures.
std::string Armoured(const std::string& sha1Hex, const std::string& text) {
  return test::ReferenceBase64(test::ReferenceRc4(FromHex(sha1Hex), text));
}

TEST(CryptText, EncryptTextIsBase64OfRc4UnderTheSha1Key) {
  const std::string secret = "e5e9fa1ba31ecd1ae84f75caaa474f3a663f05f4";   // SHA-1("secret")
  const std::string empty = "da39a3ee5e6b4b0d3255bfef95601890afd80709";    // SHA-1("")
  const std::string chinese = "8cdbe84e176f93e25a0d05a03f2ac69f213d0ad2";  // "密码", GB18030
  std::string text = "Line one\r\n第二行\r\n";
  for (int k = 0; k < 300; ++k) text += static_cast<char>(k);
  EXPECT_EQ(EncryptTextWithPassword("secret", "Hello"), "KpSPSes=");
  EXPECT_EQ(EncryptTextWithPassword("secret", text), Armoured(secret, text));
  EXPECT_EQ(EncryptTextWithPassword("", text), Armoured(empty, text));
  EXPECT_EQ(EncryptTextWithPassword("\xC3\xDC\xC2\xEB", text), Armoured(chinese, text));

  TCryptRc4 cipher;
  cipher.SetKeyFromPassword("secret", TCryptSha1::Class());
  EXPECT_EQ(cipher.EncryptText(text), Armoured(secret, text));
}

TEST(CryptText, ArmourLengths) {
  EXPECT_EQ(EncryptTextWithPassword("pw", ""), "");
  for (const std::size_t n : {1u, 2u, 3u, 4u}) {
    const std::string armoured = EncryptTextWithPassword("pw", std::string(n, 'x'));
    EXPECT_EQ(armoured.size(), n == 4 ? 8u : 4u);
    const std::size_t pads = armoured.size() - armoured.find_last_not_of('=') - 1;
    EXPECT_EQ(pads, (3 - n % 3) % 3) << n;
  }
}

TEST(CryptText, DecryptInvertsEncrypt) {
  std::string text("zero\0byte\r\nCR LF\rCR\nLF \xFF\xFE", 26);
  for (int k = 0; k < 1000; ++k) text += static_cast<char>(k * 7);
  for (const std::string& t : {std::string(), std::string("a"), std::string("ab"), text}) {
    const std::string armoured = EncryptTextWithPassword("pw", t);
    EXPECT_EQ(armoured, EncryptTextWithPassword("pw", t));  // no random element
    EXPECT_EQ(DecryptTextWithPassword("pw", armoured), t);
    EXPECT_EQ(DecryptTextWithPassword("pw", armoured + "\r\n"), t);
    EXPECT_EQ(DecryptTextWithPassword("pw", armoured + "\r\nx"), t);
    // Four further characters complete a group, which decrypts to further bytes.
    const std::string longer = DecryptTextWithPassword("pw", armoured + "\r\nxy");
    EXPECT_TRUE(longer.size() > t.size() && longer.compare(0, t.size(), t) == 0);
  }
  EXPECT_EQ(DecryptTextWithPassword("pw", "abc"), "");
  // A wrong password is not detected: bytes of the right length, no error.
  const std::string wrong = DecryptTextWithPassword("wp", EncryptTextWithPassword("pw", text));
  EXPECT_EQ(wrong.size(), text.size());
  EXPECT_NE(wrong, text);
}

// Encrypting twice with two passwords is undone by decrypting in the reverse order.
TEST(CryptText, LayersUndoInReverseOrder) {
  const std::string text = "两层加密";
  const std::string twice =
      EncryptTextWithPassword("second", EncryptTextWithPassword("first", text));
  EXPECT_EQ(DecryptTextWithPassword("first", DecryptTextWithPassword("second", twice)), text);
}

}  // namespace
}  // namespace pennacrow
