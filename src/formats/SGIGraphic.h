#pragma once
// TSGIGraphic: Silicon Graphics image files, verbatim and run-length encoded, 1 or 2 bytes per
// channel (2-byte samples reduced to 8 bits). One channel loads as 8-bit grey (as do two, the
// second being alpha, which is dropped), three as 24-bit and four as 32-bit.

#include "formats/ExtraFormatGraphic.h"

namespace pennacrow {

class TSGIGraphic : public TExtraFormatGraphic {
 public:
  static const TGraphicClass ClassInfo;
  const TGraphicClass& ClassType() const override { return ClassInfo; }

  void LoadFromBytes(std::span<const std::uint8_t> data) override;

  // Whether a file beginning with head has a header this class reads, the picture's size
  // against the limits aside. Recognition by content asks this; the load checks the same.
  static bool HeaderLooksValid(std::span<const std::uint8_t> head);
};

}  // namespace pennacrow
