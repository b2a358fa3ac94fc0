#include "formats/EPSGraphic.h"

#include "picture/Errors.h"

namespace pennacrow {

const TGraphicClass TEPSGraphic::ClassInfo{"TEPSGraphic", &TTIFFGraphic::ClassInfo, [] {
                                             return std::unique_ptr<TGraphic>(new TEPSGraphic);
                                           }};

void TEPSGraphic::LoadFromBytes(std::span<const std::uint8_t> data) {
  (void)data;
  throw EInvalidGraphicFormat(UnsupportedMessage("EPS", "图像读取"));
}

}  // namespace pennacrow
