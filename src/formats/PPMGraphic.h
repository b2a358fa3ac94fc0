#pragma once
// TPPMGraphic: PBM, PGM and PPM files (P1 to P6) through libnetpbm. Bitmaps (P1, P4) give 1 bit,
// grey maps (P2, P5) 8-bit grey, pixel maps (P3, P6) 24 bits.

#include "formats/ExtraFormatGraphic.h"

namespace pennacrow {

class TPPMGraphic : public TExtraFormatGraphic {
 public:
  static const TGraphicClass ClassInfo;
  const TGraphicClass& ClassType() const override { return ClassInfo; }

  void LoadFromBytes(std::span<const std::uint8_t> data) override;
  std::optional<int> LoadFirstRows(const std::string& fileName, int rowCount) override;

  // Whether a file beginning with head has a header this class reads (P1 to P6). Recognition
  // by content asks this; the load checks the same.
  static bool HeaderLooksValid(std::span<const std::uint8_t> head);
};

}  // namespace pennacrow
