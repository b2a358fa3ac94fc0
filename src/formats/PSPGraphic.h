#pragma once
// TPSPGraphic: Paint Shop Pro image files (format version 4 and later, Paint Shop Pro 6 onward).
// The general image attributes give size and depth; the first layer's channels give the pixels.
// Colour images load as 24-bit, 32-bit when the layer carries a transparency mask; grey and
// indexed images keep their depth with their palette. Channels may be stored plain, run-length
// coded or deflated (the format's "LZ77").

#include "formats/ExtraFormatGraphic.h"

namespace pennacrow {

class TPSPGraphic : public TExtraFormatGraphic {
 public:
  static const TGraphicClass ClassInfo;
  const TGraphicClass& ClassType() const override { return ClassInfo; }

  void LoadFromBytes(std::span<const std::uint8_t> data) override;
};

}  // namespace pennacrow
