#include "formats/RLAGraphic.h"

#include "picture/Errors.h"

namespace pennacrow {

const TGraphicClass TRLAGraphic::ClassInfo{"TRLAGraphic", &TExtraFormatGraphic::ClassInfo, [] {
                                             return std::unique_ptr<TGraphic>(new TRLAGraphic);
                                           }};

void TRLAGraphic::LoadFromBytes(std::span<const std::uint8_t> data) {
  (void)data;
  throw EInvalidGraphicFormat(UnsupportedMessage("RLA", "图像读取"));
}

}  // namespace pennacrow
