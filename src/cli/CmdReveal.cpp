#include "cli/Cli.h"
#include "cli/Password.h"
#include "cli/Seal.h"
#include "codec/Container.h"
#include "crypto/CryptText.h"
#include "formats/Registry.h"
#include "picture/FractalImage.h"
#include "text/TextRules.h"

namespace pennacrow::cli {

// Reads the container of FILE: version 1 when the probe says so, else version 2, as the
// desktop program's read command does.
int CmdReveal(const std::vector<std::string>& words) {
  const TArgs args(words, {"-o", "--password-file"},
                   {"--decrypt", "--raw", "--save-file", "--force"});
  args.ExpectPositional(1);
  TFractalImage picture(FileFormats());
  picture.LoadPictureFile(args.Positional()[0]);
  const TBitmap& bitmap = picture.PictureBitmap();

  std::uint8_t format = DetectDataFormat(&bitmap);
  if (format == kFormatSealed) return RevealSealedCommand(args, bitmap);
  std::string text = ReadContainer(bitmap, format);
  // Only a format 2 container holds an ArmouredText; any other text is printed as it is.
  if (format == kFormatEncrypted && args.Has("--decrypt")) {
    text = DecryptTextWithPassword(ReadPassword(args), text);
  }
  if (!args.Has("--raw")) text = PayloadToUtf8(text);
  if (args.Has("-o")) {
    WriteOutputFile(args.Value("-o"), text);
  } else {
    WriteAllStdout(text);
  }
  return kExitSuccess;
}

}  // namespace pennacrow::cli
