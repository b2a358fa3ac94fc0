#include <gtest/gtest.h>

#include <string>

#include "CryptTestUtil.h"
#include "crypto/CryptBase64.h"

namespace pennacrow {
namespace {

TEST(CryptBase64, EncodesAsRfc4648) {
  const char* const cases[][2] = {{"", ""},
                                  {"f", "Zg=="},
                                  {"fo", "Zm8="},
                                  {"foo", "Zm9v"},
                                  {"foob", "Zm9vYg=="},
                                  {"fooba", "Zm9vYmE="},
                                  {"foobar", "Zm9vYmFy"}};
  for (const auto& c : cases) {
    EXPECT_EQ(EncodeBase64String(c[0]), c[1]);
    EXPECT_EQ(DecodeBase64String(c[1]), c[0]);
  }
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(EncodeBase64String(all), test::ReferenceBase64(all));
  EXPECT_EQ(DecodeBase64String(EncodeBase64String(all)), all);
}

TEST(CryptBase64, BufferFunctionsReportTheirCounts) {
  char text[12] = {};
  EXPECT_EQ(EncodeBase64Buffer("abcdefg", text, 7), 12);
  EXPECT_EQ(std::string(text, 12), "YWJjZGVmZw==");
  EXPECT_EQ(EncodeBase64Buffer("abc", text, 0), 0);
  EXPECT_EQ(EncodeBase64Buffer("abc", text, -5), 0);
  char bytes[9] = {};
  EXPECT_EQ(DecodeBase64Buffer("YWJjZGVmZw==", bytes, 12), 7);
  EXPECT_EQ(std::string(bytes, 7), "abcdefg");
  EXPECT_EQ(DecodeBase64Buffer("YWJ", bytes, 3), 0);
  EXPECT_EQ(DecodeBase64Buffer("YWJj", bytes, -1), 0);
}

TEST(CryptBase64, DecoderReadsWholeGroupsOnly) {
  EXPECT_EQ(DecodeBase64String("Zm9v\r\n"), "foo");  // a line break behind the text
  EXPECT_EQ(DecodeBase64String("Zm9vY"), "foo");
  EXPECT_EQ(DecodeBase64String("Zm9vYmF"), "foo");
  EXPECT_EQ(DecodeBase64String("Zm9"), "");
  EXPECT_EQ(DecodeBase64String(""), "");
}

TEST(CryptBase64, PaddingEndsAGroupButNotTheText) {
  EXPECT_EQ(DecodeBase64String("Zg=="), "f");
  EXPECT_EQ(DecodeBase64String("Zg=A"), "f");        // "=" in the third place: one byte
  EXPECT_EQ(DecodeBase64String("Zm8="), "fo");       // "=" only in the fourth: two
  EXPECT_EQ(DecodeBase64String("Zg==Zm8="), "ffo");  // both groups, packed
  EXPECT_EQ(DecodeBase64String("Zm8=Zm9v"), "fofoo");
  // "=" in the first places takes the value 255 in the arithmetic.
  EXPECT_EQ(DecodeBase64String("=AAA"), std::string("\xFC\x00\x00", 3));
}

TEST(CryptBase64, ForeignCharacterKeepsThePlaceValue) {
  // First group: places start at 0. "Zm9v" leaves 25, 38, 61, 47 behind.
  EXPECT_EQ(DecodeBase64String("*m9v"), DecodeBase64String("Am9v"));
  EXPECT_EQ(DecodeBase64String("Zm9v*A\nB"), "foo" + DecodeBase64String("ZA9B"));
  // The groups after the character are not shifted.
  EXPECT_EQ(DecodeBase64String("Z!9vZm9v").substr(3), "foo");
}

}  // namespace
}  // namespace pennacrow
