#include "formats/PSPGraphic.h"

#include "picture/Errors.h"

namespace pennacrow {

const TGraphicClass TPSPGraphic::ClassInfo{"TPSPGraphic", &TExtraFormatGraphic::ClassInfo, [] {
                                             return std::unique_ptr<TGraphic>(new TPSPGraphic);
                                           }};

void TPSPGraphic::LoadFromBytes(std::span<const std::uint8_t> data) {
  (void)data;
  throw EInvalidGraphicFormat(UnsupportedMessage("PSP", "图像读取"));
}

}  // namespace pennacrow
