#pragma once
// TPCDGraphic: Kodak Photo-CD image packs. The base resolution (768 x 512) sits at a fixed place
// in every file as luma rows with chroma at half resolution (PhotoYCC 4:2:0) and loads as 24-bit.

#include "formats/ExtraFormatGraphic.h"

namespace pennacrow {

class TPCDGraphic : public TExtraFormatGraphic {
 public:
  static const TGraphicClass ClassInfo;
  const TGraphicClass& ClassType() const override { return ClassInfo; }

  void LoadFromBytes(std::span<const std::uint8_t> data) override;

  // Whether a file beginning with head has the signature this class reads ("PCD_IPI" at
  // 0x800). Recognition by content asks this; the load checks the same.
  static bool HeaderLooksValid(std::span<const std::uint8_t> head);
};

}  // namespace pennacrow
