#include "cli/Seal.h"
#include "base/Translate.h"
#include "text/TextFile.h"

#include <sys/stat.h>

#include <QChar>
#include <QList>
#include <QString>
#include <QStringDecoder>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <iostream>

#include "adaptive/AdaptiveBitmap.h"
#include "adaptive/AdaptiveJpeg.h"
#include "base/FileIO.h"
#include "cli/Password.h"
#include "codec/ContainerSave.h"
#include "codec/SealedContainer.h"
#include "crypto/CryptBase.h"
#include "formats/JPEGCoefficients.h"
#include "formats/JPEGImage.h"
#include "formats/Registry.h"
#include "formats/SavePicture.h"
#include "picture/FractalImage.h"
#include "picture/PictureFile.h"

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

// Characters that change how a name is shown without being seen: controls, format characters
// (a right-to-left override turns "gpj.exe" around) and line or paragraph separators.
bool Invisible(QChar::Category category) {
  return category == QChar::Other_Control || category == QChar::Other_Format ||
         category == QChar::Separator_Line || category == QChar::Separator_Paragraph;
}

// A stored name as a message may show it: the invisible characters as <U+XXXX>.
std::string ShownSealedName(const std::string& name) {
  const QString text = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
  QString shown;
  for (const char32_t c : text.toUcs4()) {
    if (Invisible(QChar::category(c))) {
      shown += QString("<U+%1>").arg(static_cast<unsigned>(c), 4, 16, QChar('0')).toUpper();
    } else {
      shown += QString::fromUcs4(&c, 1);
    }
  }
  return shown.toStdString();
}

// A stored name that --save-file would create in the current directory: a plain name a person
// sees as it is. A leading "." hides the file (and can reach a shell's start-up files), a leading
// "-" reads as an option to the next command given the name.
void CheckNameToSave(const std::string& name) {
  const QString text = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
  const auto ucs4 = text.toUcs4();
  const bool invisible = std::any_of(ucs4.begin(), ucs4.end(),
                                     [](char32_t c) { return Invisible(QChar::category(c)); });
  if (name.starts_with('.') || name.starts_with('-') || invisible) {
    throw EPennacrowError(
        TrF("密封文件的名字“%1”不能直接用作文件名（以 . 或 - 开头，或含有看不见的字符）；"
            "请用 -o 指定输出文件",
            {ShownSealedName(name)}));
  }
}

// Where a sealed file goes: -o ("-" is standard output), or with --save-file its own name in
// the current directory.
std::string FileTarget(const TArgs& args, const TSealedContent& content) {
  if (args.Has("-o")) return args.Value("-o");
  if (!args.Has("--save-file")) {
    throw EPennacrowError(
        TrF("这张图片密封的是文件“%1”（%2 字节）：用 -o 指定输出文件，或用 "
            "--save-file 以原名保存到当前目录",
            {ShownSealedName(content.Name), std::to_string(content.Bytes.size())}));
  }
  CheckNameToSave(content.Name);
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

void Note(const std::string& message) {
  std::cerr << "pennacrow-cli: " << message << "\n";
}

// A keyed write beyond what detectors are expected to miss still works; the user hears of it.
void NoteDetectableSize(const TAdaptiveCapacity& capacity, const TSealedContent& content) {
  if (content.Bytes.size() <= capacity.Tolerated) return;
  Note(TrF("注意：内容有 %1 字节，超过了这张图片预计不易被检测出来的 %2 字节",
           {std::to_string(content.Bytes.size()), std::to_string(capacity.Tolerated)}));
}

// Where a revealed content goes: a text to -o or standard output, a file to -o ("-" is standard
// output) or under its own name.
void WriteRevealed(const TArgs& args, const TSealedContent& content) {
  if (content.Kind != TSealedKind::File) {
    WriteRevealedText(args, content.Bytes);
    return;
  }
  const std::string& file = args.Positional()[0];
  const std::string target = NamingTheFile(file, [&] { return FileTarget(args, content); });
  if (target == "-") {
    WriteAllStdout(content.Bytes);
    return;
  }
  WriteOutputFile(target, content.Bytes, true);
  // The name came from the picture: the user learns where the bytes went.
  Note(TrF("已写入文件“%1”（%2 字节）",
           {ShownSealedName(target), std::to_string(content.Bytes.size())}));
}

bool IsJpegFormatName(const std::string& format) {
  const std::string lower = LowerAscii(format);
  return lower == "jpeg" || lower == "jpg";
}

bool JpegFormat(const TArgs& args) {
  return args.Has("--format") && IsJpegFormatName(args.Value("--format"));
}

// The file's bytes, named on the command line ("-" is standard input), and whether they are a
// JPEG: by --format when it is given, else by the content.
struct TCarrierBytes {
  std::vector<std::uint8_t> Bytes;
  bool Jpeg = false;
};

TCarrierBytes ReadCarrier(const std::string& file, const std::string& format) {
  TCarrierBytes carrier;
  carrier.Bytes = NamingTheFile(
      file, [&] { return ReadPictureFile(file == "-" ? "/dev/stdin" : file, file == "-"); });
  carrier.Jpeg = format.empty() ? LooksLikeJpeg(carrier.Bytes) : IsJpegFormatName(format);
  return carrier;
}

}  // namespace

bool JpegOutputAsked(const std::string& out, const TArgs& args) {
  return JpegFormat(args) || (out != "-" && IsJpegFileName(out));
}

