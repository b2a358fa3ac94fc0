#include "cli/Seal.h"
#include "text/TextFile.h"
#include "text/Translate.h"

#include <sys/stat.h>

#include <QString>
#include <QStringDecoder>
#include <cerrno>
#include <cstdio>
#include <iostream>

#include "adaptive/AdaptiveBitmap.h"
#include "cli/Password.h"
#include "codec/SealedContainer.h"
#include "crypto/CryptBase.h"
#include "formats/Registry.h"
#include "formats/SavePicture.h"
#include "formats/SaveVerify.h"
#include "picture/FractalImage.h"
#include "picture/Graphic.h"

namespace pennacrow::cli {

namespace {

// A password string overwritten when the scope ends, whatever way it ends.
class TSecret {
 public:
  explicit TSecret(std::string text) : FText(std::move(text)) {}
  TSecret(const TSecret&) = delete;
  TSecret& operator=(const TSecret&) = delete;
  ~TSecret() { SecureFill(FText.data(), FText.size(), 0); }
  const std::string& Text() const { return FText; }

 private:
  std::string FText;
};

std::string BaseName(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

TSealedContent ContentToSeal(const TArgs& args) {
  const int sources =
      int{args.Has("--text")} + int{args.Has("--text-file")} + int{args.Has("--file")};
  if (sources > 1) throw EUsage(Tr("--text、--text-file 与 --file 只能选一个"));
  TSealedContent content;
  if (args.Has("--file")) {
    const std::string path = args.Value("--file");
    content.Kind = TSealedKind::File;
    content.Name = BaseName(path);
    CheckSealedFileName(content.Name);
    const auto bytes = ReadWholeFile(InputPath(path), kMaxTextFileBytes, N_("文件"));
    content.Bytes.assign(bytes.begin(), bytes.end());
  } else if (args.Has("--text-file")) {
    content.Bytes = ReadTextFile(InputPath(args.Value("--text-file")));
  } else if (args.Has("--text")) {
    content.Bytes = args.Value("--text");
  } else {
    content.Bytes = ReadTextStdin();
  }
  return content;
}

bool Exists(const std::string& fileName) {
  struct stat info {};
  return ::lstat(fileName.c_str(), &info) == 0 || errno != ENOENT;
}

// Where a sealed file goes: -o, or with --save-file its own name in the current directory.
std::string FileTarget(const TArgs& args, const TSealedContent& content) {
  if (args.Has("-o")) return args.Value("-o");
  if (!args.Has("--save-file")) {
    throw EPennacrowError(
        TrF("这张图片密封的是文件“%1”（%2 字节）：用 -o 指定输出文件，或用 "
            "--save-file 以原名保存到当前目录",
            {content.Name, std::to_string(content.Bytes.size())}));
  }
  if (!args.Has("--force") && Exists(content.Name)) {
    throw EPennacrowError(TrF("文件“%1”已经存在；要覆盖它请加 --force", {content.Name}));
  }
  return content.Name;
}

}  // namespace

std::string NormalizedPassword(std::string& utf8) {
  QStringDecoder decoder(QStringDecoder::Utf8);
  QString text = decoder(QByteArrayView(utf8.data(), static_cast<qsizetype>(utf8.size())));
  SecureFill(utf8.data(), utf8.size(), 0);
  const bool valid = !decoder.hasError();
  QString normal = text.normalized(QString::NormalizationForm_C);
  QByteArray bytes = normal.toUtf8();
  std::string result(bytes.constData(), static_cast<std::size_t>(bytes.size()));
  SecureFill(text.data(), static_cast<std::size_t>(text.size()) * sizeof(QChar), 0);
  SecureFill(normal.data(), static_cast<std::size_t>(normal.size()) * sizeof(QChar), 0);
  SecureFill(bytes.data(), static_cast<std::size_t>(bytes.size()), 0);
  if (!valid) {
    SecureFill(result.data(), result.size(), 0);
    throw EPennacrowError(Tr("密码不是有效的 UTF-8 文本"));
  }
  return result;
}

namespace {

void CheckSealOptions(const TArgs& args) {
  if (!args.Has("--seal")) {
    throw EUsage(args.Has("--adaptive") ? Tr("--adaptive 只能与 --seal 一起使用")
                                        : Tr("--file 只能与 --seal 一起使用"));
  }
  if (args.Has("--encrypt")) throw EUsage(Tr("--seal 与 --encrypt 只能选一个"));
  if (args.Has("--raw")) throw EUsage(Tr("--seal 的文本按 UTF-8 原样密封，不能与 --raw 一起使用"));
  if (args.Has("--adaptive") && args.Has("--stealth")) {
    throw EUsage(Tr("--adaptive 自己选择改动哪些像素，不能与 --stealth 一起使用"));
  }
}

// A keyed write beyond what detectors are expected to miss still works; the user hears of it.
void NoteDetectableSize(const TBitmap& bitmap, const TSealedContent& content) {
  const TAdaptiveCapacity capacity = AdaptiveCapacity(bitmap);
  if (content.Bytes.size() <= capacity.Tolerated) return;
  std::cerr << "pennacrow-cli: "
            << TrF("注意：内容有 %1 字节，超过了这张图片预计不易被检测出来的 %2 字节",
                   {std::to_string(content.Bytes.size()), std::to_string(capacity.Tolerated)})
            << "\n";
}

// Where a revealed content goes: a file to -o or under its own name, a text to -o or standard
// output.
void WriteRevealed(const TArgs& args, const TSealedContent& content) {
  if (content.Kind == TSealedKind::File) {
    WriteOutputFile(FileTarget(args, content), content.Bytes, true);
  } else if (args.Has("-o") && args.Value("-o") != "-") {
    WriteOutputFile(args.Value("-o"), content.Bytes, true);
  } else {
    WriteAllStdout(content.Bytes);
  }
}

}  // namespace

int HideSealedCommand(const TArgs& args) {
  CheckSealOptions(args);
  const bool adaptive = args.Has("--adaptive");
  const std::string out = args.Value("-o");
  const TSealedContent content = ContentToSeal(args);

  TFractalImage picture(FileFormats());
  const TSaveKind kind = OutputKind(out, args);
  LoadPicture(picture, args.Positional()[0], args, out == "-");
  TBitmap& bitmap = picture.PictureBitmap();
  PrepareCarrierForSave(bitmap, kind);
  if (adaptive) {
    RequireAdaptiveFits(bitmap, content);
  } else {
    RequireSealedFits(bitmap, content);
  }

  if (adaptive) NoteDetectableSize(bitmap, content);

  std::string typed = ReadPasswordUtf8(args, true);
  const TSecret password(NormalizedPassword(typed));
  if (password.Text().empty()) throw EPennacrowError(Tr(kMsgSealPasswordEmpty));
  if (adaptive) {
    HideAdaptive(bitmap, password.Text(), content);
  } else {
    HideSealed(bitmap, password.Text(), content, DefaultSealParameters(),
               args.Has("--stealth") ? TLowBitWriting::Stealth : TLowBitWriting::Replace);
  }

  // The file must give the container back before it takes OUT's place; one that does not is
  // no result, and OUT stays as it was.
  SaveOutput(picture, out, kind, ContainerCheckedWrite(bitmap, FileFormats()));
  return kExitSuccess;
}

int RevealSealedCommand(const TArgs& args, const TBitmap& bitmap) {
  // A damaged container fails here, before anyone is asked for a password.
  const std::string payload = ReadSealedPayload(bitmap);
  std::string typed = ReadPasswordUtf8(args);
  const TSecret password(NormalizedPassword(typed));
  WriteRevealed(args, OpenSealedPayload(password.Text(), payload));
  return kExitSuccess;
}

int RevealAdaptiveCommand(const TArgs& args) {
  if (args.Has("--decrypt") || args.Has("--raw")) {
    throw EUsage(Tr("--adaptive 读出的是密封的内容，不能与 --decrypt 或 --raw 一起使用"));
  }
  TFractalImage picture(FileFormats());
  LoadPicture(picture, args.Positional()[0], args);
  const TBitmap& bitmap = picture.PictureBitmap();
  // A picture that cannot hold a keyed message is told so before anyone types a password.
  RequireMayHoldAdaptive(bitmap);
  std::string typed = ReadPasswordUtf8(args);
  const TSecret password(NormalizedPassword(typed));
  WriteRevealed(args, RevealAdaptive(bitmap, password.Text()));
  return kExitSuccess;
}

}  // namespace pennacrow::cli
