#pragma once
// TTIFFGraphic: the first image of a TIFF file through libtiff, read from memory. A tiled file
// gives an empty 0 x 0 picture.

#include <string>

#include "formats/ExtraFormatGraphic.h"

namespace pennacrow {

class TTIFFGraphic : public TExtraFormatGraphic {
 public:
  static const TGraphicClass ClassInfo;
  const TGraphicClass& ClassType() const override { return ClassInfo; }

  void LoadFromBytes(std::span<const std::uint8_t> data) override;

 protected:
  // Decodes TIFF bytes; format names the file type in messages ("TIFF", "EPS").
  void LoadTIFF(std::span<const std::uint8_t> data, const std::string& format);
};

}  // namespace pennacrow
