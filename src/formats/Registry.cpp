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
    {"jpeg", N_("JPEG图像文件"), &TJPEGImage::ClassInfo},
    {"jpg", N_("JPEG图像文件"), &TJPEGImage::ClassInfo},
    // The extra formats unit.
    {"bmp", N_("Windows位图"), &TBitmap::ClassInfo},
    {"ico", N_("Windows图标"), &TIcon::ClassInfo},
    {"wmf", N_("Windows元文件"), &TMetafile::ClassInfo},
    {"emf", N_("Windows增强型元文件"), &TMetafile::ClassInfo},
    {"jfif", N_("JFIF图像"), &TJPEGImage::ClassInfo},
    {"jpg", N_("JPG图像"), &TJPEGImage::ClassInfo},
    {"jpe", N_("JPE图像"), &TJPEGImage::ClassInfo},
    {"jpeg", N_("JPEG图像"), &TJPEGImage::ClassInfo},
    {"rle", N_("行程长度编码Windows位图"), &TBitmap::ClassInfo},
    {"dib", N_("与设备无关Windows位图"), &TBitmap::ClassInfo},
    {"win", N_("TrueVision 图像"), &TTargaGraphic::ClassInfo},
    {"vst", N_("TrueVision 图像"), &TTargaGraphic::ClassInfo},
    {"vda", N_("TrueVision 图像"), &TTargaGraphic::ClassInfo},
    {"tga", N_("TrueVision 图像"), &TTargaGraphic::ClassInfo},
    {"icb", N_("TrueVision 图像"), &TTargaGraphic::ClassInfo},
    {"tiff", N_("梅肯套希TIFF图像（苹果机）"), &TTIFFGraphic::ClassInfo},
    {"tif", N_("PC TIF 图像"), &TTIFFGraphic::ClassInfo},
    {"fax", N_("GFI传真类型图像"), &TTIFFGraphic::ClassInfo},
    {"eps", N_("Encapsulated Postscript 图像"), &TEPSGraphic::ClassInfo},
    {"pcx", N_("ZSoft PaintBrush 图像"), &TPCXGraphic::ClassInfo},
    {"pcc", N_("ZSoft PaintBrush 图像"), &TPCXGraphic::ClassInfo},
    {"scr", N_("Word 5.x 屏幕截图图像"), &TPCXGraphic::ClassInfo},
    {"rpf", N_("Alias/WaveFront 图像"), &TRLAGraphic::ClassInfo},
    {"rla", N_("Alias/WaveFront 图像"), &TRLAGraphic::ClassInfo},
    {"sgi", N_("SGI 真彩图像"), &TSGIGraphic::ClassInfo},
    {"rgba", N_("带α通道的 SGI 真彩图像"), &TSGIGraphic::ClassInfo},
    {"rgb", N_("SGI 真彩图像"), &TSGIGraphic::ClassInfo},
    {"bw", N_("SGI 黑白图像"), &TSGIGraphic::ClassInfo},
    {"psd", N_("PhotoShop 图像"), &TPSDGraphic::ClassInfo},
    {"pdd", N_("PhotoShop 图像"), &TPSDGraphic::ClassInfo},
    {"ppm", N_("可移植的象素映射图像"), &TPPMGraphic::ClassInfo},
    {"pgm", N_("可移植的灰度映射图像"), &TPPMGraphic::ClassInfo},
    {"pbm", N_("可移植的位图图像"), &TPPMGraphic::ClassInfo},
    {"cel", N_("AutoDesk 图像"), &TAutodeskGraphic::ClassInfo},
    {"pic", N_("AutoDesk 图像"), &TAutodeskGraphic::ClassInfo},
    {"pcd", N_("Kodak Photo-CD 图像"), &TPCDGraphic::ClassInfo},
    {"cut", N_("Dr. Halo 图像"), &TCUTGraphic::ClassInfo},
    {"psp", N_("PaintShop Pro 图像"), &TPSPGraphic::ClassInfo},
    {"png", N_("可移植的网络图形位图"), &TPNGGraphic::ClassInfo},
    // The GIF unit.
    {"gif", N_("CompuServe GIF 图像"), &TGIFImage::ClassInfo},
};

using TBytes = std::span<const std::uint8_t>;

bool StartsWith(TBytes data, std::size_t offset, std::string_view magic) {
  return data.size() >= offset + magic.size() &&
         std::memcmp(data.data() + offset, magic.data(), magic.size()) == 0;
}

// Magic numbers that are not text.
bool StartsWith(TBytes data, std::size_t offset, std::initializer_list<std::uint8_t> magic) {
  return data.size() >= offset + magic.size() &&
         std::equal(magic.begin(), magic.end(), data.begin() + static_cast<std::ptrdiff_t>(offset));
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
  return StartsWith(d, 0, {0xD7, 0xCD, 0xC6, 0x9A}) || StartsWith(d, 0, {1, 0, 9, 0}) ||
         StartsWith(d, 0, {2, 0, 9, 0}) || StartsWith(d, 40, " EMF");
}

