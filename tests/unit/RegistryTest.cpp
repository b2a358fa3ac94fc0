#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/EPSGraphic.h"
#include "formats/ExtraFormatGraphic.h"
#include "formats/GIFImage.h"
#include "formats/JPEGImage.h"
#include "formats/PNGGraphic.h"
#include "formats/PngWriter.h"
#include "formats/Registry.h"
#include "formats/TIFFGraphic.h"
#include "formats/TargaGraphic.h"
#include "picture/Errors.h"
#include "picture/Icon.h"
#include "picture/Metafile.h"

namespace pennacrow {
namespace {

struct TExpected {
  const char* Suffix;
  const char* Class;
};

// The registrations oldest first: built-ins, PNG writer, JPEG, the extra formats, GIF.
const std::vector<TExpected> kOrder = {
    {"wmf", "TMetafile"},     {"emf", "TMetafile"},        {"ico", "TIcon"},
    {"bmp", "TBitmap"},       {"png", "TPngWriter"},       {"jpeg", "TJPEGImage"},
    {"jpg", "TJPEGImage"},    {"bmp", "TBitmap"},          {"ico", "TIcon"},
    {"wmf", "TMetafile"},     {"emf", "TMetafile"},        {"jfif", "TJPEGImage"},
    {"jpg", "TJPEGImage"},    {"jpe", "TJPEGImage"},       {"jpeg", "TJPEGImage"},
    {"rle", "TBitmap"},       {"dib", "TBitmap"},          {"win", "TTargaGraphic"},
    {"vst", "TTargaGraphic"}, {"vda", "TTargaGraphic"},    {"tga", "TTargaGraphic"},
    {"icb", "TTargaGraphic"}, {"tiff", "TTIFFGraphic"},    {"tif", "TTIFFGraphic"},
    {"fax", "TTIFFGraphic"},  {"eps", "TEPSGraphic"},      {"pcx", "TPCXGraphic"},
    {"pcc", "TPCXGraphic"},   {"scr", "TPCXGraphic"},      {"rpf", "TRLAGraphic"},
    {"rla", "TRLAGraphic"},   {"sgi", "TSGIGraphic"},      {"rgba", "TSGIGraphic"},
    {"rgb", "TSGIGraphic"},   {"bw", "TSGIGraphic"},       {"psd", "TPSDGraphic"},
    {"pdd", "TPSDGraphic"},   {"ppm", "TPPMGraphic"},      {"pgm", "TPPMGraphic"},
    {"pbm", "TPPMGraphic"},   {"cel", "TAutodeskGraphic"}, {"pic", "TAutodeskGraphic"},
    {"pcd", "TPCDGraphic"},   {"cut", "TCUTGraphic"},      {"psp", "TPSPGraphic"},
    {"png", "TPNGGraphic"},   {"gif", "TGIFImage"},
};

TEST(RegistryTest, HoldsTheFortySevenEntriesOldestFirst) {
  const auto& entries = FileFormats().Entries();
  ASSERT_EQ(entries.size(), 47u);
  ASSERT_EQ(kOrder.size(), 47u);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(entries[i].Suffix, kOrder[i].Suffix) << "entry " << i;
    EXPECT_STREQ(entries[i].PictureClass->Name, kOrder[i].Class) << "entry " << i;
  }
  EXPECT_EQ(entries[4].FormatText, "Portable Graphics Network");
  EXPECT_EQ(entries[5].FormatText, "JPEG图像文件");
  EXPECT_EQ(entries[6].FormatText, "JPEG图像文件");
  EXPECT_EQ(entries[22].FormatText, "梅肯套希TIFF图像（苹果机）");
  EXPECT_EQ(entries[28].FormatText, "Word 5.x 屏幕截图图像");
  EXPECT_EQ(entries[32].FormatText, "带α通道的 SGI 真彩图像");
  EXPECT_EQ(entries[45].FormatText, "可移植的网络图形位图");
  EXPECT_EQ(entries[46].FormatText, "CompuServe GIF 图像");
}

TEST(RegistryTest, NewestRegistrationWinsForRepeatedExtensions) {
  const TFileFormatsList& formats = FileFormats();
  // The writer registered png first; reading always goes to the decoder, whatever the case.
  for (const char* png : {"png", "PNG", "Png", "pNg"}) {
    EXPECT_EQ(formats.ClassForExtension(png), &TPNGGraphic::ClassInfo) << png;
  }
  EXPECT_EQ(formats.ClassForExtension("JPG"), &TJPEGImage::ClassInfo);
  EXPECT_EQ(formats.ClassForExtension("jfif"), &TJPEGImage::ClassInfo);
  EXPECT_EQ(formats.ClassForExtension("bmp"), &TBitmap::ClassInfo);
  EXPECT_EQ(formats.ClassForExtension("ico"), &TIcon::ClassInfo);
  EXPECT_EQ(formats.ClassForExtension("emf"), &TMetafile::ClassInfo);
  EXPECT_EQ(formats.ClassForExtension("Fax"), &TTIFFGraphic::ClassInfo);
  EXPECT_EQ(formats.ClassForExtension("eps"), &TEPSGraphic::ClassInfo);
  EXPECT_EQ(formats.ClassForExtension("gif"), &TGIFImage::ClassInfo);
  EXPECT_EQ(formats.ClassForExtension(""), nullptr);
  EXPECT_EQ(formats.ClassForExtension("xyz"), nullptr);
}

TEST(RegistryTest, ClassHierarchy) {
  EXPECT_TRUE(TEPSGraphic::ClassInfo.InheritsFrom(TTIFFGraphic::ClassInfo));
  EXPECT_TRUE(TTIFFGraphic::ClassInfo.InheritsFrom(TExtraFormatGraphic::ClassInfo));
  EXPECT_TRUE(TPNGGraphic::ClassInfo.InheritsFrom(TExtraFormatGraphic::ClassInfo));
  EXPECT_TRUE(TTargaGraphic::ClassInfo.InheritsFrom(TExtraFormatGraphic::ClassInfo));
  EXPECT_TRUE(TExtraFormatGraphic::ClassInfo.InheritsFrom(TBitmap::ClassInfo));
  EXPECT_TRUE(TPngWriter::ClassInfo.InheritsFrom(TBitmap::ClassInfo));
  EXPECT_FALSE(TPngWriter::ClassInfo.InheritsFrom(TExtraFormatGraphic::ClassInfo));
  for (const TGraphicClass* c : {&TJPEGImage::ClassInfo, &TGIFImage::ClassInfo}) {
    EXPECT_EQ(c->Parent, &TGraphic::ClassInfo) << c->Name;
  }
  EXPECT_EQ(TExtraFormatGraphic::ClassInfo.Create, nullptr);
  // Every registered class can be created and reports its own class.
  for (const TFileFormat& f : FileFormats().Entries()) {
    ASSERT_NE(f.PictureClass->Create, nullptr) << f.Suffix;
    EXPECT_EQ(&f.PictureClass->Create()->ClassType(), f.PictureClass) << f.Suffix;
  }
}

TEST(RegistryTest, FilterListsEveryEntryNewestFirstAfterTheAllChoice) {
  const std::string filter = FileFormats().BuildFilter(TGraphic::ClassInfo);
  const std::string head = "全部 (*.gif;*.png;*.psp;*.cut;*.pcd;";
  EXPECT_EQ(filter.substr(0, head.size()), head);
  const std::string tail = "*.bmp;*.ico;*.emf;*.wmf)|";
  const auto patternsEnd = filter.find(')');
  ASSERT_NE(patternsEnd, std::string::npos);
  EXPECT_EQ(filter.substr(patternsEnd + 2 - tail.size(), tail.size()), tail);
  const std::string firstChoice =
      "|CompuServe GIF 图像 (*.gif)|*.gif|可移植的网络图形位图 (*.png)|*.png|";
  EXPECT_NE(filter.find(firstChoice), std::string::npos);
  EXPECT_EQ(filter.substr(filter.size() - std::string("元文件 (*.wmf)|*.wmf").size()),
            "元文件 (*.wmf)|*.wmf");
  // One "|" between 47 descriptions of two fields each, plus the "全部" choice's two fields.
  std::size_t bars = 0;
  for (char c : filter) bars += c == '|';
  EXPECT_EQ(bars, 2u * 47 + 1);
  // Duplicates are not merged: png appears twice in the pattern list.
  const std::string patterns = filter.substr(0, patternsEnd);
  std::size_t pngs = 0;
  for (auto p = patterns.find("*.png;"); p != std::string::npos;
       p = patterns.find("*.png;", p + 1)) {
    ++pngs;
  }
  EXPECT_EQ(pngs, 2u);
}

TEST(RegistryTest, EveryDecoderRefusesAFileOfZerosCleanly) {
  for (const TFileFormat& entry : FileFormats().Entries()) {
    const TGraphicClass* c = FileFormats().ClassForExtension(entry.Suffix);
    ASSERT_NE(c, nullptr) << entry.Suffix;
    auto graphic = c->Create();
    const std::vector<std::uint8_t> bytes(64, 0);
    EXPECT_THROW(graphic->LoadFromBytes(bytes), EPennacrowError) << entry.Suffix;
  }
}

}  // namespace
}  // namespace pennacrow
