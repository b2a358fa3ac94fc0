#include <gtest/gtest.h>

#include <array>
#include <string>

#include "CryptTestUtil.h"
#include "crypto/CryptSha1.h"

namespace pennacrow {
namespace {

using test::FromHex;

std::vector<std::uint8_t> Sha1(const std::string& message) {
  TCryptSha1 hash;
  std::vector<std::uint8_t> digest(20);
  hash.StartDigest();
  hash.AddText(message);
  hash.FinishDigest(digest);
  return digest;
}

TEST(CryptSha1, PublishedDigests) {
  EXPECT_EQ(Sha1("abc"), FromHex("a9993e364706816aba3e25717850c26c9cd0d89d"));
  EXPECT_EQ(Sha1("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            FromHex("84983e441c3bd26ebaae4aa1f95129e5e54670f1"));
  EXPECT_EQ(Sha1(""), FromHex("da39a3ee5e6b4b0d3255bfef95601890afd80709"));
  EXPECT_EQ(Sha1(std::string(1000000, 'a')), FromHex("34aa973cd4c4daa4f61eeb2bdbad27316534016f"));
}

// Messages whose padding just fits, just does not fit, or fills whole blocks.
TEST(CryptSha1, PaddingAtBlockBoundaries) {
  EXPECT_EQ(Sha1(std::string(55, 'a')), FromHex("c1c8bbdc22796e28c0e15163d20899b65621d65a"));
  EXPECT_EQ(Sha1(std::string(56, 'a')), FromHex("c2db330f6083854c99d4b5bfb6e8f29f201be699"));
  EXPECT_EQ(Sha1(std::string(63, 'a')), FromHex("03f09f5b158a7a8cdad920bddc29b81c18a551f5"));
  EXPECT_EQ(Sha1(std::string(64, 'a')), FromHex("0098ba824b5c16427bd7a1122a5a442a25ec644d"));
  EXPECT_EQ(Sha1(std::string(119, 'a')), FromHex("ee971065aaa017e0632a8ca6c77bb3bf8b1dfc56"));
}

TEST(CryptSha1, PiecesGiveTheDigestOfTheWhole) {
  const std::string whole(1000000, 'a');
  TCryptSha1 hash;
  std::vector<std::uint8_t> digest(20);
  hash.StartDigest();
  std::size_t done = 0;
  for (std::size_t step = 0; done < whole.size(); step = (step * 7 + 13) % 150) {
    const std::size_t n = std::min(step, whole.size() - done);
    hash.AddBytes(whole.data() + done, static_cast<std::uint32_t>(n));  // zero counts included
    done += n;
  }
  hash.FinishDigest(digest);
  EXPECT_EQ(digest, FromHex("34aa973cd4c4daa4f61eeb2bdbad27316534016f"));
}

TEST(CryptSha1, StartFinishProtocol) {
  TCryptSha1 hash;
  std::vector<std::uint8_t> digest(20);
  EXPECT_THROW(hash.AddText("x"), ECryptHash);
  try {
    hash.FinishDigest(digest);
    FAIL();
  } catch (const ECryptHash& e) {
    EXPECT_STREQ(e.what(), "Hash 未初始化       ");
  }
  // FinishDigest wipes: a further digest needs a further StartDigest.
  hash.StartDigest();
  hash.AddText("abc");
  hash.FinishDigest(digest);
  EXPECT_THROW(hash.AddText("abc"), ECryptHash);
  // StartDigest in the started state begins again from nothing; Wipe stops the digest.
  hash.StartDigest();
  hash.AddText("garbage");
  hash.StartDigest();
  hash.AddText("abc");
  hash.FinishDigest(digest);
  EXPECT_EQ(digest, FromHex("a9993e364706816aba3e25717850c26c9cd0d89d"));
  hash.StartDigest();
  hash.Wipe();
  EXPECT_THROW(hash.FinishDigest(digest), ECryptHash);
}

TEST(CryptSha1, ClassAnswers) {
  EXPECT_EQ(TCryptSha1::Id(), 2);
  EXPECT_EQ(TCryptSha1::Algorithm(), "SHA1");
  EXPECT_EQ(TCryptSha1::HashSize(), 160);
  EXPECT_TRUE(TCryptSha1::SelfCheck());
  EXPECT_EQ(TCryptHash::Id(), -1);
  EXPECT_EQ(TCryptHash::Algorithm(), "");
  EXPECT_EQ(TCryptHash::HashSize(), -1);
  EXPECT_FALSE(TCryptHash::SelfCheck());
  // A caller holding only the class asks it and constructs an object of it.
  const TCryptHashClass& cls = TCryptSha1::Class();
  EXPECT_EQ(cls.HashSize(), 160);
  const auto hash = cls.Create();
  EXPECT_EQ(hash->ClassType().Algorithm(), "SHA1");
  std::vector<std::uint8_t> digest(20);
  hash->StartDigest();
  hash->AddText("abc");
  hash->FinishDigest(digest);
  EXPECT_EQ(digest, FromHex("a9993e364706816aba3e25717850c26c9cd0d89d"));
}

}  // namespace
}  // namespace pennacrow
