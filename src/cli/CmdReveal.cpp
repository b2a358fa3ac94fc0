#include "cli/Cli.h"
#include "cli/Password.h"
#include "cli/Seal.h"
#include "codec/Container.h"
#include "crypto/CryptText.h"
#include "formats/Registry.h"
#include "picture/PictureRows.h"
#include "text/TextRules.h"
#include "text/Translate.h"

namespace pennacrow::cli {

// Reads the container of FILE as the desktop program's read command does. A picture without a
// container is a failure unless --force, which reads its low bits anyway.
int CmdReveal(const std::vector<std::string>& words) {
  const TArgs args(words, {"-o", "--password-file", "--format"},
                   {"--decrypt", "--raw", "--save-file", "--force", "--adaptive"});
  args.ExpectPositional(1);
  if (args.Has("--adaptive")) return RevealAdaptiveCommand(args);
  // Only the rows the container occupies are decoded.
  TCommandLineRows rows(args.Positional()[0], args);
  if (DetectDataFormat(rows) == kFormatSealed) {
    return RevealSealedCommand(args, ContainerRows(rows, kFormatSealed));
  }
  THiddenText hidden;
  try {
    hidden = ReadHiddenText(rows, args.Has("--force"));
  } catch (const ENoHiddenText& e) {
    throw std::runtime_error(
        TrF("%1：%2", {ShownName(args.Positional()[0]),
                       TrF("%1（要照样读取最低位，请加 --force；用密钥自适应写入的内容请加 "
                           "--adaptive）",
                           {e.what()})}));
  }
  std::string text = std::move(hidden.Text);
  // Only a format 2 container holds an ArmouredText; any other text is printed as it is.
  if (hidden.Format == kFormatEncrypted && args.Has("--decrypt")) {
    text = DecryptTextWithPassword(ReadPassword(args), text);
  }
  if (!args.Has("--raw")) text = PayloadToUtf8(text);
  if (args.Has("-o") && args.Value("-o") != "-") {
    WriteOutputFile(args.Value("-o"), text, true);
  } else {
    WriteAllStdout(text);
  }
  return kExitSuccess;
}

}  // namespace pennacrow::cli
