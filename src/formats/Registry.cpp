#include "formats/Registry.h"

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
#include "picture/Icon.h"
#include "picture/Metafile.h"

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

}  // namespace

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
