#include "formats/PPMGraphic.h"

#include "picture/Errors.h"

namespace pennacrow {

const TGraphicClass TPPMGraphic::ClassInfo{"TPPMGraphic", &TExtraFormatGraphic::ClassInfo, [] {
                                             return std::unique_ptr<TGraphic>(new TPPMGraphic);
                                           }};

void TPPMGraphic::LoadFromBytes(std::span<const std::uint8_t> data) {
  (void)data;
  throw EInvalidGraphicFormat(UnsupportedMessage("PPM", "图像读取"));
}

}  // namespace pennacrow
