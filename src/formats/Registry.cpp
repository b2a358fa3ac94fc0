#include "formats/Registry.h"

#include <algorithm>
#include <cstring>

#include "formats/AutodeskGraphic.h"
#include "formats/CUTGraphic.h"
#include "formats/EPSGraphic.h"
#include "formats/GIFImage.h"
#include "formats/JPEGImage.h"
#include "formats/PCDGraphic.h"
#include "formats/PCXGraphic.h"
#include "formats/PNGGraphic.h"
#include "formats/PPMGraphic.h"
#include "formats/PSDGraphic.h"
#include "formats/PSPGraphic.h"
#include "formats/PngWriter.h"
#include "formats/RLAGraphic.h"
#include "formats/SGIGraphic.h"
#include "formats/TIFFGraphic.h"
#include "formats/TargaGraphic.h"
#include "picture/Errors.h"
#include "picture/Icon.h"
#include "picture/Metafile.h"
#include "text/Translate.h"

namespace pennacrow {

namespace {

struct TRegistration {
  const char* Extension;
  const char* Description;
  const TGraphicClass* PictureClass;
};

// Every registration after the four built-in entries, in the order the units of the earlier
// program ran theirs. The order matters: the newest entry for an extension decides its decoder
// (png is read by TPNGGraphic, not by the writer registered before it), and the open dialog
// lists the entries newest first.
const TRegistration kRegistrations[] = {
    // The PNG writer's unit registers its class under the upper-case extension.
    {"PNG", "Portable Graphics Network", &TPngWriter::ClassInfo},
    // The JPEG unit.
    {"jpeg", "JPEG图像文件", &TJPEGImage::ClassInfo},
    {"jpg", "JPEG图像文件", &TJPEGImage::ClassInfo},
    // The extra formats unit.
    {"bmp", "Windows位图", &TBitmap::ClassInfo},
    {"ico", "Windows图标", &TIcon::ClassInfo},
    {"wmf", "Windows元文件", &TMetafile::ClassInfo},
    {"emf", "Windows增强型元文件", &TMetafile::ClassInfo},
    {"jfif", "JFIF图像", &TJPEGImage::ClassInfo},
    {"jpg", "JPG图像", &TJPEGImage::ClassInfo},
    {"jpe", "JPE图像", &TJPEGImage::ClassInfo},
    {"jpeg", "JPEG图像", &TJPEGImage::ClassInfo},
    {"rle", "行程长度编码Windows位图", &TBitmap::ClassInfo},
    {"dib", "与设备无关Windows位图", &TBitmap::ClassInfo},
    {"win", "TrueVision 图像", &TTargaGraphic::ClassInfo},
    {"vst", "TrueVision 图像", &TTargaGraphic::ClassInfo},
    {"vda", "TrueVision 图像", &TTargaGraphic::ClassInfo},
    {"tga", "TrueVision 图像", &TTargaGraphic::ClassInfo},
    {"icb", "TrueVision 图像", &TTargaGraphic::ClassInfo},
    {"tiff", "梅肯套希TIFF图像（苹果机）", &TTIFFGraphic::ClassInfo},
    {"tif", "PC TIF 图像", &TTIFFGraphic::ClassInfo},
    {"fax", "GFI传真类型图像", &TTIFFGraphic::ClassInfo},
    {"eps", "Encapsulated Postscript 图像", &TEPSGraphic::ClassInfo},
    {"pcx", "ZSoft PaintBrush 图像", &TPCXGraphic::ClassInfo},
    {"pcc", "ZSoft PaintBrush 图像", &TPCXGraphic::ClassInfo},
    {"scr", "Word 5.x 屏幕截图图像", &TPCXGraphic::ClassInfo},
    {"rpf", "Alias/WaveFront 图像", &TRLAGraphic::ClassInfo},
    {"rla", "Alias/WaveFront 图像", &TRLAGraphic::ClassInfo},
    {"sgi", "SGI 真彩图像", &TSGIGraphic::ClassInfo},
    {"rgba", "带α通道的 SGI 真彩图像", &TSGIGraphic::ClassInfo},
    {"rgb", "SGI 真彩图像", &TSGIGraphic::ClassInfo},
    {"bw", "SGI 黑白图像", &TSGIGraphic::ClassInfo},
    {"psd", "PhotoShop 图像", &TPSDGraphic::ClassInfo},
    {"pdd", "PhotoShop 图像", &TPSDGraphic::ClassInfo},
    {"ppm", "可移植的象素映射图像", &TPPMGraphic::ClassInfo},
    {"pgm", "可移植的灰度映射图像", &TPPMGraphic::ClassInfo},
    {"pbm", "可移植的位图图像", &TPPMGraphic::ClassInfo},
    {"cel", "AutoDesk 图像", &TAutodeskGraphic::ClassInfo},
    {"pic", "AutoDesk 图像", &TAutodeskGraphic::ClassInfo},
    {"pcd", "Kodak Photo-CD 图像", &TPCDGraphic::ClassInfo},
    {"cut", "Dr. Halo 图像", &TCUTGraphic::ClassInfo},
    {"psp", "PaintShop Pro 图像", &TPSPGraphic::ClassInfo},
    {"png", "可移植的网络图形位图", &TPNGGraphic::ClassInfo},
    // The GIF unit.
    {"gif", "CompuServe GIF 图像", &TGIFImage::ClassInfo},
};

using TBytes = std::span<const std::uint8_t>;

bool StartsWith(TBytes data, std::size_t offset, std::string_view magic) {
  return data.size() >= offset + magic.size() &&
         std::memcmp(data.data() + offset, magic.data(), magic.size()) == 0;
}

unsigned U16LE(TBytes d, std::size_t at) {
  return d[at] | d[at + 1] << 8;
}

// Formats without a magic number: a header whose fields are all in range. Such a check may
// claim a file of another format, so it only decides when the extension names no class.
bool LooksLikeTarga(TBytes d) {
  if (d.size() < 18 || d[1] > 1) return false;
  const unsigned type = d[2];
  const unsigned bits = d[16];
  const bool known = type == 1 || type == 2 || type == 3 || type == 9 || type == 10 || type == 11;
  const bool depth = bits == 8 || bits == 15 || bits == 16 || bits == 24 || bits == 32;
  return known && depth && U16LE(d, 12) > 0 && U16LE(d, 14) > 0 && (d[17] & 0xC0) == 0;
}

bool LooksLikeCut(TBytes d) {
  return d.size() >= 6 && U16LE(d, 0) > 0 && U16LE(d, 2) > 0 && U16LE(d, 4) == 0;
}

bool LooksLikeRla(TBytes d) {
  // Active window (big-endian left, right, bottom, top) in order, one to four colour channels.
  if (d.size() < 740) return false;
  auto be = [&d](std::size_t at) { return static_cast<std::int16_t>(d[at] << 8 | d[at + 1]); };
  return be(8) <= be(10) && be(12) <= be(14) && be(20) >= 1 && be(20) <= 4;
}

bool IsPbmFamily(TBytes d) {
  return d.size() >= 2 && d[0] == 'P' && d[1] >= '1' && d[1] <= '6';
}

bool IsPcx(TBytes d) {
  return d.size() >= 128 && d[0] == 0x0A && d[1] <= 5 && d[2] <= 1 &&
         (d[3] == 1 || d[3] == 2 || d[3] == 4 || d[3] == 8);
}

bool IsMetafile(TBytes d) {
  return StartsWith(d, 0, "\xD7\xCD\xC6\x9A") ||
         StartsWith(d, 0, std::string_view("\1\0\t\0", 4)) ||
         StartsWith(d, 0, std::string_view("\2\0\t\0", 4)) || StartsWith(d, 40, " EMF");
}

struct TSignature {
  const TGraphicClass* PictureClass;
  bool (*Matches)(TBytes head);
  bool Weak;
};

// How each registered class recognises its files by content, for a file read from standard
// input or one whose extension is missing or wrong. Strong signatures (magic numbers) first.
const TSignature kSignatures[] = {
    {&TPNGGraphic::ClassInfo, [](TBytes d) { return StartsWith(d, 0, "\x89PNG\r\n\x1A\n"); },
     false},
    {&TJPEGImage::ClassInfo, [](TBytes d) { return StartsWith(d, 0, "\xFF\xD8\xFF"); }, false},
    {&TGIFImage::ClassInfo,
     [](TBytes d) { return StartsWith(d, 0, "GIF87a") || StartsWith(d, 0, "GIF89a"); }, false},
    {&TBitmap::ClassInfo, [](TBytes d) { return StartsWith(d, 0, "BM"); }, false},
    {&TTIFFGraphic::ClassInfo,
     [](TBytes d) {
       return StartsWith(d, 0, std::string_view("II*\0", 4)) ||
              StartsWith(d, 0, std::string_view("MM\0*", 4));
     },
     false},
    {&TPSDGraphic::ClassInfo, [](TBytes d) { return StartsWith(d, 0, "8BPS"); }, false},
    {&TPSPGraphic::ClassInfo,
     [](TBytes d) { return StartsWith(d, 0, "Paint Shop Pro Image File\n\x1A"); }, false},
    {&TSGIGraphic::ClassInfo, [](TBytes d) { return StartsWith(d, 0, "\x01\xDA"); }, false},
    {&TAutodeskGraphic::ClassInfo, [](TBytes d) { return StartsWith(d, 0, "\x19\x91"); }, false},
    {&TPCDGraphic::ClassInfo, [](TBytes d) { return StartsWith(d, 0x800, "PCD_IPI"); }, false},
    {&TEPSGraphic::ClassInfo,
     [](TBytes d) { return StartsWith(d, 0, "\xC5\xD0\xD3\xC6") || StartsWith(d, 0, "%!PS"); },
     false},
    {&TIcon::ClassInfo, [](TBytes d) { return StartsWith(d, 0, std::string_view("\0\0\1\0", 4)); },
     false},
    {&TMetafile::ClassInfo, IsMetafile, false},
    {&TPPMGraphic::ClassInfo, IsPbmFamily, false},
    {&TPCXGraphic::ClassInfo, IsPcx, false},
    {&TTargaGraphic::ClassInfo, LooksLikeTarga, true},
    {&TRLAGraphic::ClassInfo, LooksLikeRla, true},
    {&TCUTGraphic::ClassInfo, LooksLikeCut, true},
};

}  // namespace

std::size_t SignatureBytesNeeded() {
  return 0x800 + 8;
}

const TGraphicClass* RecogniseGraphicClass(const TFileFormatsList& formats,
                                           std::span<const std::uint8_t> head,
                                           const std::string& extension) {
  const TGraphicClass* named = formats.ClassForExtension(extension);
  if (named != nullptr && named->Create == nullptr) named = nullptr;
  // A class registered under another name reads the same files (TPngWriter is TPNGGraphic's
  // writer; TBitmap's subclasses): a signature claims every class derived from its own.
  auto claims = [&](const TSignature& s) {
    return named != nullptr && (named == s.PictureClass || named->InheritsFrom(*s.PictureClass)) &&
           s.Matches(head);
  };
  if (std::any_of(std::begin(kSignatures), std::end(kSignatures), claims)) return named;
  for (const TSignature& s : kSignatures) {
    if (!s.Weak && s.Matches(head)) return s.PictureClass;
  }
  // A damaged file keeps the reader its name asks for, which then says what is wrong with it.
  if (named != nullptr) return named;
  for (const TSignature& s : kSignatures) {
    if (s.Weak && s.Matches(head)) return s.PictureClass;
  }
  return nullptr;
}

std::unique_ptr<TGraphic> LoadRecognisedGraphic(const std::string& fileName,
                                                const std::string& forcedExtension) {
  const bool fromStdin = fileName == "-";
  const std::string extension =
      forcedExtension.empty() ? ExtractExtension(fileName) : forcedExtension;
  const TGraphicClass* pictureClass = nullptr;
  std::vector<std::uint8_t> data;
  if (!forcedExtension.empty()) {
    pictureClass = FileFormats().ClassForExtension(forcedExtension);
    if (pictureClass != nullptr && pictureClass->Create == nullptr) pictureClass = nullptr;
  }
  if (fromStdin) data = ReadPictureFile("/dev/stdin", true);
  if (pictureClass == nullptr && forcedExtension.empty()) {
    if (fromStdin) {
      pictureClass = RecogniseGraphicClass(FileFormats(), data, extension);
    } else {
      std::vector<std::uint8_t> head;
      try {
        head = ReadFileStart(fileName, SignatureBytesNeeded());
      } catch (const EFileError&) {
        // A name no class reads stays an unknown extension, as in the desktop program.
        if (FileFormats().ClassForExtension(extension) == nullptr)
          head.clear();
        else
          throw;
      }
      pictureClass = RecogniseGraphicClass(FileFormats(), head, extension);
    }
  }
  if (pictureClass == nullptr) {
    throw EInvalidGraphic(TrF("未知图片文件扩展(.%1)", {extension}));
  }
  std::unique_ptr<TGraphic> graphic = pictureClass->Create();
  if (fromStdin) {
    graphic->LoadFromBytes(data);
  } else {
    graphic->LoadFromFile(fileName);
  }
  return graphic;
}

const TFileFormatsList& FileFormats() {
  static const TFileFormatsList formats = [] {
    TFileFormatsList list;  // the four built-in entries
    for (const TRegistration& r : kRegistrations) {
      list.AddFormat(r.Extension, r.Description, *r.PictureClass);
    }
    return list;
  }();
  return formats;
}

}  // namespace pennacrow
