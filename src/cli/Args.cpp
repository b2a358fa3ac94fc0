#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <iterator>

#include "base/FileIO.h"
#include "base/TempFile.h"
#include "base/Translate.h"
#include "cli/Cli.h"
#include "formats/Registry.h"
#include "formats/SavePicture.h"
#include "picture/Errors.h"
#include "text/TextFile.h"
#include "text/TextRules.h"

namespace pennacrow::cli {

TArgs::TArgs(const std::vector<std::string>& words, const std::vector<std::string>& valueOptions,
             const std::vector<std::string>& flagOptions) {
  auto contains = [](const std::vector<std::string>& list, const std::string& w) {
    return std::find(list.begin(), list.end(), w) != list.end();
  };
  bool optionsEnded = false;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& w = words[i];
    if (optionsEnded || w.size() < 2 || w[0] != '-') {
      FPositional.push_back(w);
      continue;
    }
    if (w == "--") {
      optionsEnded = true;
      continue;
    }
    std::string name = w;
    std::string value;
    bool inlineValue = false;
    if (const auto eq = w.find('='); w.rfind("--", 0) == 0 && eq != std::string::npos) {
      name = w.substr(0, eq);
      value = w.substr(eq + 1);
      inlineValue = true;
    }
    if (contains(valueOptions, name)) {
      if (!inlineValue) {
        if (i + 1 >= words.size()) throw EUsage(TrF("选项 %1 需要一个值", {name}));
        value = words[++i];
      }
      FValues[name] = value;
    } else if (contains(flagOptions, name) && !inlineValue) {
      FValues[name] = "";
    } else {
      throw EUsage(TrF("未知选项 %1", {w}));
    }
  }
}

std::string TArgs::Value(const std::string& option, const std::string& fallback) const {
  const auto it = FValues.find(option);
  return it == FValues.end() ? fallback : it->second;
}

void TArgs::ExpectPositional(std::size_t n) const {
  if (FPositional.size() != n) {
    throw EUsage(
        TrF("需要 %1 个参数，得到 %2", {std::to_string(n), std::to_string(FPositional.size())}));
  }
}

