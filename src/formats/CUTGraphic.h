#pragma once
// TCUTGraphic: Dr. Halo CUT files, 8-bit run-length rows, loaded as 8-bit indexed. A CUT file
// carries no colours: they come from the Dr. Halo palette file of the same name beside it (.pal),
// and without one the picture gets a grey ramp.

#include <string>

#include "formats/ExtraFormatGraphic.h"

namespace pennacrow {

class TCUTGraphic : public TExtraFormatGraphic {
 public:
  static const TGraphicClass ClassInfo;
  const TGraphicClass& ClassType() const override { return ClassInfo; }

  // Decodes the rows with a grey palette.
  void LoadFromBytes(std::span<const std::uint8_t> data) override;
  // Decodes the rows and takes the colours from the palette file beside the picture, if any.
  void LoadFromFile(const std::string& fileName) override;

  // Decodes a picture with the colours of a palette file's bytes (empty: grey ramp).
  void LoadWithPalette(std::span<const std::uint8_t> data, std::span<const std::uint8_t> palette);

  // Whether a file beginning with head has a header this class reads, the picture's size
  // against the limits aside. Recognition by content asks this; the load checks the same.
  static bool HeaderLooksValid(std::span<const std::uint8_t> head);
};

// The colours of a Dr. Halo palette file, scaled to 8 bits; the file's own scale (its maximum
// component values) is honoured. Raises EInvalidGraphicFormat with the palette message.
std::vector<TRGBQuad> ReadHaloPalette(std::span<const std::uint8_t> palette);

}  // namespace pennacrow
