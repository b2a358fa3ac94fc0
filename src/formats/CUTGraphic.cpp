#include "formats/CUTGraphic.h"

#include "picture/Errors.h"

namespace pennacrow {

const TGraphicClass TCUTGraphic::ClassInfo{"TCUTGraphic", &TExtraFormatGraphic::ClassInfo, [] {
                                             return std::unique_ptr<TGraphic>(new TCUTGraphic);
                                           }};

void TCUTGraphic::LoadFromBytes(std::span<const std::uint8_t> data) {
  (void)data;
  throw EInvalidGraphicFormat(UnsupportedMessage("CUT", "图像读取"));
}

}  // namespace pennacrow
