#include "picture/Icon.h"

#include "picture/Errors.h"

namespace pennacrow {

const TGraphicClass TIcon::ClassInfo{"TIcon", &TGraphic::ClassInfo,
                                     [] { return std::unique_ptr<TGraphic>(new TIcon); }};

void TIcon::LoadFromBytes(std::span<const std::uint8_t> data) {
  (void)data;
  throw EInvalidGraphicFormat(UnsupportedMessage("ICO", "图标"));
}

void TIcon::Draw(TBitmap& canvas) const { FImage.Draw(canvas); }

}  // namespace pennacrow
