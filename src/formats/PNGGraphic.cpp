#include "formats/PNGGraphic.h"

#include "picture/Errors.h"

namespace pennacrow {

const TGraphicClass TPNGGraphic::ClassInfo{"TPNGGraphic", &TExtraFormatGraphic::ClassInfo, [] {
                                             return std::unique_ptr<TGraphic>(new TPNGGraphic);
                                           }};

void TPNGGraphic::LoadFromBytes(std::span<const std::uint8_t> data) {
  (void)data;
  throw EInvalidGraphicFormat(UnsupportedMessage("PNG", "图像读取"));
}

}  // namespace pennacrow
