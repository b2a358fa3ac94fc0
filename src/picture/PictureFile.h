#pragma once
// Picture files as the decoders read them: regular files no larger than the pixel limits allow
// with room for what a file holds beside its pixels, whole or in parts.

#include <cstdint>
#include <string>
#include <vector>

#include "base/FileIO.h"
#include "picture/PixelLimits.h"

namespace pennacrow {

// Reads a picture file for a decoder. A file larger than the limits allow (MaxPictureFileBytes),
// or one that is not a regular file (a FIFO, a device), is refused before anything is read; a
// caller that means standard input passes allowStream, and a stream is refused as soon as it
// passes the same size, holding no more than that.
std::vector<std::uint8_t> ReadPictureFile(const std::string& fileName, bool allowStream = false,
                                          const TPixelLimits& limits = {});

// A picture file read in parts, for the decoders that read only what their rows need. Opened
// with ReadPictureFile's checks: regular files within the limits.
class TPictureFile : public TFileReader {
 public:
  explicit TPictureFile(const std::string& fileName, const TPixelLimits& limits = {});
};

}  // namespace pennacrow
