#include "formats/JPEGImage.h"

#include "picture/Errors.h"

namespace pennacrow {

const TGraphicClass TJPEGImage::ClassInfo{"TJPEGImage", &TGraphic::ClassInfo,
                                          [] { return std::unique_ptr<TGraphic>(new TJPEGImage); }};

void TJPEGImage::LoadFromBytes(std::span<const std::uint8_t> data) {
  (void)data;
  throw EInvalidGraphicFormat(UnsupportedMessage("JPEG", "图像读取"));
}

}  // namespace pennacrow
