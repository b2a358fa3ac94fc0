#include "formats/SGIGraphic.h"

#include "picture/Errors.h"

namespace pennacrow {

const TGraphicClass TSGIGraphic::ClassInfo{"TSGIGraphic", &TExtraFormatGraphic::ClassInfo, [] {
                                             return std::unique_ptr<TGraphic>(new TSGIGraphic);
                                           }};

void TSGIGraphic::LoadFromBytes(std::span<const std::uint8_t> data) {
  (void)data;
  throw EInvalidGraphicFormat(UnsupportedMessage("SGI", "图像读取"));
}

}  // namespace pennacrow