int HideJpegCommand(const TArgs& args) {
  const std::string out = args.Value("-o");
  if (!args.Has("--seal") || !args.Has("--adaptive")) {
    throw EUsage(
        Tr("只有 --seal --adaptive 能写出 JPEG：其他写法改动的是像素，请保存为 .bmp 或 .png"));
  }
  CheckSealOptions(args);
  if ((out != "-" && !IsJpegFileName(out)) || (args.Has("--format") && !JpegFormat(args))) {
    throw EUsage(TrF("--format %1 与输出文件 %2 的扩展名不一致", {args.Value("--format"), out}));
  }
  const TSealedContent content = ContentToSeal(args);
  const std::string& file = args.Positional()[0];
  TCarrierBytes carrier = ReadCarrier(file, {});
  if (!carrier.Jpeg) {
    throw EPennacrowError(
        TrF("%1：%2", {ShownName(file), Tr("不是 JPEG 文件：只有 JPEG 载体能保持为 JPEG")}));
  }
  TJpegCoefficients jpeg = NamingTheFile(file, [&] { return TJpegCoefficients(carrier.Bytes); });
  // The coefficients are all a write needs: a large file need not stay beside them.
  std::vector<std::uint8_t>().swap(carrier.Bytes);
  NoteDetectableSize(NamingTheFile(file, [&] { return RequireAdaptiveJpegFits(jpeg, content); }),
                     content);
  const bool keepMetadata = !args.Has("--strip-metadata");
  if (jpeg.Metadata().GpsPosition) {
    Note(keepMetadata
             ? TrF("注意：%1 的 EXIF 里有拍摄地点（GPS 位置），输出文件照样保留；要去掉请加 "
                   "--strip-metadata",
                   {ShownName(file)})
             : TrF("%1 的 EXIF 里有拍摄地点（GPS 位置）：已随元数据一起去掉", {ShownName(file)}));
  }

  std::string typed = ReadPasswordUtf8(args, true);
  const TSecret password(NormalizedPassword(typed));
  if (password.Text().empty()) throw EPennacrowError(Tr(kMsgSealPasswordEmpty));
  const std::vector<std::uint8_t> written = NamingTheFile(file, [&] {
    return HideAdaptiveInJpegFile(std::move(jpeg), password.Text(), content, keepMetadata);
  });
  if (out == "-") {
    WriteAllStdout(written);
  } else {
    WriteOutputFile(out, written, false);
  }
  return kExitSuccess;
}

int HideSealedCommand(const TArgs& args) {
  CheckSealOptions(args);
  const bool adaptive = args.Has("--adaptive");
  const std::string out = args.Value("-o");
  const TSealedContent content = ContentToSeal(args);

  TFractalImage picture(FileFormats());
  const TSaveKind kind = OutputKind(out, args);
  LoadPicture(picture, args.Positional()[0]);
  TBitmap& bitmap = picture.PictureBitmap();
  NoteDroppedAlpha(bitmap, args.Positional()[0], kind);
  PrepareCarrierForSave(bitmap, kind);
  NamingTheFile(args.Positional()[0], [&] {
    if (adaptive) {
      RequireAdaptiveFits(bitmap, content);
    } else {
      RequireSealedFits(bitmap, content);
    }
  });
  if (adaptive) NoteDetectableSize(AdaptiveCapacity(bitmap), content);

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
  const std::string& file = args.Positional()[0];
  // A damaged container fails here, before anyone is asked for a password.
  const std::string payload = NamingTheFile(file, [&] { return ReadSealedPayload(bitmap); });
  std::string typed = ReadPasswordUtf8(args);
  const TSecret password(NormalizedPassword(typed));
  WriteRevealed(args,
                NamingTheFile(file, [&] { return OpenSealedPayload(password.Text(), payload); }));
  return kExitSuccess;
}

int RevealAdaptiveCommand(const TArgs& args) {
  if (args.Has("--decrypt") || args.Has("--raw")) {
    throw EUsage(Tr("--adaptive 读出的是密封的内容，不能与 --decrypt 或 --raw 一起使用"));
  }
  const std::string& file = args.Positional()[0];
  const std::string format = args.Value("--format");
  const bool named = file != "-";
  // A JPEG holds its message in its coefficients; anything else in its pixels.
  TCarrierBytes carrier;
  if (named) {
    carrier.Jpeg = NamingTheFile(file, [&] { return &RecognisedGraphicClass(file, format); }) ==
                   &TJPEGImage::ClassInfo;
    if (carrier.Jpeg) carrier = ReadCarrier(file, format);
  } else {
    carrier = ReadCarrier(file, format);
  }
  if (carrier.Jpeg) {
    const TJpegCoefficients jpeg =
        NamingTheFile(file, [&] { return TJpegCoefficients(carrier.Bytes); });
    std::vector<std::uint8_t>().swap(carrier.Bytes);
    NamingTheFile(file, [&] { RequireMayHoldAdaptiveJpeg(jpeg); });
    std::string typed = ReadPasswordUtf8(args);
    const TSecret password(NormalizedPassword(typed));
    WriteRevealed(args,
                  NamingTheFile(file, [&] { return RevealAdaptiveJpeg(jpeg, password.Text()); }));
    return kExitSuccess;
  }
  TFractalImage picture(FileFormats());
  NamingTheFile(file, [&] {
    picture.LoadGraphic(named ? LoadRecognisedGraphic(file, format)
                              : LoadGraphicFromBytes(carrier.Bytes, format));
  });
  const TBitmap& bitmap = picture.PictureBitmap();
  // A picture that cannot hold a keyed message is told so before anyone types a password.
  NamingTheFile(file, [&] { RequireMayHoldAdaptive(bitmap); });
  std::string typed = ReadPasswordUtf8(args);
  const TSecret password(NormalizedPassword(typed));
  WriteRevealed(args, NamingTheFile(file, [&] { return RevealAdaptive(bitmap, password.Text()); }));
  return kExitSuccess;
}

}  // namespace pennacrow::cli
