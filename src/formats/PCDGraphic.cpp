#include "formats/PCDGraphic.h"

#include "picture/Errors.h"

namespace pennacrow {

const TGraphicClass TPCDGraphic::ClassInfo{"TPCDGraphic", &TExtraFormatGraphic::ClassInfo, [] {
                                             return std::unique_ptr<TGraphic>(new TPCDGraphic);
                                           }};

void TPCDGraphic::LoadFromBytes(std::span<const std::uint8_t> data) {
  (void)data;
  throw EInvalidGraphicFormat(UnsupportedMessage("PCD", "图像读取"));
}

}  // namespace pennacrow
