#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <string>
#include <vector>

#include "base/Translate.h"
#include "codec/Container.h"
#include "formats/JPEGImage.h"
#include "formats/PNGGraphic.h"
#include "formats/Registry.h"
#include "formats/TargaGraphic.h"
#include "picture/Bitmap.h"

namespace pennacrow {
namespace {

struct TLanguageCase {
  const char* Name;
  std::map<std::string, std::string> Environment;
  TLanguage Expected;
};

const std::map<std::string, std::string>* gEnvironment = nullptr;
const char* FakeGetenv(const char* name) {
  const auto it = gEnvironment->find(name);
  return it == gEnvironment->end() ? nullptr : it->second.c_str();
}

TEST(Language, ChosenFromTheEnvironmentAsGettextDoes) {
  const TLanguage zh = TLanguage::Chinese, en = TLanguage::English;
  const std::vector<TLanguageCase> cases = {
      {"nothing set", {}, zh},
      {"C locale", {{"LANG", "C"}}, zh},
      {"POSIX", {{"LC_ALL", "POSIX"}}, zh},
      {"C.UTF-8", {{"LANG", "C.UTF-8"}}, zh},
      {"English LANG", {{"LANG", "en_US.UTF-8"}}, en},
      {"Chinese LANG", {{"LANG", "zh_CN.UTF-8"}}, zh},
      {"a language we lack", {{"LANG", "de_DE.UTF-8"}}, zh},
      {"LC_ALL before LANG", {{"LC_ALL", "en_GB.UTF-8"}, {"LANG", "zh_CN.UTF-8"}}, en},
      {"LC_MESSAGES before LANG", {{"LC_MESSAGES", "zh_TW"}, {"LANG", "en_US"}}, zh},
      {"LANGUAGE list, first we have", {{"LANG", "de_DE"}, {"LANGUAGE", "fr:en:zh"}}, en},
      {"LANGUAGE ignored in C", {{"LANG", "C"}, {"LANGUAGE", "en"}}, zh},
      {"PENNACROW_LANG wins", {{"LANG", "zh_CN.UTF-8"}, {"PENNACROW_LANG", "en"}}, en},
      {"PENNACROW_LANG zh in C", {{"LC_ALL", "en_US"}, {"PENNACROW_LANG", "zh"}}, zh},
      {"unknown PENNACROW_LANG ignored", {{"LANG", "en_US"}, {"PENNACROW_LANG", "xx"}}, en},
  };
  for (const TLanguageCase& c : cases) {
    gEnvironment = &c.Environment;
    EXPECT_EQ(LanguageFromEnvironment(FakeGetenv), c.Expected) << c.Name;
  }
}

class TranslationTest : public ::testing::Test {
 protected:
  void TearDown() override { SetLanguage(TLanguage::Chinese); }
};

TEST_F(TranslationTest, MessagesAndSystemErrorsFollowTheLanguage) {
  SetLanguage(TLanguage::Chinese);
  EXPECT_EQ(Tr("密码错误或数据已损坏"), "密码错误或数据已损坏");
  EXPECT_EQ(SystemErrorText(ENOENT), "没有那个文件或目录");
  EXPECT_EQ(TrF("未知图片文件扩展(.%1)", {"xyz"}), "未知图片文件扩展(.xyz)");
  SetLanguage(TLanguage::English);
  EXPECT_EQ(Tr("密码错误或数据已损坏"), "Wrong password or damaged data");
  EXPECT_EQ(TrF("需要 %1 个参数，得到 %2", {"1", "3"}), "expected 1 arguments, got 3");
  // A text the catalogue lacks shows as it is rather than as nothing.
  EXPECT_EQ(Tr("目录里没有的句子"), "目录里没有的句子");
  for (const int error :
       {ENOENT, EACCES, EISDIR, ENOSPC, EROFS, ENAMETOOLONG, EEXIST, ENOTDIR, EIO}) {
    const std::string text = SystemErrorText(error);
    EXPECT_FALSE(text.empty()) << error;
    EXPECT_TRUE(std::all_of(text.begin(), text.end(), [](char c) { return c > 0; })) << text;
  }
}

TEST(FormatMessage, PlaceholdersMayMoveAndStrayPercentSignsStay) {
  EXPECT_EQ(FormatMessage("%2 before %1", {"a", "b"}), "b before a");
  EXPECT_EQ(FormatMessage("100% of %1, %3 unknown", {"x"}), "100% of x, %3 unknown");
  EXPECT_EQ(FormatMessage("%1%1", {"ab"}), "abab");
}

TEST(ContainerFacts, MaxTextBytesIsTheCapacityLessTheHeaderUpTo65535) {
  EXPECT_EQ(MaxTextBytes(47, 33), 190);  // (1551 - 24) / 8
  EXPECT_EQ(MaxTextBytes(4, 4), 0);      // no room for the header
  EXPECT_EQ(MaxTextBytes(2000, 2000), 65535);
  EXPECT_STREQ(ContainerName(kFormatPlain), "plain");
  EXPECT_STREQ(ContainerName(kFormatEncrypted), "encrypted");
  EXPECT_STREQ(ContainerName(kFormatVersion1), "version1");
  EXPECT_STREQ(ContainerName(kFormatSealed), "sealed");
  EXPECT_STREQ(ContainerName(kFormatProbeFailed), "none");
}

struct TRecognitionCase {
  const char* Name;
  std::vector<std::uint8_t> Head;
  const char* Extension;
  const TGraphicClass* Expected;
};

TEST(Recognition, ContentDecidesWhereTheExtensionIsMissingOrWrong) {
  const std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0};
  const std::vector<std::uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0, 0x10};
  // A Targa header: no colour map, true colour, 2 x 2 at 24 bits. It has no magic number.
  std::vector<std::uint8_t> targa(18, 0);
  targa[2] = 2;
  targa[12] = targa[14] = 2;
  targa[16] = 24;
  const std::vector<TRecognitionCase> cases = {
      {"PNG without extension", png, "", &TPNGGraphic::ClassInfo},
      {"PNG named .jpg", png, "jpg", &TPNGGraphic::ClassInfo},
      {"PNG named .PNG", png, "PNG", &TPNGGraphic::ClassInfo},
      {"JPEG named .jfif", jpeg, "jfif", &TJPEGImage::ClassInfo},
      {"BMP named .dib keeps its class", {'B', 'M', 0, 0}, "dib", &TBitmap::ClassInfo},
      {"Targa without extension", targa, "", &TTargaGraphic::ClassInfo},
      {"Targa header in a .png is the PNG reader's to refuse", targa, "png",
       &TPNGGraphic::ClassInfo},
      {"junk named .tga stays Targa", {'x', 'y'}, "tga", &TTargaGraphic::ClassInfo},
      {"junk without extension", {'x', 'y'}, "", nullptr},
      {"junk with an unknown extension", {'x', 'y'}, "xyz", nullptr},
  };
  for (const TRecognitionCase& c : cases) {
    EXPECT_EQ(RecogniseGraphicClass(FileFormats(), c.Head, c.Extension), c.Expected) << c.Name;
  }
}

}  // namespace
}  // namespace pennacrow

