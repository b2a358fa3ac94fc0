#pragma once
// TPSDGraphic: Photoshop files. Not decoded yet: every load is refused with the unsupported
// message.

#include "formats/ExtraFormatGraphic.h"

namespace pennacrow {

class TPSDGraphic : public TExtraFormatGraphic {
 public:
  static const TGraphicClass ClassInfo;
  const TGraphicClass& ClassType() const override { return ClassInfo; }

  void LoadFromBytes(std::span<const std::uint8_t> data) override;
};

}  // namespace pennacrow
