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
    throw EPennacrowError(
        TrF("文本不是有效的 UTF-8：第 %1 字节处的序列无效（要按原样保存字节，请用 --raw）",
            {std::to_string(bad)}));
  }
  return Utf8ToPayload(text);
}

// A plain container must hold what reveal takes for a text, or reveal would take it for the
// picture's own low bits. An empty text is written as always and holds nothing to reveal.
void RequirePlainText(const std::string& text) {
  if (text.empty() || IsPlainText(text)) return;
  if (FirstInvalidUtf8(text) != std::string::npos) {
    if (const std::size_t bad = FirstInvalidPayloadText(text); bad != std::string::npos) {
      throw EPennacrowError(
          TrF("--raw 的字节既不是 GB18030 也不是 UTF-8 文本：第 %1 "
              "字节处的序列无效（要隐藏任意字节，请用 --encrypt 或 --seal）",
              {std::to_string(bad)}));
    }
  }
  throw EPennacrowError(Tr("文本只有控制字符：读取时会被当作图片本身的最低位，而不是隐藏的文本"));
}

// The armour takes 4 characters for every 3 bytes: the room is told in bytes of the user's text,
// and before the password is asked for.
void RequireEncryptedFits(const TBitmap& bitmap, std::size_t textBytes) {
  const auto room =
      static_cast<std::size_t>(MaxEncryptedTextBytes(bitmap.Width(), bitmap.Height()));
  if (textBytes > room) {
    throw ETextDoesNotFit(
        TrF("文本太长：加密后的文本比原文多三分之一，这张图片最多能容纳 %1 "
            "字节的文本，文本有 %2 字节",
            {std::to_string(room), std::to_string(textBytes)}));
  }
}

}  // namespace

// Writes a version 2 container into CARRIER and saves the result as OUT. The text is stored as
// given (no line-break rules of the desktop memo); nothing is written to OUT on failure.
int CmdHide(const std::vector<std::string>& words) {
  const TArgs args(words, {"-o", "--text", "--text-file", "--file", "--password-file", "--format"},
                   {"--encrypt", "--raw", "--seal", "--stealth", "--adaptive", "--strip-metadata"});
  args.ExpectPositional(1);
  if (!args.Has("-o")) throw EUsage(Tr("缺少 -o OUT"));
  const std::string out = args.Value("-o");
  if (JpegOutputAsked(out, args)) return HideJpegCommand(args);
  if (args.Has("--strip-metadata")) {
    throw EUsage(Tr("--strip-metadata 只用于写出 JPEG（--seal --adaptive -o OUT.jpg）"));
  }
  const TSaveKind kind = OutputKind(out, args);
  if (args.Has("--text") && args.Has("--text-file")) {
    throw EUsage(Tr("--text 与 --text-file 只能选一个"));
  }
  if (args.Has("--seal") || args.Has("--file") || args.Has("--adaptive")) {
    return HideSealedCommand(args);
  }

  THideOptions hide;
  hide.Text = TextToHide(args);
  if (!args.Has("--encrypt")) RequirePlainText(hide.Text);
  if (args.Has("--stealth")) hide.Writing = TLowBitWriting::Stealth;

  const std::string& carrier = args.Positional()[0];
  TFractalImage picture(FileFormats());
  LoadPicture(picture, carrier);
  TBitmap& bitmap = picture.PictureBitmap();
  NoteDroppedAlpha(bitmap, carrier, kind);
  PrepareCarrierForSave(bitmap, kind);
  if (args.Has("--encrypt")) {
    NamingTheFile(carrier, [&] { RequireEncryptedFits(bitmap, hide.Text.size()); });
    hide.Text = EncryptTextWithPassword(ReadPassword(args), hide.Text);
    hide.Format = kFormatEncrypted;
  }
  NamingTheFile(carrier, [&] { HideText(bitmap, hide); });
  // The file must give the container back before it takes OUT's place; one that does not is
  // no result, and OUT stays as it was.
  SaveOutput(picture, out, kind, ContainerCheckedWrite(bitmap, FileFormats()));
  return kExitSuccess;
}

}  // namespace pennacrow::cli
