#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "SampleBuilder.h"
#include "formats/AutodeskGraphic.h"
#include "formats/CUTGraphic.h"
#include "formats/EPSGraphic.h"
#include "formats/ExtraFormatGraphic.h"
#include "formats/GIFImage.h"
#include "formats/JPEGImage.h"
#include "formats/PCDGraphic.h"
#include "formats/PCXGraphic.h"
#include "formats/PNGGraphic.h"
#include "formats/PPMGraphic.h"
#include "formats/PSDGraphic.h"
#include "formats/PngWriter.h"
#include "formats/RLAGraphic.h"
#include "formats/Registry.h"
#include "formats/SGIGraphic.h"
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

// A header of zeros with bytes set at offsets.
std::vector<std::uint8_t> Header(std::size_t size,
                                 std::initializer_list<std::pair<std::size_t, unsigned>> set) {
  std::vector<std::uint8_t> head(size, 0);
  for (const auto& [at, value] : set) head.at(at) = static_cast<std::uint8_t>(value);
  return head;
}

struct THeaderCase {
  const char* Name;
  const TGraphicClass* Class;
  std::vector<std::uint8_t> Head;
  bool Taken;  // recognised as Class without an extension
};

// Recognition by content asks each decoder whether it reads the header, so a header it refuses
// is never taken for its format, and one it reads is, whatever size it declares.
TEST(RegistryTest, ContentRecognitionTakesExactlyTheHeadersTheDecoderReads) {
  const TGraphicClass* const tga = &TTargaGraphic::ClassInfo;
  const TGraphicClass* const pcx = &TPCXGraphic::ClassInfo;
  const TGraphicClass* const rla = &TRLAGraphic::ClassInfo;
  const TGraphicClass* const cut = &TCUTGraphic::ClassInfo;
  const TGraphicClass* const ppm = &TPPMGraphic::ClassInfo;
  const TGraphicClass* const sgi = &TSGIGraphic::ClassInfo;
  const TGraphicClass* const cel = &TAutodeskGraphic::ClassInfo;
  const TGraphicClass* const eps = &TEPSGraphic::ClassInfo;
  const TGraphicClass* const psd = &TPSDGraphic::ClassInfo;
  const TGraphicClass* const pcd = &TPCDGraphic::ClassInfo;
  // Targa: type, map type, map length and entry bits, width, height, depth.
  auto targa = [](unsigned type, unsigned depth, unsigned mapType = 0, unsigned mapBits = 0) {
    return Header(
        18, {{1, mapType}, {2, type}, {6, mapType}, {7, mapBits}, {12, 2}, {14, 2}, {16, depth}});
  };
  // PCX 2 x 2: version, encoding, bits, planes, bytes per line.
  auto pcxHeader = [](unsigned version, unsigned bits, unsigned planes) {
    return Header(
        128, {{0, 0x0A}, {1, version}, {2, 1}, {3, bits}, {8, 1}, {10, 1}, {65, planes}, {66, 2}});
  };
  // RLA: a 2 x 2 active window, colour channels and the colour channel's sample type.
  auto rlaHeader = [](unsigned channels, unsigned type) {
    return Header(740, {{11, 1}, {15, 1}, {21, channels}, {657, type}});
  };
  // SGI 2 x 2 x 3: dimension and colour map type (512 bytes, big-endian).
  auto sgiHeader = [](unsigned dimension, unsigned colourMap) {
    return Header(
        512,
        {{0, 0x01}, {1, 0xDA}, {3, 1}, {5, dimension}, {7, 2}, {9, 2}, {11, 3}, {107, colourMap}});
  };
  // Photoshop 2 x 2: version, channels, depth and colour mode.
  auto psdHeader = [](unsigned version, unsigned channels, unsigned depth, unsigned mode) {
    auto h = Header(26, {{5, version}, {13, channels}, {17, 2}, {21, 2}, {23, depth}, {25, mode}});
    std::copy_n("8BPS", 4, h.begin());
    return h;
  };
  auto pcdHeader = [](const char* signature) {
    auto h = Header(0x808, {});
    std::copy_n(signature, 7, h.begin() + 0x800);
    return h;
  };
  const std::vector<THeaderCase> cases = {
      {"Targa true colour 24-bit", tga, targa(2, 24), true},
      {"Targa run-length grey 16-bit", tga, targa(11, 16), true},
      {"Targa colour-mapped 8-bit", tga, targa(1, 8, 1, 24), true},
      {"Targa beyond the pixel limits", tga,
       Header(18, {{2, 2}, {12, 0xFF}, {13, 0xFF}, {14, 0xFF}, {15, 0xFF}, {16, 32}}), true},
      {"Targa colour-mapped 24-bit", tga, targa(1, 24, 1, 24), false},
      {"Targa true colour 8-bit", tga, targa(2, 8), false},
      {"Targa grey 24-bit", tga, targa(3, 24), false},
      {"Targa Huffman coded", tga, targa(32, 8, 1, 24), false},
      {"Targa interlaced", tga, test::Patched(targa(2, 24), {{17, 0x40}}), false},
      {"PCX 8-bit", pcx, pcxHeader(5, 8, 1), true},
      {"PCX 24-bit", pcx, pcxHeader(5, 8, 3), true},
      {"PCX version 1", pcx, pcxHeader(1, 8, 1), false},
      {"PCX two planes of 8 bits", pcx, pcxHeader(5, 8, 2), false},
      {"PCX rows shorter than the width", pcx, test::Patched(pcxHeader(5, 8, 1), {{66, 1}}), false},
      {"RLA three channels", rla, rlaHeader(3, 0), true},
      {"RLA two channels", rla, rlaHeader(2, 0), false},
      {"RLA floating-point samples", rla, rlaHeader(3, 1), false},
      {"CUT 2 x 2", cut, Header(6, {{0, 2}, {2, 2}}), true},
      {"CUT zero width", cut, Header(6, {{2, 2}}), false},
      {"SGI 2 x 2 RGB", sgi, sgiHeader(3, 0), true},
      {"SGI of four dimensions", sgi, sgiHeader(4, 0), false},
      {"SGI colour map", sgi, sgiHeader(3, 1), false},
      {"Autodesk 8-bit", cel, Header(32, {{0, 0x19}, {1, 0x91}, {2, 2}, {4, 2}, {10, 8}}), true},
      {"Autodesk 4-bit", cel, Header(32, {{0, 0x19}, {1, 0x91}, {2, 2}, {4, 2}, {10, 4}}), false},
      {"EPS with a TIFF preview", eps,
       Header(30, {{0, 0xC5}, {1, 0xD0}, {2, 0xD3}, {3, 0xC6}, {20, 30}}), true},
      {"EPS without one", eps, Header(30, {{0, 0xC5}, {1, 0xD0}, {2, 0xD3}, {3, 0xC6}}), false},
      {"PostScript text", eps, {'%', '!', 'P', 'S', '-', 'A', 'd', 'o', 'b', 'e'}, false},
      {"Photoshop RGB", psd, psdHeader(1, 3, 8, 3), true},
      {"Photoshop large document", psd, psdHeader(2, 3, 8, 3), false},
      {"Photoshop 32-bit", psd, psdHeader(1, 3, 32, 3), false},
      {"Photoshop RGB in two channels", psd, psdHeader(1, 2, 8, 3), false},
      {"Photo CD", pcd, pcdHeader("PCD_IPI"), true},
      {"Photo CD signature", pcd, pcdHeader("XCD_IPI"), false},
      {"PPM P6", ppm, {'P', '6', '\n'}, true},
      {"PAM is not ours", ppm, {'P', '7', '\n'}, false},
  };
  for (const THeaderCase& c : cases) {
    const TGraphicClass* found = RecogniseGraphicClass(FileFormats(), c.Head, "");
    if (c.Taken) {
      EXPECT_EQ(found, c.Class) << c.Name;
      continue;
    }
    EXPECT_NE(found, c.Class) << c.Name;
    // The decoder refuses the header itself, not only the missing pixels after it.
    try {
      c.Class->Create()->LoadFromBytes(c.Head);
      ADD_FAILURE() << c.Name << ": loaded";
    } catch (const EInvalidGraphicFormat& e) {
      EXPECT_NE(e.Kind(), TGraphicFault::Truncated) << c.Name << ": " << e.what();
      EXPECT_NE(e.Kind(), TGraphicFault::TooLarge) << c.Name << ": " << e.what();
    }
  }
}

}  // namespace
}  // namespace pennacrow
