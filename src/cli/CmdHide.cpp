#include <cstdio>

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
#include "text/TextRules.h"

namespace pennacrow::cli {

// Writes a version 2 container into CARRIER and saves the result as OUT. The text is stored as
// given (no line-break rules of the desktop memo); nothing is written to OUT on failure.
int CmdHide(const std::vector<std::string>& words) {
  const TArgs args(words, {"-o", "--text", "--text-file", "--file", "--password-file"},
                   {"--encrypt", "--raw", "--seal"});
  args.ExpectPositional(1);
  if (!args.Has("-o")) throw EUsage("缺少 -o OUT");
  const std::string out = args.Value("-o");
  const TSaveKind kind = SaveKindFor(out);
  if (kind == TSaveKind::None) throw EUsage("输出文件的扩展名必须是 .bmp 或 .png");
  if (args.Has("--text") && args.Has("--text-file")) {
    throw EUsage("--text 与 --text-file 只能选一个");
  }
  if (args.Has("--seal") || args.Has("--file")) return HideSealedCommand(args);

  std::string text;
  if (args.Has("--text")) {
    text = args.Value("--text");
  } else if (args.Has("--text-file")) {
    const auto bytes = ReadWholeFile(args.Value("--text-file"));
    text.assign(bytes.begin(), bytes.end());
  } else {
    text = ReadAllStdin();
  }
  if (!args.Has("--raw")) text = Utf8ToPayload(text);
  std::uint8_t format = kFormatPlain;
  if (args.Has("--encrypt")) {
    text = EncryptTextWithPassword(ReadPassword(args), text);
    format = kFormatEncrypted;
  }

  TFractalImage picture(FileFormats());
  picture.LoadPictureFile(args.Positional()[0]);
  TBitmap& bitmap = picture.PictureBitmap();
  PrepareCarrierForSave(bitmap, kind);
  AddBinaryToImage(bitmap, BuildBinaryString(text, format));
  SavePictureFile(picture, out);
  // The file must give the text back; one that does not is no result.
  const std::string problem = VerifySavedContainer(bitmap, out, FileFormats());
  if (!problem.empty()) {
    std::remove(out.c_str());
    throw EPennacrowError(problem);
  }
  return kExitSuccess;
}

}  // namespace pennacrow::cli
