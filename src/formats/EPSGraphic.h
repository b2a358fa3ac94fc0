#pragma once
// TEPSGraphic: the TIFF preview inside a DOS EPS binary file (header C5 D0 D3 C6).

#include "formats/TIFFGraphic.h"

namespace pennacrow {

class TEPSGraphic : public TTIFFGraphic {
 public:
  static const TGraphicClass ClassInfo;
  const TGraphicClass& ClassType() const override { return ClassInfo; }

  void LoadFromBytes(std::span<const std::uint8_t> data) override;

  // Whether a file beginning with head has a header this class reads, the picture's size
  // against the limits aside. Recognition by content asks this; the load checks the same.
  static bool HeaderLooksValid(std::span<const std::uint8_t> head);
};

}  // namespace pennacrow
