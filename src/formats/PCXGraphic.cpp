#include "formats/PCXGraphic.h"

#include "picture/Errors.h"

namespace pennacrow {

const TGraphicClass TPCXGraphic::ClassInfo{"TPCXGraphic", &TExtraFormatGraphic::ClassInfo, [] {
                                             return std::unique_ptr<TGraphic>(new TPCXGraphic);
                                           }};

void TPCXGraphic::LoadFromBytes(std::span<const std::uint8_t> data) {
  (void)data;
  throw EInvalidGraphicFormat(UnsupportedMessage("PCX or SCR", "图像读取"));
}

}  // namespace pennacrow
