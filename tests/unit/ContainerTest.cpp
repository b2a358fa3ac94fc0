#include "codec/Container.h"

#include <gtest/gtest.h>

#include <vector>

#include "TestUtil.h"
#include "codec/BinaryUnit.h"

namespace pennacrow {
namespace {

using test::PatternBitmap;
using test::VersionOneBits;

// Low bits of the carrier positions from start on, set the slow way, one SetLowBit at a time.
void PutBits(TBitmap& bitmap, int start, const std::string& bits) {
  for (std::size_t i = 0; i < bits.size(); ++i) {
    const int p = start + static_cast<int>(i);
    std::uint8_t* row = bitmap.RowAt(p / bitmap.Width());
    row[p % bitmap.Width()] = SetLowBit(row[p % bitmap.Width()], bits[i]);
  }
}

// The first count carrier bits, whole rows at a time, as the earlier release collected them.
std::string CollectBits(const TBitmap& bitmap, std::size_t count) {
  std::string bits;
  for (int r = 0; bits.size() < count; ++r) {
    const std::uint8_t* row = bitmap.ConstRowAt(r);
    for (int c = 0; c < bitmap.Width(); ++c) bits += GetLowBit(row[c]);
  }
  return bits;
}

std::vector<std::uint8_t> BytesOf(const TBitmap& bitmap) {
  return {bitmap.Bits().begin(), bitmap.Bits().end()};
}

std::string ReadBack(const TBitmap& bitmap, std::uint8_t& format) {
  return RemoveBinaryFromImage(bitmap, format);
}

TEST(ContainerTest, StatusTexts) {
  EXPECT_EQ(DataFormatText(1), "Pennacrow Ver 2.0，未加密        ");
  EXPECT_EQ(DataFormatText(2), "Pennacrow Ver 2.0，已加密    ");
  EXPECT_EQ(DataFormatText(3), "Pennacrow Ver 1.x");
  EXPECT_EQ(DataFormatText(0), "无隐藏数据或格式未知   ");
  EXPECT_EQ(DataFormatText(4), "Pennacrow 已密封");
  EXPECT_EQ(DataFormatText(5), "无隐藏数据或格式未知   ");
  EXPECT_EQ(DataFormatText(255), "无隐藏数据或格式未知   ");
  EXPECT_EQ(CapacityText(100, 50), "数据大小：  625");
  EXPECT_EQ(CapacityText(0, 0), "数据大小：  0");
  EXPECT_EQ(Capacity(3, 5), 1);
  EXPECT_EQ(Capacity(16384, 16384), 33554432);
}

TEST(ContainerTest, WriteThenReadAcrossDepthsAndWidths) {
  const std::vector<std::string> texts = {"Hello, Pennacrow", "", "line one\r\nline two\r\n",
                                          "\xC4\xE3\xBA\xC3\xA3\xAC\xCA\xC0\xBD\xE7"
                                          "\x81\x30\x89\x38"};  // GB18030, 4-byte too
  for (const int depth : {24, 32, 8, 16}) {
    for (const int width : {64, 10, 7}) {
      for (const std::string& text : texts) {
        SCOPED_TRACE("depth " + std::to_string(depth) + ", width " + std::to_string(width) +
                     ", text of " + std::to_string(text.size()) + " bytes");
        TBitmap bitmap = PatternBitmap(width, 40, depth, 7);
        AddBinaryToImage(bitmap, BuildBinaryString(text, kFormatPlain));
        EXPECT_EQ(bitmap.BitsPerPixel(), depth);
        // An empty text is written as always, but holds nothing to report.
        EXPECT_EQ(DetectDataFormat(&bitmap), text.empty() ? 0 : kFormatPlain);
        std::uint8_t format = 0;
        EXPECT_EQ(ReadBack(bitmap, format), text);
        EXPECT_EQ(format, kFormatPlain);
      }
    }
  }
}

TEST(ContainerTest, OnlyTheContainersLowBitsChange) {
  for (const int width : {40, 10}) {
    TBitmap bitmap = PatternBitmap(width, 12, 24, 3);
    const std::vector<std::uint8_t> before = BytesOf(bitmap);
    const std::string bits = BuildBinaryString("A", kFormatPlain);
    AddBinaryToImage(bitmap, bits);
    const std::vector<std::uint8_t> after = BytesOf(bitmap);
    for (int r = 0; r < bitmap.Height(); ++r) {
      for (std::size_t c = 0; c < bitmap.RowLength(); ++c) {
        const std::size_t i = static_cast<std::size_t>(r) * bitmap.RowLength() + c;
        const std::size_t p = static_cast<std::size_t>(r) * static_cast<std::size_t>(width) + c;
        if (c < static_cast<std::size_t>(width) && p < bits.size()) {
          EXPECT_EQ(after[i], SetLowBit(before[i], bits[p])) << "row " << r << " byte " << c;
        } else {
          EXPECT_EQ(after[i], before[i]) << "row " << r << " byte " << c;
        }
      }
    }
    EXPECT_EQ(CollectBits(bitmap, 32).substr(0, 32),
              "00000001"
              "0000000000000001"
              "01000001");
  }
}

TEST(ContainerTest, FastWriteAndReadMatchTheBitStringRoute) {
  // A random picture holds a random "container" in its low bits; the readers must decode it
  // exactly as the bit-string decoders do on the collected bits.
  for (const std::uint32_t seed : {1u, 2u, 3u}) {
    const TBitmap bitmap = PatternBitmap(1000, 600, 24, seed);
    std::uint8_t format = 0;
    const std::string text = RemoveBinaryFromImage(bitmap, format);
    const std::size_t length = static_cast<std::size_t>(GetDataLength(bitmap));
    const std::string bits = CollectBits(bitmap, 8 * (length + 3));
    EXPECT_EQ(text, BinaryToText(bits));
    EXPECT_EQ(format, BinaryToInt(bits.substr(0, 8)));
    const std::string oldText = RemoveBinaryFromOldImage(bitmap, format);
    const std::size_t oldLength = static_cast<std::size_t>(GetOldDataLength(bitmap)) / 2;
    EXPECT_EQ(oldText, BinaryToOldText(CollectBits(bitmap, 64 + 8 * oldLength)));
    EXPECT_EQ(format, kFormatVersion1);

    // And the writer leaves the same bytes as SetLowBit applied bit by bit.
    TBitmap fast = PatternBitmap(333, 200, 24, seed);
    TBitmap slow = fast;
    const std::string container = BuildBinaryString(text.substr(0, 8000), 2);
    AddBinaryToImage(fast, container);
    PutBits(slow, 0, container);
    EXPECT_EQ(BytesOf(fast), BytesOf(slow));
  }
}

TEST(ContainerTest, ProbeCases) {
  TBitmap bitmap = PatternBitmap(64, 2, 24, 5);
  PutBits(bitmap, 0, std::string(48, '0'));
  EXPECT_EQ(DetectDataFormat(&bitmap), 0);
  EXPECT_EQ(DataFormatText(DetectDataFormat(&bitmap)), "无隐藏数据或格式未知   ");

  PutBits(bitmap, 0, "11111111");
  EXPECT_EQ(DetectDataFormat(&bitmap), 255);
  PutBits(bitmap, 0, "00000111");  // no container code: the byte as it stands
  EXPECT_EQ(DetectDataFormat(&bitmap), 7);

  PutBits(bitmap, 8, "0000000000000001");
  EXPECT_EQ(GetDataLength(bitmap), 1);
  PutBits(bitmap, 31, "01" + std::string(15, '0'));
  EXPECT_EQ(GetOldDataLength(bitmap), 2);

  EXPECT_EQ(DetectDataFormat(nullptr), 255);
  const TBitmap empty;
  EXPECT_EQ(DetectDataFormat(&empty), 255);
}

// A header is reported as a container only when what it announces is what a writer leaves.
TEST(ContainerTest, OnlyPlausibleContainersAreFound) {
  const std::string seal = std::string("\x01\x02\x0D", 3) + std::string(60, '\xFF');
  struct TCase {
    const char* Name;
    std::string Bits;
    std::uint8_t Format;  // what the probe reports
    TContainerState State;
  };
  using enum TContainerState;
  const TCase cases[] = {
      {"plain text", BuildBinaryString("hello", kFormatPlain), kFormatPlain, Found},
      {"code page 936 euro", BuildBinaryString("5\x80", kFormatPlain), kFormatPlain, Found},
      {"empty plain", BuildBinaryString("", kFormatPlain), 0, None},
      {"control characters only", BuildBinaryString("\x11\x10\x01", kFormatPlain), 0, None},
      {"not the code page", BuildBinaryString("ab\xFF", kFormatPlain), 0, None},
      {"Base64", BuildBinaryString("QUJD", kFormatEncrypted), kFormatEncrypted, Found},
      {"not Base64", BuildBinaryString("QUJ", kFormatEncrypted), 0, None},
      {"empty encrypted", BuildBinaryString("", kFormatEncrypted), 0, None},
      {"sealed", BuildBinaryString(seal, kFormatSealed), kFormatSealed, Found},
      {"seal of another version", BuildBinaryString("\x02" + seal.substr(1), kFormatSealed), 0,
       None},
      {"seal asking 2^31 bytes", BuildBinaryString(seal.substr(0, 2) + "\x1F" + seal.substr(3), 4),
       0, None},
      {"seal too short", BuildBinaryString(seal.substr(0, 59), kFormatSealed), 0, None},
      {"seal under a plain byte", BuildBinaryString(seal, kFormatPlain), 0, Damaged},
      {"seal under an encrypted byte", BuildBinaryString(seal, kFormatEncrypted), 0, Damaged},
      {"version 1", VersionOneBits("AB"), kFormatVersion1, Found},
      {"version 1 of length 0", std::string(31, '0') + "1", 0, None},
      {"version 1 byte, length 0", "00000011" + std::string(40, '0'), 0, None},
      {"length beyond the picture", "00000001" + std::string(16, '1'), 0, None},
  };
  for (const TCase& c : cases) {
    TBitmap bitmap = PatternBitmap(64, 20, 24, 5);
    PutBits(bitmap, 0, std::string(48, '0'));
    PutBits(bitmap, 0, c.Bits);
    TBitmapRows rows(bitmap);
    const TContainerProbe probe = ProbeContainer(rows);
    EXPECT_EQ(probe.Format, c.Format) << c.Name;
    EXPECT_EQ(probe.State, c.State) << c.Name;
    EXPECT_EQ(DetectDataFormat(&bitmap), c.Format) << c.Name;
    EXPECT_EQ(FindHiddenText(bitmap).has_value(), c.State == Found) << c.Name;
    if (c.State == Damaged) {
      EXPECT_THROW(ReadHiddenText(bitmap), EDamagedContainer) << c.Name;
    } else if (c.State == None) {
      EXPECT_THROW(ReadHiddenText(bitmap), ENoHiddenText) << c.Name;
    }
  }
}

TEST(ContainerTest, NarrowPicturesProbeTheWritersPositions) {
  // 10 pixels wide: the format byte spans rows 0 and 1, the length rows 0 to 2.
  TBitmap bitmap = PatternBitmap(10, 30, 24, 9);
  AddBinaryToImage(bitmap, BuildBinaryString(std::string(8, 'z'), kFormatEncrypted));
  EXPECT_EQ(CollectBits(bitmap, 10).substr(0, 10), "0000001000");
  EXPECT_EQ(GetDataFormat(bitmap), kFormatEncrypted);
  EXPECT_EQ(GetDataLength(bitmap), 8);
  EXPECT_EQ(DetectDataFormat(&bitmap), kFormatEncrypted);

  // Too few carrier bits for a field: that probe reports nothing, and nothing outside a row is
  // read (a 2 x 3 picture of 8 bits has rows of 4 bytes).
  TBitmap tiny = PatternBitmap(2, 3, 8, 1);
  EXPECT_EQ(GetDataFormat(tiny), 0);
  EXPECT_EQ(DetectDataFormat(&tiny), 0);
  TBitmap small = PatternBitmap(4, 10, 24, 1);  // 40 bits: no room for the old length
  PutBits(small, 0, std::string(40, '1'));
  EXPECT_EQ(GetDataLength(small), 65535);
  EXPECT_EQ(GetOldDataLength(small), 0);
}

TEST(ContainerTest, BitmapsBelowEightBitsPerPixel) {
  for (const int depth : {1, 4}) {
    TBitmap bitmap = PatternBitmap(50, 20, depth, 4);
    EXPECT_EQ(DetectDataFormat(&bitmap), 0);
    std::uint8_t format = 9;
    EXPECT_THROW(ReadBack(bitmap, format), EPennacrowError);
    EXPECT_THROW(RemoveBinaryFromOldImage(bitmap, format), EPennacrowError);

    AddBinaryToImage(bitmap, BuildBinaryString("low depth", kFormatPlain));
    EXPECT_EQ(bitmap.BitsPerPixel(), 24);
    EXPECT_EQ(ReadBack(bitmap, format), "low depth");
  }
}

TEST(ContainerTest, VersionOneContainer) {
  const std::string ab = std::string(32, '0') + "0100000000000000" + std::string(16, '0') +
                         "10000010"
                         "01000010";
  for (const int width : {100, 10}) {
    TBitmap bitmap = PatternBitmap(width, 12, 24, 6);
    PutBits(bitmap, 0, ab);
    EXPECT_EQ(DetectDataFormat(&bitmap), kFormatVersion1);
    std::uint8_t format = 0;
    EXPECT_EQ(RemoveBinaryFromOldImage(bitmap, format), "AB");
    EXPECT_EQ(format, kFormatVersion1);
  }
  // One byte of text in a picture whose first rows end before position 72: the earlier reader
  // collected only 64 bits here and decoded the byte from a cut group.
  TBitmap narrow = PatternBitmap(10, 8, 24, 6);
  PutBits(narrow, 0, std::string(32, '0') + "1" + std::string(31, '0') + "10000010");
  std::uint8_t format = 0;
  EXPECT_EQ(RemoveBinaryFromOldImage(narrow, format), "A");
}

TEST(ContainerTest, TextsThatDoNotFitLeaveThePictureUntouched) {
  TBitmap bitmap = PatternBitmap(32, 8, 24, 8);  // 256 bits; 40 bytes need 344
  const std::vector<std::uint8_t> before = BytesOf(bitmap);
  try {
    AddBinaryToImage(bitmap, BuildBinaryString(std::string(40, 'q'), kFormatPlain));
    FAIL() << "a 40-byte text fitted 256 bits";
  } catch (const ETextDoesNotFit& e) {
    EXPECT_NE(std::string(e.what()).find("29"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("40"), std::string::npos) << e.what();
  }
  EXPECT_EQ(BytesOf(bitmap), before);
  AddBinaryToImage(bitmap, BuildBinaryString(std::string(29, 'q'), kFormatPlain));
  std::uint8_t format = 0;
  EXPECT_EQ(ReadBack(bitmap, format), std::string(29, 'q'));

  // 65,536 bytes would be stored with length 0; 65,535 is the longest text.
  TBitmap large = PatternBitmap(1000, 600, 24, 8);
  const std::vector<std::uint8_t> largeBefore = BytesOf(large);
  EXPECT_THROW(AddBinaryToImage(large, BuildBinaryString(std::string(65536, 'w'), 1)),
               ETextDoesNotFit);
  EXPECT_EQ(BytesOf(large), largeBefore);
  const std::string longest(65535, 'w');
  AddBinaryToImage(large, BuildBinaryString(longest, 1));
  EXPECT_EQ(ReadBack(large, format), longest);

  // A 1-bit bitmap that is refused is not converted either.
  TBitmap mono = PatternBitmap(8, 3, 1, 2);  // 24 bits; "x" needs 32
  EXPECT_THROW(AddBinaryToImage(mono, BuildBinaryString("x", 1)), ETextDoesNotFit);
  EXPECT_EQ(mono.BitsPerPixel(), 1);

  TBitmap empty;
  EXPECT_THROW(AddBinaryToImage(empty, BuildBinaryString("", 1)), ETextDoesNotFit);
  AddBinaryToImage(bitmap, "");  // nothing to write
}

TEST(ContainerTest, ALengthBeyondThePictureFailsToRead) {
  TBitmap bitmap = PatternBitmap(32, 8, 24, 11);
  PutBits(bitmap, 0, "00000001" + IntToBinary(1000, 15));
  std::uint8_t format = 0;
  EXPECT_THROW(ReadBack(bitmap, format), EPennacrowError);
  EXPECT_EQ(format, kFormatPlain);
  // The version 1 reader refuses a length beyond the picture as well.
  PutBits(bitmap, 0, std::string(32, '0') + ReverseString(IntToBinary(1000, 15)));
  EXPECT_THROW(RemoveBinaryFromOldImage(bitmap, format), EPennacrowError);
}

TEST(ContainerTest, ChanceVersionOneHitsAreNoContainer) {
  struct TCase {
    const char* Name;
    std::string Text;
    bool Real;
  };
  const TCase cases[] = {
      {"memo text", "\xB5\xDA\xD2\xBB\xD0\xD0\r\nline\tend", true},
      {"four-byte character", "\x81\x30\x81\x30", true},
      {"euro sign of code page 936", "5\x80, \xB0\x80", true},
      {"control byte", "ab\x01", false},
      {"DEL", "ab\x7F", false},
      {"not the code page", "a\x81\x20", false},
      {"cut character", "ab\x81", false},
  };
  for (const TCase& c : cases) {
    TBitmap bitmap = PatternBitmap(40, 12, 24, 3);
    PutBits(bitmap, 0, VersionOneBits(c.Text));
    const THiddenText asStored{kFormatVersion1, c.Text};
    EXPECT_EQ(ReadHiddenText(bitmap, true), asStored) << c.Name;  // --force reads as before
    if (c.Real) {
      EXPECT_EQ(DetectDataFormat(&bitmap), kFormatVersion1) << c.Name;
      EXPECT_EQ(ReadHiddenText(bitmap), asStored) << c.Name;
    } else {
      EXPECT_EQ(DetectDataFormat(&bitmap), 0) << c.Name;
      EXPECT_THROW(ReadHiddenText(bitmap), ENoHiddenText) << c.Name;
      EXPECT_FALSE(FindHiddenText(bitmap)) << c.Name;
    }
  }
}

}  // namespace
}  // namespace pennacrow
