#include <iostream>

#include "cli/Cli.h"
#include "formats/Registry.h"
#include "formats/SavePicture.h"

namespace pennacrow::cli {

// Loads IN through the registry and saves it exactly as the desktop program's save would.
int CmdConvert(const std::vector<std::string>& words) {
  const TArgs args(words, {"--format"}, {});
  args.ExpectPositional(2);
  const std::string& in = args.Positional()[0];
  const std::string& out = args.Positional()[1];
  const TSaveKind kind = OutputKind(out, args);
  TFractalImage picture(FileFormats());
  LoadPicture(picture, in);
  NoteDroppedAlpha(picture.PictureBitmap(), in, kind);
  SaveOutput(picture, out, kind);
  return kExitSuccess;
}

}  // namespace pennacrow::cli
