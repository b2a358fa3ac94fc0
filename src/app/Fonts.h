#pragma once
// The windows' font, which the main window, its dialogs and the application share.

#include <QFont>

namespace pennacrow {

// "宋体" of the given character height in pixels, with the CJK fonts of a Linux desktop behind
// it.
QFont ShellFont(int pixelSize);

}  // namespace pennacrow
