#include "cli/Cli.h"
#include "cli/Password.h"
#include "cli/Seal.h"
#include "codec/BinaryUnit.h"
#include "codec/Container.h"
#include "crypto/CryptText.h"
#include "formats/Registry.h"
#include "formats/SavePicture.h"
#include "formats/SaveVerify.h"
#include "picture/FractalImage.h"
#include "text/TextFile.h"
#include "text/TextRules.h"
#include "text/Translate.h"

namespace pennacrow::cli {

namespace {

std::string TextToHide(const TArgs& args) {
  std::string text;
  if (args.Has("--text")) {
    text = args.Value("--text");
  } else if (args.Has("--text-file")) {
    text = ReadTextFile(InputPath(args.Value("--text-file")));
  } else {
    text = ReadTextStdin();
  }
  if (args.Has("--raw")) return text;
  // Converting would turn a bad sequence into "?" and hide a text the user never wrote.
  if (const std::size_t bad = FirstInvalidUtf8(text); bad != std::string::npos) {
    throw std::runtime_error(
        TrF("文本不是有效的 UTF-8：第 %1 字节处的序列无效（要按原样保存字节，请用 --raw）",
            {std::to_string(bad)}));
  }
  return Utf8ToPayload(text);
}

}  // namespace

// Writes a version 2 container into CARRIER and saves the result as OUT. The text is stored as
// given (no line-break rules of the desktop memo); nothing is written to OUT on failure.
int CmdHide(const std::vector<std::string>& words) {
  const TArgs args(words, {"-o", "--text", "--text-file", "--file", "--password-file", "--format"},
                   {"--encrypt", "--raw", "--seal", "--stealth", "--adaptive"});
  args.ExpectPositional(1);
  if (!args.Has("-o")) throw EUsage(Tr("缺少 -o OUT"));
  const std::string out = args.Value("-o");
  const TSaveKind kind = OutputKind(out, args);
  if (args.Has("--text") && args.Has("--text-file")) {
    throw EUsage(Tr("--text 与 --text-file 只能选一个"));
  }
  if (args.Has("--seal") || args.Has("--file") || args.Has("--adaptive")) {
    return HideSealedCommand(args);
  }

  THideOptions hide;
  hide.Text = TextToHide(args);
  if (args.Has("--encrypt")) {
    hide.Text = EncryptTextWithPassword(ReadPassword(args), hide.Text);
    hide.Format = kFormatEncrypted;
  }
  if (args.Has("--stealth")) hide.Writing = TLowBitWriting::Stealth;

  TFractalImage picture(FileFormats());
  LoadPicture(picture, args.Positional()[0], args, out == "-");
  TBitmap& bitmap = picture.PictureBitmap();
  PrepareCarrierForSave(bitmap, kind);
  HideText(bitmap, hide);
  // The file must give the container back before it takes OUT's place; one that does not is
  // no result, and OUT stays as it was.
  SaveOutput(picture, out, kind, ContainerCheckedWrite(bitmap, FileFormats()));
  return kExitSuccess;
}

}  // namespace pennacrow::cli
