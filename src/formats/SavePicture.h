#pragma once
// Which writer a picture file name asks for: the extension, upper-cased, is ".BMP" or ".PNG";
// any other extension, or none, saves nothing.

#include <string>

#include "base/FileIO.h"
#include "picture/Errors.h"
#include "picture/FractalImage.h"

namespace pennacrow {

enum class TSaveKind { None, Bmp, Png };

TSaveKind SaveKindFor(const std::string& fileName);

// The save of both front ends: BMP through the picture's own save, PNG through SaveAsPNG,
// anything else writes nothing. An empty picture (none, or 0 x 0) is refused with
// EEmptyPicture and leaves the file as it was: no reader would accept what it would write.
// Returns what was written.
TSaveKind SavePictureFile(TFractalImage& picture, const std::string& fileName,
                          const TWriteOptions& options = {});

// The bytes SavePictureFile would write, for a front end that sends them to a stream.
std::vector<std::uint8_t> PictureFileBytes(TFractalImage& picture, TSaveKind kind);

class EEmptyPicture : public EPennacrowError {
 public:
  EEmptyPicture();
};

// The save dialog's name with the extension its chosen filter stands for (0 BMP, 1 PNG, any
// other the default, BMP) when the name has none; a name with an extension is kept as it is.
std::string WithSaveExtension(const std::string& fileName, int chosenFilter);

// The name the save dialog proposes for a picture loaded from fileName: the name itself when a
// writer takes its extension, else the same name as a bitmap ("photo.jpg" becomes
// "photo.bmp"), so that the proposal is never a name the save refuses. Empty stays empty.
std::string SaveNameFor(const std::string& fileName);

// The message for a name whose extension neither writer takes.
std::string UnsavableExtensionMessage(const std::string& fileName);

// True when a save of this kind loses transparency the picture has: a PNG is written without an
// alpha channel, and a 32-bit picture uses its fourth bytes when they differ from pixel to pixel
// or are all one value between 0 and 255.
bool SaveDropsAlpha(const TBitmap& bitmap, TSaveKind kind);

}  // namespace pennacrow
