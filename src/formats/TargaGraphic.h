#pragma once
// TTargaGraphic: TrueVision Targa files, uncompressed and run-length encoded: colour-mapped and
// grey pictures of 8 bits load as 8-bit indexed (grey with a grey palette), 16-bit grey with
// alpha as 8-bit grey, 15- and 16-bit colour as 15-bit 5-5-5 words, 24-bit as 24-bit and 32-bit
// as 32-bit (alpha in the fourth byte). Any of the four origins; run-length packets may run on
// into the next row.

#include "formats/ExtraFormatGraphic.h"

namespace pennacrow {

class TTargaGraphic : public TExtraFormatGraphic {
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