struct TSignature {
  const TGraphicClass* PictureClass;
  bool (*Matches)(TBytes head);
  bool Weak;
};

// How each registered class recognises its files by content, for a file read from standard
// input or one whose extension is missing or wrong. Strong signatures (magic numbers) first.
const TSignature kSignatures[] = {
    {&TPNGGraphic::ClassInfo,
     [](TBytes d) {
       return StartsWith(d, 0, {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A});
     },
     false},
    {&TJPEGImage::ClassInfo,
     [](TBytes d) {
       return StartsWith(d, 0, {0xFF, 0xD8, 0xFF});
     },
     false},
    {&TGIFImage::ClassInfo,
     [](TBytes d) { return StartsWith(d, 0, "GIF87a") || StartsWith(d, 0, "GIF89a"); }, false},
    {&TBitmap::ClassInfo, [](TBytes d) { return StartsWith(d, 0, "BM"); }, false},
    {&TTIFFGraphic::ClassInfo,
     [](TBytes d) {
       return StartsWith(d, 0, {'I', 'I', 42, 0}) || StartsWith(d, 0, {'M', 'M', 0, 42});
     },
     false},
    {&TPSDGraphic::ClassInfo, [](TBytes d) { return StartsWith(d, 0, "8BPS"); }, false},
    {&TPSPGraphic::ClassInfo,
     [](TBytes d) {
       return StartsWith(d, 0, "Paint Shop Pro Image File\n") && StartsWith(d, 26, {0x1A});
     },
     false},
    {&TSGIGraphic::ClassInfo,
     [](TBytes d) {
       return StartsWith(d, 0, {0x01, 0xDA});
     },
     false},
    {&TAutodeskGraphic::ClassInfo,
     [](TBytes d) {
       return StartsWith(d, 0, {0x19, 0x91});
     },
     false},
    {&TPCDGraphic::ClassInfo, [](TBytes d) { return StartsWith(d, 0x800, "PCD_IPI"); }, false},
    {&TEPSGraphic::ClassInfo,
     [](TBytes d) {
       return StartsWith(d, 0, {0xC5, 0xD0, 0xD3, 0xC6}) || StartsWith(d, 0, "%!PS");
     },
     false},
    {&TIcon::ClassInfo,
     [](TBytes d) {
       return StartsWith(d, 0, {0, 0, 1, 0});
     },
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

namespace {

const TGraphicClass& RequireClass(const TGraphicClass* pictureClass, const std::string& extension) {
  if (pictureClass == nullptr) {
    // Without an extension to blame, say what is wrong: the content is no format we know.
    if (extension.empty()) throw EInvalidGraphic(Tr("无法识别的图片格式"));
    throw EInvalidGraphic(TrF("未知图片文件扩展(.%1)", {extension}));
  }
  return *pictureClass;
}

}  // namespace

const TGraphicClass& RecognisedGraphicClass(const std::string& fileName,
                                            const std::string& forcedExtension) {
  const std::string extension =
      forcedExtension.empty() ? ExtractExtension(fileName) : forcedExtension;
  if (!forcedExtension.empty()) {
    const TGraphicClass* forced = FileFormats().ClassForExtension(forcedExtension);
    ReadFileStart(fileName, 1);  // a missing file first
    return RequireClass(forced != nullptr && forced->Create != nullptr ? forced : nullptr,
                        extension);
  }
  // A file that cannot be read is reported as such before anything is said of its content.
  const std::vector<std::uint8_t> head = ReadFileStart(fileName, SignatureBytesNeeded());
  return RequireClass(RecogniseGraphicClass(FileFormats(), head, extension), extension);
}

std::unique_ptr<TGraphic> LoadRecognisedGraphic(const std::string& fileName,
                                                const std::string& forcedExtension) {
  if (fileName != "-") {
    std::unique_ptr<TGraphic> graphic = RecognisedGraphicClass(fileName, forcedExtension).Create();
    graphic->LoadFromFile(fileName);
    return graphic;
  }
  // Standard input is read once, and its first bytes tell the class.
  return LoadGraphicFromBytes(ReadPictureFile("/dev/stdin", true), forcedExtension);
}

std::unique_ptr<TGraphic> LoadGraphicFromBytes(const std::vector<std::uint8_t>& data,
                                               const std::string& forcedExtension) {
  const TGraphicClass* pictureClass = nullptr;
  if (!forcedExtension.empty()) {
    pictureClass = FileFormats().ClassForExtension(forcedExtension);
    if (pictureClass != nullptr && pictureClass->Create == nullptr) pictureClass = nullptr;
  } else {
    pictureClass = RecogniseGraphicClass(FileFormats(), data, {});
  }
  std::unique_ptr<TGraphic> graphic = RequireClass(pictureClass, forcedExtension).Create();
  graphic->LoadFromBytes(data);
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
