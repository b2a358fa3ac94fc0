#include <gtest/gtest.h>

#include <filesystem>

#include "TestUtil.h"
#include "codec/BinaryUnit.h"
#include "codec/CapacityMeter.h"
#include "codec/Container.h"
#include "codec/ContainerSave.h"
#include "crypto/CryptText.h"
#include "formats/PngWriter.h"
#include "formats/Registry.h"
#include "formats/SavePicture.h"
#include "text/TextRules.h"

namespace pennacrow {
namespace {

TEST(CapacityMeter, FiguresForPlainAndNonAsciiTexts) {
  EXPECT_EQ(CapacityUseText(MeasureCapacityUse(0, 100, 50)), "已用 3 / 625 字节");
  EXPECT_EQ(CapacityUseText(MeasureCapacityUse(1231, 400, 250)), "已用 1,234 / 12,500 字节");
  // A large picture shows what a write accepts, so a text over it is never shown as fitting.
  EXPECT_EQ(CapacityUseText(MeasureCapacityUse(65536, 4000, 3000)), "已用 65,539 / 65,538 字节");
  // A Chinese character takes two bytes of the payload code page.
  EXPECT_EQ(MeasureCapacityUse(Utf8ToPayload("中文ab").size(), 10, 10).Used, 3 + 6);
  // An encrypted text counts with its armoured length.
  const std::string armoured = EncryptTextWithPassword("pw", "hello");
  EXPECT_EQ(MeasureCapacityUse(armoured.size(), 10, 10).Used, 3 + 8);
  EXPECT_EQ(MeasureCapacityUse(0, 0, 0).Capacity, 0);
}

TEST(CapacityMeter, BoundaryBetweenFittingAndNot) {
  // 100 x 50: 5000 bits, 625 bytes; a text of 622 bytes fits exactly.
  EXPECT_TRUE(MeasureCapacityUse(622, 100, 50).Fits);
  EXPECT_FALSE(MeasureCapacityUse(623, 100, 50).Fits);
  // The same rule as the writer on an odd picture: 24 + 8n <= width x height.
  for (int width : {7, 10, 33}) {
    for (std::size_t n = 0; n < 12; ++n) {
      TBitmap bitmap = test::PatternBitmap(width, 3, 24);
      bool written = true;
      try {
        AddBinaryToImage(bitmap, BuildBinaryString(std::string(n, 'x'), kFormatPlain));
      } catch (const ETextDoesNotFit&) {
        written = false;
      }
      EXPECT_EQ(MeasureCapacityUse(n, width, 3).Fits, written) << width << " " << n;
      // What fits, the last bit included, comes back whole.
      std::uint8_t format = 0;
      if (written) {
        EXPECT_EQ(RemoveBinaryFromImage(bitmap, format), std::string(n, 'x'));
      }
    }
  }
  // A length field holds at most 65,535, whatever the picture's room.
  for (const auto& [width, height] : {std::pair{4000, 3000}, std::pair{725, 725}}) {
    EXPECT_FALSE(MeasureCapacityUse(65536, width, height).Fits) << width;
    EXPECT_TRUE(MeasureCapacityUse(65535, width, height).Fits) << width;
  }
}

TEST(SaveName, TheProposalIsANameAWriterTakes) {
  const std::pair<const char*, const char*> cases[] = {
      {"/p/photo.jpg", "/p/photo.bmp"},     {"/p/photo.PNG", "/p/photo.PNG"},
      {"/p/a.b/photo", "/p/a.b/photo.bmp"}, {"/p/photo.", "/p/photo.bmp"},
      {"/p/x.tar.gz", "/p/x.tar.bmp"},      {"", ""},
  };
  for (const auto& [loaded, proposed] : cases) EXPECT_EQ(SaveNameFor(loaded), proposed) << loaded;
}

TEST(CapacityMeter, ThousandsSeparators) {
  EXPECT_EQ(GroupThousands(0), "0");
  EXPECT_EQ(GroupThousands(999), "999");
  EXPECT_EQ(GroupThousands(1000), "1,000");
  EXPECT_EQ(GroupThousands(12345678), "12,345,678");
}

class VerifiedSave : public ::testing::Test {
 protected:
  TBitmap WithContainer(int bpp) {
    TBitmap bitmap = test::PatternBitmap(40, 20, bpp);
    AddBinaryToImage(bitmap, BuildBinaryString("hidden words", kFormatPlain));
    return bitmap;
  }
  test::TTempDir Dir;
};

TEST_F(VerifiedSave, SurvivingSavesPassQuietly) {
  const TBitmap bitmap = WithContainer(24);
  bitmap.SaveToFile(Dir.Path("a.bmp"));
  EXPECT_EQ(VerifySavedContainer(bitmap, Dir.Path("a.bmp"), FileFormats()), "");
  SaveAsPNG(bitmap, Dir.Path("a.png"));
  EXPECT_EQ(VerifySavedContainer(bitmap, Dir.Path("a.png"), FileFormats()), "");
  // No container: nothing to verify.
  const TBitmap plain = test::PatternBitmap(40, 20, 24, 9);
  ASSERT_FALSE(FindHiddenText(plain));
  EXPECT_EQ(VerifySavedContainer(plain, Dir.Path("missing.bmp"), FileFormats()), "");
}

TEST_F(VerifiedSave, ConvertedDepthIsExplainedWithBmpAsTheWayOut) {
  const TBitmap bitmap = WithContainer(32);
  SaveAsPNG(bitmap, Dir.Path("lossy.png"));
  const std::string problem = VerifySavedContainer(bitmap, Dir.Path("lossy.png"), FileFormats());
  EXPECT_NE(problem.find("32 位转换成了 24 位"), std::string::npos) << problem;
  EXPECT_NE(problem.find("BMP"), std::string::npos);
}

TEST_F(VerifiedSave, AFileThatChangedAfterTheSaveIsCaught) {
  const TBitmap bitmap = WithContainer(24);
  bitmap.SaveToFile(Dir.Path("b.bmp"));
  std::vector<std::uint8_t> bytes = test::ReadFileBytes(Dir.Path("b.bmp"));
  // The top row is the last in the file; flip the low bit of its 30th byte (a text bit).
  bytes[bytes.size() - bitmap.RowLength() + 30] ^= 1;
  test::WriteFileBytes(Dir.Path("b.bmp"), bytes);
  const std::string problem = VerifySavedContainer(bitmap, Dir.Path("b.bmp"), FileFormats());
  EXPECT_NE(problem.find("不一致"), std::string::npos) << problem;
  std::filesystem::remove(Dir.Path("b.bmp"));
  EXPECT_NE(VerifySavedContainer(bitmap, Dir.Path("b.bmp"), FileFormats()).find("无法读回"),
            std::string::npos);
}

}  // namespace
}  // namespace pennacrow