namespace pennacrow {
namespace {

bool HasChinese(const std::string& text) {
  // Every CJK ideograph is three bytes in UTF-8 whose first byte is 0xE4 to 0xE9.
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b >= 0xE4 && b <= 0xE9) return true;
  }
  return false;
}

// What a user of the English program meets at run time: every format's description, and the
// refusal of every reader given bytes it cannot read, carries no Chinese.
TEST_F(TranslationTest, EveryFormatNameAndRefusalIsEnglish) {
  SetLanguage(TLanguage::English);
  const std::vector<std::vector<std::uint8_t>> inputs = {
      {}, {'x'}, std::vector<std::uint8_t>(64, 0), std::vector<std::uint8_t>(3000, 0xFF)};
  for (const TFileFormat& f : FileFormats().Entries()) {
    EXPECT_FALSE(HasChinese(Tr(f.FormatText.c_str()))) << f.FormatText;
    if (f.PictureClass->Create == nullptr) continue;
    for (const auto& bytes : inputs) {
      try {
        f.PictureClass->Create()->LoadFromBytes(bytes);
      } catch (const std::exception& e) {
        EXPECT_FALSE(HasChinese(e.what())) << f.Suffix << ": " << e.what();
      }
    }
  }
  EXPECT_FALSE(HasChinese(FileFormats().BuildFilter(TGraphic::ClassInfo)));
}

}  // namespace
}  // namespace pennacrow