std::string ReadAllStdin() {
  return std::string(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
}

std::string ReadTextStdin() {
  std::string text;
  char buffer[1 << 16];
  while (std::cin.read(buffer, sizeof buffer) || std::cin.gcount() > 0) {
    text.append(buffer, static_cast<std::size_t>(std::cin.gcount()));
    if (text.size() > kMaxTextFileBytes) {
      throw EPennacrowError(
          TrF("标准输入的文本太长：最多只能读取 %1 字节", {std::to_string(kMaxTextFileBytes)}));
    }
  }
  return text;
}

namespace {

std::span<const std::uint8_t> AsBytes(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

void WriteAllStdout(std::span<const std::uint8_t> bytes) {
  std::cout.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
  std::cout.flush();
}

void WriteAllStdout(const std::string& bytes) {
  WriteAllStdout(AsBytes(bytes));
}

void WriteOutputFile(const std::string& fileName, std::span<const std::uint8_t> bytes,
                     bool privateText) {
  TWriteOptions options;
  if (privateText) options.NewFileMode = 0600;
  WriteFileAtomically(fileName, bytes, options);
}

void WriteOutputFile(const std::string& fileName, const std::string& bytes, bool privateText) {
  WriteOutputFile(fileName, AsBytes(bytes), privateText);
}

void WriteRevealedText(const TArgs& args, const std::string& text) {
  if (args.Has("-o") && args.Value("-o") != "-") {
    WriteOutputFile(args.Value("-o"), text, true);
    return;
  }
  if (args.Has("--raw") || ::isatty(STDOUT_FILENO) == 0) {
    WriteAllStdout(text);
    return;
  }
  std::size_t escaped = 0;
  const std::string shown = EscapeForTerminal(text, escaped);
  WriteAllStdout(shown);
  if (escaped > 0) {
    // On a line of its own, after a text that does not end one.
    std::cerr << (shown.empty() || shown.back() == '\n' ? "" : "\n") << "pennacrow-cli: "
              << TrF("文本中的 %1 个控制字符以 ^X 或 <U+XXXX> 的形式显示；要得到原样的字节，"
                     "请用 --raw 或把输出送进管道",
                     {std::to_string(escaped)})
              << "\n";
  }
}

std::string ShownName(const std::string& name) {
  return name == "-" ? Tr("标准输入") : name;
}

std::string InputPath(const std::string& name) {
  return name == "-" ? "/dev/stdin" : name;
}

void LoadPicture(TFractalImage& picture, const std::string& name) {
  NamingTheFile(name, [&] { picture.LoadGraphic(LoadRecognisedGraphic(name, {})); });
}

TCommandLineRows::TCommandLineRows(std::string name, const TArgs& args)
    : FName(std::move(name)), FArgs(args) {}

const TBitmap& TCommandLineRows::Rows(int rowCount) {
  return NamingTheFile(FName, [&]() -> const TBitmap& {
    if (FName == "-") {
      if (!FWhole) {
        FWhole = std::make_unique<TFractalImage>(FileFormats());
        FWhole->LoadGraphic(LoadRecognisedGraphic(FName, FArgs.Value("--format")));
      }
      return FWhole->PictureBitmap();
    }
    if (!FFile) {
      FFile = std::make_unique<TPictureFileRows>(
          FileFormats(), FName, &RecognisedGraphicClass(FName, FArgs.Value("--format")));
    }
    return FFile->Rows(rowCount);
  });
}

int TCommandLineRows::Height() const {
  if (FWhole) return FWhole->PictureBitmap().Height();
  return FFile ? FFile->Height() : 0;
}

void NoteDroppedAlpha(const TBitmap& bitmap, const std::string& name, TSaveKind kind) {
  if (!SaveDropsAlpha(bitmap, kind)) return;
  std::cerr << "pennacrow-cli: "
            << FormatMessage(Tr("%1：%2"), {ShownName(name),
                                            Tr("PNG 文件保存时不带透明度（alpha）通道，"
                                               "透明的部分将变为不透明；要保留它，请保存为 BMP")})
            << "\n";
}

TSaveKind OutputKind(const std::string& out, const TArgs& args) {
  TSaveKind asked = TSaveKind::None;
  if (args.Has("--format")) {
    const std::string format = LowerAscii(args.Value("--format"));
    asked = format == "bmp" ? TSaveKind::Bmp : format == "png" ? TSaveKind::Png : TSaveKind::None;
    if (asked == TSaveKind::None) throw EUsage(Tr("--format 指定写出的格式：bmp 或 png"));
  }
  if (out == "-") {
    if (asked != TSaveKind::None) return asked;
    throw EUsage(Tr("写到标准输出（-o -）时须用 --format bmp 或 --format png 指定格式"));
  }
  const TSaveKind kind = SaveKindFor(out);
  if (kind == TSaveKind::None) throw EUsage(Tr("输出文件的扩展名必须是 .bmp 或 .png"));
  // The file is written by its extension: a --format that says otherwise is not obeyed silently.
  if (asked != TSaveKind::None && asked != kind) {
    throw EUsage(TrF("--format %1 与输出文件 %2 的扩展名不一致", {args.Value("--format"), out}));
  }
  return kind;
}

void SaveOutput(TFractalImage& picture, const std::string& out, TSaveKind kind,
                const TWriteOptions& options) {
  if (out != "-") {
    SavePictureFile(picture, out, options);
    return;
  }
  WriteAllStdout(PictureFileBytes(picture, kind));
}

namespace {

void RemoveTempFilesAndDie(int signal) {
  RemoveTempFiles();
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

}  // namespace

void InstallSignalCleanup() {
  for (const int signal : {SIGINT, SIGTERM}) {
    struct sigaction action {};
    action.sa_handler = RemoveTempFilesAndDie;
    sigemptyset(&action.sa_mask);
    // An interrupt that was ignored when we started (a background job) stays ignored.
    struct sigaction previous {};
    if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
    ::sigaction(signal, &action, nullptr);
  }
}

}  // namespace pennacrow::cli
