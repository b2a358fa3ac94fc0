#pragma once
// Sealed containers on the command line: hide --seal, and reveal of a format 4 picture.

#include <string>

#include "cli/Cli.h"
#include "picture/Bitmap.h"

namespace pennacrow::cli {

// hide with --seal (or --file): seals --text, --text-file, --file or standard input into
// CARRIER and saves OUT, with --adaptive by keyed adaptive writing. args are CmdHide's, already
// checked for -o and its extension.
int HideSealedCommand(const TArgs& args);

// True when hide is to write a JPEG: OUT's extension, or --format jpeg.
bool JpegOutputAsked(const std::string& out, const TArgs& args);
// hide --seal --adaptive into a JPEG's coefficients, written as a JPEG (with its markers unless
// --strip-metadata); refuses every other way of hiding and a carrier that is no JPEG.
int HideJpegCommand(const TArgs& args);

// reveal of a picture whose probe found a sealed container.
int RevealSealedCommand(const TArgs& args, const TBitmap& bitmap);

// reveal --adaptive: the keyed message of FILE, which nothing in the picture shows.
int RevealAdaptiveCommand(const TArgs& args);

// A password's UTF-8 in normalisation form C, so that a password typed as composed or decomposed
// characters opens the same seal. Refuses bytes that are not UTF-8. utf8 is wiped.
std::string NormalizedPassword(std::string& utf8);

}  // namespace pennacrow::cli
