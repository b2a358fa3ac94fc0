#pragma once
// Verified saves: after a picture holding a container is saved, the file is read back through
// the registry and its container compared with the one in memory, so the user learns at once
// when a saved file no longer holds the hidden text.

#include <optional>
#include <string>

#include "picture/Bitmap.h"
#include "picture/FileFormats.h"

namespace pennacrow {

struct THiddenText {
  std::uint8_t Format = 0;
  std::string Text;
  friend bool operator==(const THiddenText&, const THiddenText&) = default;
};

// The container a bitmap holds, as the read command would take it; nothing when the probe finds
// no container (format 1, 2, 3 or 4).
std::optional<THiddenText> ReadHiddenText(const TBitmap& bitmap);

// Reads fileName back and compares its container with the one saved holds. Empty when saved
// holds no container or the file keeps it; otherwise the message for the user, with the reason
// and the way out.
std::string VerifySavedContainer(const TBitmap& saved, const std::string& fileName,
                                 const TFileFormatsList& formats);

}  // namespace pennacrow
