#pragma once
// TPSDGraphic: Photoshop files, the merged picture at their end, raw or PackBits compressed, 8
// or 16 bits per channel (16-bit samples reduced to 8). Bitmap mode loads as 1-bit, grey and
// duotone as 8-bit grey, indexed as 8-bit with the file's colour table, RGB as 24-bit (32-bit
// when a fourth channel holds alpha), CMYK and Lab as 24-bit, multichannel as 24-bit: each
// channel an ink of the colour and solidity its DisplayInfo resource gives (alpha channels not
// shown), overprinted on white, or without the resource the inks Photoshop makes (one channel
// black, as 8-bit grey; three or more cyan, magenta, yellow and black).
//
// CMYK samples are stored inverted (255 is no ink), so red is C' x K' / 255 and so on, without
// a colour profile. Lab is Photoshop's D50 Lab, taken to XYZ, adapted to D65 with the Bradford
// transform and converted to sRGB with its transfer curve.

#include "formats/ExtraFormatGraphic.h"

namespace pennacrow {

class TPSDGraphic : public TExtraFormatGraphic {
 public:
  static const TGraphicClass ClassInfo;
  const TGraphicClass& ClassType() const override { return ClassInfo; }

  void LoadFromBytes(std::span<const std::uint8_t> data) override;

  // Whether a file beginning with head has a header this class reads, the picture's size
  // against the limits aside. Recognition by content asks this; the load checks the same.
  static bool HeaderLooksValid(std::span<const std::uint8_t> head);
};

}  // namespace pennacrow
