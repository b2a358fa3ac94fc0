#include "formats/ExtraFormatGraphic.h"

namespace pennacrow {

// Abstract: only its descendants are created by the registry.
const TGraphicClass TExtraFormatGraphic::ClassInfo{"TExtraFormatGraphic", &TBitmap::ClassInfo,
                                                   nullptr};

}  // namespace pennacrow
