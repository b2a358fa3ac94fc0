#pragma once
// TExtraFormatGraphic: the common base of the decoders that load a picture file straight into a
// bitmap. The decoded picture is the bitmap itself, so the picture control copies it as it is.

#include "picture/Bitmap.h"

namespace pennacrow {

class TExtraFormatGraphic : public TBitmap {
 public:
  static const TGraphicClass ClassInfo;
  const TGraphicClass& ClassType() const override { return ClassInfo; }
};

}  // namespace pennacrow
