#include "codec/BinaryUnit.h"

#include <gtest/gtest.h>

namespace pennacrow {
namespace {

TEST(BinaryUnitTest, IntToBinaryKeepsOnlyTheBitsUpToTopBit) {
  EXPECT_EQ(IntToBinary(70000, 15), "0001000101110000");  // 70000 mod 65536 = 4464
  EXPECT_EQ(IntToBinary(1, 7), "00000001");
  EXPECT_EQ(IntToBinary(255, -1), "");
  EXPECT_EQ(IntToBinary(-1, 31), std::string(32, '1'));
  EXPECT_EQ(IntToBinary(1, 33), std::string(33, '0') + "1");
}

TEST(BinaryUnitTest, BinaryToIntReadsMostSignificantFirstAndIgnoresOtherCharacters) {
  const std::pair<const char*, int> cases[] = {
      {"", 0}, {"0011", 3}, {"1x1", 5}, {"11111111111111111", 131071}};
  for (const auto& [bits, value] : cases) EXPECT_EQ(BinaryToInt(bits), value) << bits;
}

TEST(BinaryUnitTest, CharToBinaryAndTextToBinary) {
  EXPECT_EQ(CharToBinary(0), "00000000");
  EXPECT_EQ(CharToBinary(255), "11111111");
  EXPECT_EQ(CharToBinary(176), "10110000");
  EXPECT_EQ(TextToBinary(""), "");
  EXPECT_EQ(TextToBinary("\xD6\xD0").size(), 16u);  // one double-byte character
  // The in-place conversion of a text agrees with the halving conversion of every byte.
  std::string all;
  std::string expected;
  for (int b = 0; b < 256; ++b) {
    all += static_cast<char>(b);
    expected += CharToBinary(static_cast<std::uint8_t>(b));
  }
  EXPECT_EQ(TextToBinary(all), expected);
}

TEST(BinaryUnitTest, BinaryToCharWeightsTrimmingAndErrors) {
  // "2" is 256: only the low 8 bits remain.
  const std::pair<const char*, int> cases[] = {
      {"01000001", 65},   {"101", 160},         {"", 0},  {" 1 ", 128},
      {"111111111", 255}, {"\t\r\n1\x01", 128}, {"2", 0}, {"03", 192}};
  for (const auto& [bits, value] : cases) EXPECT_EQ(BinaryToChar(bits), value) << bits;
  EXPECT_THROW(BinaryToChar("1x"), EConvertError);
  EXPECT_THROW(BinaryToChar("1 0"), EConvertError);   // only outer spaces are trimmed
  EXPECT_THROW(BinaryToChar("\xB0"), EConvertError);  // a high byte is no space
  for (int b = 0; b < 256; ++b) {
    EXPECT_EQ(BinaryToChar(CharToBinary(static_cast<std::uint8_t>(b))), b);
  }
}

TEST(BinaryUnitTest, ReverseAndLowBits) {
  EXPECT_EQ(ReverseString(""), "");
  EXPECT_EQ(ReverseString("0011"), "1100");
  EXPECT_EQ(SetLowBit(53, '0'), 52);
  EXPECT_EQ(SetLowBit(52, '1'), 53);
  EXPECT_EQ(SetLowBit(52, 'x'), 53);
  EXPECT_EQ(SetLowBit(255, '0'), 254);
  EXPECT_EQ(GetLowBit(255), '1');
  EXPECT_EQ(GetLowBit(254), '0');
}

TEST(BinaryUnitTest, BuildBinaryStringLaysOutFormatLengthAndText) {
  EXPECT_EQ(BuildBinaryString("", 1), "00000001" + std::string(16, '0'));
  EXPECT_EQ(BuildBinaryString("A", 2),
            "00000010"
            "0000000000000001"
            "01000001");
  // Only the low 16 bits of the length are stored; every byte is still appended.
  const std::string bits = BuildBinaryString(std::string(65537, 'a'), 1);
  EXPECT_EQ(bits.size(), 24u + 8u * 65537u);
  EXPECT_EQ(bits.substr(8, 16), "0000000000000001");
}

TEST(BinaryUnitTest, BinaryToTextDecodesWhatBuildBinaryStringBuilds) {
  for (const std::string& text :
       {std::string(), std::string("Hello\r\nworld"), std::string("\xC4\xE3\xBA\xC3\x00\xFF", 6)}) {
    EXPECT_EQ(BinaryToText(BuildBinaryString(text, 1)), text);
  }
}

TEST(BinaryUnitTest, BinaryToTextKeepsItsLengthWhenTheBitsRunOut) {
  // Length 2, one whole byte, then "101" of the second and nothing more.
  const std::string bits =
      "00000001"
      "0000000000000010"
      "01000001"
      "101";
  EXPECT_EQ(BinaryToText(bits), std::string("A\xA0"));
  EXPECT_EQ(BinaryToText("00000001"
                         "0000000000000010"),
            std::string(2, '\0'));
  EXPECT_EQ(BinaryToText(""), "");
}

TEST(BinaryUnitTest, BinaryToOldTextReadsLeastSignificantFirst) {
  const std::string bits = std::string(32, '0') + "0100000000000000" + std::string(16, '0') +
                           "10000010"
                           "01000010";
  EXPECT_EQ(BinaryToOldText(bits), "AB");
  EXPECT_EQ(BinaryToOldText(std::string(64, '0')), "");
  // A group cut short is reversed first, then weighted from the top: "01" becomes "10", 128.
  EXPECT_EQ(BinaryToOldText(bits.substr(0, 74)), std::string("A\x80"));
}

}  // namespace
}  // namespace pennacrow
