#include "formats/TIFFGraphic.h"

#include "picture/Errors.h"

namespace pennacrow {

const TGraphicClass TTIFFGraphic::ClassInfo{"TTIFFGraphic", &TExtraFormatGraphic::ClassInfo, [] {
                                              return std::unique_ptr<TGraphic>(new TTIFFGraphic);
                                            }};

void TTIFFGraphic::LoadTIFF(std::span<const std::uint8_t> data, const std::string& format) {
  (void)data;
  (void)format;
}

void TTIFFGraphic::LoadFromBytes(std::span<const std::uint8_t> data) {
  (void)data;
  throw EInvalidGraphicFormat(UnsupportedMessage("TIFF", "图像读取"));
}

}  // namespace pennacrow
