#include "formats/GIFImage.h"

#include "picture/Errors.h"

namespace pennacrow {

const TGraphicClass TGIFImage::ClassInfo{"TGIFImage", &TGraphic::ClassInfo,
                                         [] { return std::unique_ptr<TGraphic>(new TGIFImage); }};

void TGIFImage::LoadFromBytes(std::span<const std::uint8_t> data) {
  (void)data;
  throw EInvalidGraphicFormat(UnsupportedMessage("GIF", "图像读取"));
}

}  // namespace pennacrow
