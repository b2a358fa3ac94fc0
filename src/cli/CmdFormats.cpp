#include <iostream>

#include "base/Translate.h"
#include "cli/Cli.h"
#include "formats/Registry.h"

namespace pennacrow::cli {

// The registry entries oldest first, or with --filter the open dialog's filter string.
int CmdFormats(const std::vector<std::string>& words) {
  const TArgs args(words, {}, {"--filter"});
  args.ExpectPositional(0);
  const TFileFormatsList& formats = FileFormats();
  if (args.Has("--filter")) {
    std::cout << formats.BuildFilter(TGraphic::ClassInfo) << "\n";
    return kExitSuccess;
  }
  for (const TFileFormat& f : formats.Entries()) {
    std::cout << f.Suffix << '\t' << Tr(f.FormatText.c_str()) << '\t' << f.PictureClass->Name
              << '\n';
  }
  return kExitSuccess;
}

}  // namespace pennacrow::cli
