#include "formats/AutodeskGraphic.h"

#include "picture/Errors.h"

namespace pennacrow {

const TGraphicClass TAutodeskGraphic::ClassInfo{
    "TAutodeskGraphic", &TExtraFormatGraphic::ClassInfo,
    [] { return std::unique_ptr<TGraphic>(new TAutodeskGraphic); }};

void TAutodeskGraphic::LoadFromBytes(std::span<const std::uint8_t> data) {
  (void)data;
  throw EInvalidGraphicFormat(UnsupportedMessage("Autodesk", "图像读取"));
}

}  // namespace pennacrow
