#pragma once
// TPCXGraphic: ZSoft PaintBrush files. Not decoded yet: every load is refused with the unsupported
// message.

#include "formats/ExtraFormatGraphic.h"

namespace pennacrow {

class TPCXGraphic : public TExtraFormatGraphic {
 public:
  static const TGraphicClass ClassInfo;
  const TGraphicClass& ClassType() const override { return ClassInfo; }

  void LoadFromBytes(std::span<const std::uint8_t> data) override;
};

}  // namespace pennacrow
