#include <iostream>

#include "cli/Cli.h"
#include "formats/Registry.h"
#include "formats/SavePicture.h"

namespace pennacrow::cli {

// Loads IN through the registry and saves it exactly as the desktop program's save would.
int CmdConvert(const std::vector<std::string>& words) {
  const TArgs args(words, {}, {});
  args.ExpectPositional(2);
  const std::string& in = args.Positional()[0];
  const std::string& out = args.Positional()[1];
  if (SaveKindFor(out) == TSaveKind::None) throw EUsage("输出文件的扩展名必须是 .bmp 或 .png");
  TFractalImage picture(FileFormats());
  picture.LoadPictureFile(in);
  SavePictureFile(picture, out);
  return kExitSuccess;
}

}  // namespace pennacrow::cli
