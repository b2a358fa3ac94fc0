#pragma once
// TPNGGraphic: PNG files through libpng, each colour type and bit depth into its own bitmap
// layout (indexed depths keep their indices, 16-bit samples are scaled to 8, a gAMA chunk applies
// its gamma table to the colour samples).

#include "formats/ExtraFormatGraphic.h"

namespace pennacrow {

class TPNGGraphic : public TExtraFormatGraphic {
 public:
  static const TGraphicClass ClassInfo;
  const TGraphicClass& ClassType() const override { return ClassInfo; }

  void LoadFromBytes(std::span<const std::uint8_t> data) override;
  std::optional<int> LoadFirstRows(const std::string& fileName, int rowCount) override;
};

}  // namespace pennacrow
