#include "formats/TargaGraphic.h"

#include "picture/Errors.h"

namespace pennacrow {

const TGraphicClass TTargaGraphic::ClassInfo{"TTargaGraphic", &TExtraFormatGraphic::ClassInfo, [] {
                                               return std::unique_ptr<TGraphic>(new TTargaGraphic);
                                             }};

void TTargaGraphic::LoadFromBytes(std::span<const std::uint8_t> data) {
  (void)data;
  throw EInvalidGraphicFormat(UnsupportedMessage("Targa", "图像读取"));
}

}  // namespace pennacrow
