#pragma once
// The 32 x 32 glyphs of the tool-bar buttons (the image list ImageList1): taken from the
// desktop's icon theme, with the style's own icons as fallbacks.

#include <QIcon>

namespace pennacrow {

// Index as in the image list: 0 load, 1 save, 3 print, 4 data, 5 key, 6 close, 7 help.
QIcon ToolGlyph(int index);

}  // namespace pennacrow
