#pragma once
// Verified saves: after a picture holding a container is saved, the file is read back through
// the registry and its container compared with the one in memory, so the user learns at once
// when a saved file no longer holds the hidden text.

#include <optional>
#include <string>

#include "codec/Container.h"
#include "picture/Bitmap.h"
#include "picture/FileFormats.h"
#include "picture/Graphic.h"

namespace pennacrow {

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
