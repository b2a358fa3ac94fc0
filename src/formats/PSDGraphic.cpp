#include "formats/PSDGraphic.h"

#include "picture/Errors.h"

namespace pennacrow {

const TGraphicClass TPSDGraphic::ClassInfo{"TPSDGraphic", &TExtraFormatGraphic::ClassInfo, [] {
                                             return std::unique_ptr<TGraphic>(new TPSDGraphic);
                                           }};

void TPSDGraphic::LoadFromBytes(std::span<const std::uint8_t> data) {
  (void)data;
  throw EInvalidGraphicFormat(UnsupportedMessage("PSD", "图像读取"));
}

}  // namespace pennacrow
