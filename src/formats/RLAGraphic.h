#pragma once
// TRLAGraphic: Wavefront/Alias RLA and RPF files: a 740-byte header, a table of scanline offsets
// and run-length coded channels per scanline, of 8 or (reduced to 8) 9 to 16 bits. Loads as
// 24-bit, or 32-bit with the matte channel as alpha.

#include "formats/ExtraFormatGraphic.h"

namespace pennacrow {

class TRLAGraphic : public TExtraFormatGraphic {
 public:
  static const TGraphicClass ClassInfo;
  const TGraphicClass& ClassType() const override { return ClassInfo; }

  void LoadFromBytes(std::span<const std::uint8_t> data) override;

  // Whether a file beginning with head has a header this class reads, the picture's size
  // against the limits aside. Recognition by content asks this; the load checks the same.
  static bool HeaderLooksValid(std::span<const std::uint8_t> head);
};

}  // namespace pennacrow
