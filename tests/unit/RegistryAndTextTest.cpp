#include <gtest/gtest.h>

#include "picture/Bitmap.h"
#include "picture/FileFormats.h"
#include "picture/Icon.h"
#include "picture/Metafile.h"
#include "text/TextRules.h"

namespace pennacrow {
namespace {

TEST(Registry, BuiltInEntriesInOrder) {
  const TFileFormatsList list;
  ASSERT_EQ(list.Entries().size(), 4u);
  EXPECT_EQ(list.Entries()[0].Suffix, "wmf");
  EXPECT_EQ(list.Entries()[1].FormatText, "增强型元文件");
  EXPECT_EQ(list.Entries()[2].PictureClass, &TIcon::ClassInfo);
  EXPECT_EQ(list.Entries()[3].PictureClass, &TBitmap::ClassInfo);
}

TEST(Registry, LookupIsNewestFirstAndIgnoresCase) {
  static const TGraphicClass kOther{"TOther", &TBitmap::ClassInfo, nullptr};
  TFileFormatsList list;
  EXPECT_EQ(list.ClassForExtension("BMP"), &TBitmap::ClassInfo);
  EXPECT_EQ(list.ClassForExtension("Bmp"), &TBitmap::ClassInfo);
  EXPECT_EQ(list.ClassForExtension(""), nullptr);
  EXPECT_EQ(list.ClassForExtension("xyz"), nullptr);
  list.AddFormat("BMP", "again", kOther);
  EXPECT_EQ(list.Entries().back().Suffix, "bmp");
  EXPECT_EQ(list.ClassForExtension("bmp"), &kOther);
}

TEST(Registry, FilterListsNewestFirstWithTheAllChoice) {
  const TFileFormatsList list;
  EXPECT_EQ(list.BuildFilter(TGraphic::ClassInfo),
            "全部 (*.bmp;*.ico;*.emf;*.wmf)|*.bmp;*.ico;*.emf;*.wmf|位图 (*.bmp)|*.bmp|"
            "图标 (*.ico)|*.ico|增强型元文件 (*.emf)|*.emf|元文件 (*.wmf)|*.wmf");
  // Only classes derived from the base are taken; a single entry has no "全部" choice.
  EXPECT_EQ(list.BuildFilter(TBitmap::ClassInfo), "位图 (*.bmp)|*.bmp");
}

TEST(Registry, ExtensionOfAFileName) {
  EXPECT_EQ(ExtractExtension("/a/b.c/picture.Png"), "Png");
  EXPECT_EQ(ExtractExtension("/a/b.c/picture"), "");
  EXPECT_EQ(ExtractExtension("x."), "");
  EXPECT_EQ(UpperAscii("a.bMp"), "A.BMP");
}

TEST(TextRules, LineBreaksBecomeCrLf) {
  EXPECT_EQ(NormalizeLineBreaks("a\nb\rc\r\nd"), "a\r\nb\r\nc\r\nd");
  EXPECT_EQ(NormalizeLineBreaks("\n\n"), "\r\n\r\n");
  EXPECT_EQ(NormalizeLineBreaks("\r\r\n"), "\r\n\r\n");
  EXPECT_EQ(NormalizeLineBreaks(""), "");
}

TEST(TextRules, TextEndsAtTheFirstZeroByte) {
  EXPECT_EQ(NormalizeLineBreaks(std::string("ab\0cd", 5)), "ab");
  EXPECT_EQ(NormalizeLineBreaks(std::string("\0x", 2)), "");
}

TEST(TextRules, PayloadCodePageMatchesCodePage936) {
  // "中文" in code page 936 is D6 D0 CE C4.
  EXPECT_EQ(Utf8ToPayload("中文"), "\xD6\xD0\xCE\xC4");
  EXPECT_EQ(PayloadToUtf8("\xD6\xD0\xCE\xC4"), "中文");
  EXPECT_EQ(Utf8ToPayload("plain ASCII\r\n"), "plain ASCII\r\n");
  // Characters outside code page 936 survive the round trip.
  EXPECT_EQ(PayloadToUtf8(Utf8ToPayload("€ 😀 ñ")), "€ 😀 ñ");
}

TEST(TextRules, UndecodableBytesAreReplacedNotDropped) {
  EXPECT_EQ(PayloadToUtf8("a\xFF"
                          "b"),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(Utf8ToPayload("a\xC3"), "a?");
}

}  // namespace
}  // namespace pennacrow
