#pragma once
// TPCXGraphic: ZSoft PaintBrush files (and Word 5 screen captures, which are PCX files). 1 bit
// loads as 1-bit; 2 or 4 bits packed, or 2 to 4 planes of 1 bit, as 4-bit; 8 bits as 8-bit with
// the palette at the end of the file; 3 planes of 8 bits as 24-bit and 4 planes of 8 bits
// (colour with alpha) as 32-bit.

#include "formats/ExtraFormatGraphic.h"

namespace pennacrow {

class TPCXGraphic : public TExtraFormatGraphic {
 public:
  static const TGraphicClass ClassInfo;
  const TGraphicClass& ClassType() const override { return ClassInfo; }

  void LoadFromBytes(std::span<const std::uint8_t> data) override;
  std::optional<int> LoadFirstRows(const std::string& fileName, int rowCount) override;

  // Whether a file beginning with head has a header this class reads, the picture's size
  // against the limits aside. Recognition by content asks this; the load checks the same.
  static bool HeaderLooksValid(std::span<const std::uint8_t> head);
};

}  // namespace pennacrow
