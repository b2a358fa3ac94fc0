#include <climits>

#include "base/Translate.h"
#include "cli/Cli.h"
#include "cli/Password.h"
#include "cli/Seal.h"
#include "codec/Container.h"
#include "crypto/CryptText.h"
#include "formats/Registry.h"
#include "picture/PictureRows.h"
#include "text/TextRules.h"

namespace pennacrow::cli {

namespace {

// The container of FILE, or the reason there is none.
THiddenText ReadNamedContainer(TCommandLineRows& rows, const TArgs& args) {
  const std::string& file = args.Positional()[0];
  THiddenText hidden;
  bool none = false;
  NamingTheFile(file, [&] {
    try {
      hidden = ReadHiddenText(rows, args.Has("--force"));
    } catch (const ENoHiddenText&) {
      none = true;
    }
  });
  if (!none) return hidden;
  // Only the rows a container would occupy were read: "no hidden text" must not stand for a
  // file that is damaged further down, so the rest is decoded before that answer is given.
  rows.Rows(INT_MAX);
  throw EPennacrowError(
      TrF("%1：%2",
          {ShownName(file), TrF("%1（要照样读取最低位，请加 --force；用密钥自适应写入的内容请加 "
                                "--adaptive）",
                                {ENoHiddenText().what()})}));
}

}  // namespace

// Reads the container of FILE as the desktop program's read command does. A picture without a
// container is a failure unless --force, which reads its low bits anyway.
int CmdReveal(const std::vector<std::string>& words) {
  const TArgs args(words, {"-o", "--password-file", "--format"},
                   {"--decrypt", "--raw", "--save-file", "--force", "--adaptive"});
  args.ExpectPositional(1);
  if (args.Has("--adaptive")) return RevealAdaptiveCommand(args);
  const std::string& file = args.Positional()[0];
  // Only the rows the container occupies are decoded.
  TCommandLineRows rows(file, args);
  if (DetectDataFormat(rows) == kFormatSealed) {
    return RevealSealedCommand(args, ContainerRows(rows, kFormatSealed));
  }
  const THiddenText hidden = ReadNamedContainer(rows, args);
  std::string text = hidden.Text;
  if (args.Has("--decrypt")) {
    // Only a format 2 container holds an ArmouredText; "decrypting" anything else would print
    // nonsense and call it the text.
    if (hidden.Format != kFormatEncrypted) {
      throw EPennacrowError(TrF("%1：%2", {ShownName(file), Tr("这幅图片里的文本没有加密，不能用 "
                                                               "--decrypt 解密（去掉 --decrypt "
                                                               "即可读出）")}));
    }
    text = DecryptTextWithPassword(ReadPassword(args), text);
  }
  if (!args.Has("--raw")) text = PayloadToUtf8(text);
  WriteRevealedText(args, text);
  return kExitSuccess;
}

}  // namespace pennacrow::cli
