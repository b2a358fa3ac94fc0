#pragma once
// A container must survive the save of the picture that carries it. Which saves would lose it,
// how a carrier is made to keep it, and the verified save: after a picture holding a container
// is saved, the file is read back through the registry and its container compared with the one
// in memory, so the user learns at once when a saved file no longer holds the hidden text.

#include <optional>
#include <string>

#include "base/FileIO.h"
#include "codec/Container.h"
#include "formats/SavePicture.h"
#include "picture/Bitmap.h"
#include "picture/FileFormats.h"
#include "picture/Graphic.h"

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

// Reads fileName back (through pictureClass when given, else the class its extension names) and
// compares its container with the one saved holds. Empty when saved holds no container or the
// file keeps it; otherwise the message for the user, with the reason and the way out.
std::string VerifySavedContainer(const TBitmap& saved, const std::string& fileName,
                                 const TFileFormatsList& formats,
                                 const TGraphicClass* pictureClass = nullptr);

// Write options whose check reads the finished temporary file back before it takes the
// target's place: a file that does not give saved's container back never replaces the target.
TWriteOptions ContainerCheckedWrite(const TBitmap& saved, const TFileFormatsList& formats);

}  // namespace pennacrow
