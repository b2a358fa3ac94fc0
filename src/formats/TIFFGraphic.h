#pragma once
// TTIFFGraphic: the first image of a TIFF file through libtiff, read from memory, strips or
// tiles. Grey and palette pictures of 1 to 16 bits keep their depth rules; grey, RGB and 16-bit
// palette samples of other depths (up to 32 bits, or 32- and 64-bit floating point clamped to
// 0..1) are reduced to 8 bits, round(v x 255 / max). CIE L*a*b* (D50) is converted to sRGB with
// the Bradford adaptation to D65.

#include <string>

#include "formats/ExtraFormatGraphic.h"

namespace pennacrow {

class TTIFFGraphic : public TExtraFormatGraphic {
 public:
  static const TGraphicClass ClassInfo;
  const TGraphicClass& ClassType() const override { return ClassInfo; }

  void LoadFromBytes(std::span<const std::uint8_t> data) override;
  std::optional<int> LoadFirstRows(const std::string& fileName, int rowCount) override;

 protected:
  // Decodes TIFF bytes; format names the file type in messages ("TIFF", "EPS").
  void LoadTIFF(std::span<const std::uint8_t> data, const std::string& format);
};

}  // namespace pennacrow
