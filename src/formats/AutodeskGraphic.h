#pragma once
// TAutodeskGraphic: Autodesk Animator CEL and PIC files (the 0x9119 header), 8-bit pixels with a
// 6-bit palette, loaded as 8-bit indexed.

#include "formats/ExtraFormatGraphic.h"

namespace pennacrow {

class TAutodeskGraphic : public TExtraFormatGraphic {
 public:
  static const TGraphicClass ClassInfo;
  const TGraphicClass& ClassType() const override { return ClassInfo; }

  void LoadFromBytes(std::span<const std::uint8_t> data) override;

  // Whether a file beginning with head has a header this class reads, the picture's size
  // against the limits aside. Recognition by content asks this; the load checks the same.
  static bool HeaderLooksValid(std::span<const std::uint8_t> head);
};

}  // namespace pennacrow
