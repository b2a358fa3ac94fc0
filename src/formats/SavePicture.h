#pragma once
// Which writer a picture file name asks for: the extension, upper-cased, is ".BMP" or ".PNG";
// any other extension, or none, saves nothing.

#include <string>

#include "picture/FractalImage.h"

namespace pennacrow {

enum class TSaveKind { None, Bmp, Png };

TSaveKind SaveKindFor(const std::string& fileName);

// The main window's save: BMP through the picture's own save, PNG through SaveAsPNG (an empty
// control hands an empty bitmap to the PNG writer), anything else writes nothing.
// Returns what was written.
TSaveKind SavePictureFile(TFractalImage& picture, const std::string& fileName);

}  // namespace pennacrow

namespace pennacrow {

// True when saving this bitmap as PNG would lose the container it holds: the PNG writer keeps
// 1, 4, 8 and 24 bits per pixel and converts every other depth, which moves the carrier bytes.
bool PngSaveLosesContainer(const TBitmap& bitmap);

// Makes a carrier keep its container through a save of this kind: the PNG writer keeps 1, 4, 8
// and 24 bits per pixel byte for byte, so any other depth is converted to 24 bits before the
// container is written. The command-line hide does this; the desktop program warns instead.
void PrepareCarrierForSave(TBitmap& carrier, TSaveKind kind);

// The warning shown before such a save.
std::string PngLossWarning(const TBitmap& bitmap);

}  // namespace pennacrow
