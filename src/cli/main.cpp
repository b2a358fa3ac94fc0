#include <algorithm>
#include <exception>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/Cli.h"
#include "cli/CliSynopsis.h"
#include "text/Translate.h"

namespace {

using namespace pennacrow;

const char* const kOverview =
    N_("Pennacrow 把一段文本藏进图片像素字节的最低位，并能读回。OUT 的扩展名决定保存为\n"
       "BMP 还是 PNG。FILE、CARRIER 或 IN 为 - 时从标准输入读图片，-o - 把图片写到标准输出\n"
       "（用 --format bmp 或 png 指定格式）。图片按内容识别，扩展名缺失或错误也能读取。\n"
       "每个命令的详细说明：pennacrow-cli CMD --help。\n"
       "退出状态: 0 成功; 1 失败; 2 用法错误。\n");

struct TEntry {
  const char* Name;
  pennacrow::cli::TCommand Run;
  const char* Help;  // a message: what it does and what its options mean
};

const TEntry kCommands[] = {
    {"info", cli::CmdInfo,
     N_("显示图片的宽、高、每像素位数、可隐藏的字节数和找到的隐藏数据格式；损坏的文件报告为损坏。\n"
        "  --json        输出一个 JSON 对象，字段不随语言变化\n"
        "  --format EXT  按扩展名 EXT 的格式读取，不管文件内容\n"
        "FILE 为 - 时从标准输入读取。\n"
        "用密钥自适应写入的内容没有密码看不出来：info 对这样的图片\n"
        "照样报告没有隐藏数据；adaptive_capacity 是按图片大小算出的上限。\n")},
    {"hide", cli::CmdHide,
     N_("把文本藏进 CARRIER，保存为 OUT（.bmp 或 .png）；已有的 OUT 被原子地替换。\n"
        "  -o OUT              输出文件（- 为标准输出）\n"
        "  --text TEXT         要隐藏的文本（否则取 --text-file 或标准输入）\n"
        "  --text-file FILE    从文件读取文本（- 为标准输入）\n"
        "  --raw               按原样保存字节，不从 UTF-8 转换为 GB18030\n"
        "  --encrypt           用密码加密（格式 2，旧版本也能读，但很弱）\n"
        "  --seal              密封文本或文件（Argon2id 与 XChaCha20-Poly1305，格式 4）\n"
        "  --file PATH         与 --seal 一起：密封整个文件\n"
        "  --password-file F   密码取自文件 F 的第一行（否则 PENNACROW_PASSWORD 或终端）\n"
        "  --stealth           以随机加减 1 代替替换最低位，更难被检测\n"
        "  --adaptive          与 --seal 一起：由密码决定位置、由图片纹理决定改动，图片里\n"
        "                      没有任何看得见的容器；写入前告诉你能放多少、放多少不易被检测\n"
        "                      CARRIER 是 JPEG 且 OUT 为 .jpg 时，写进 JPEG 自己的系数，仍是 JPEG\n"
        "  --strip-metadata    写出 JPEG 时去掉 EXIF、ICC 与注释（默认保留；有 GPS 位置时会提示）\n"
        "  --format bmp|png|jpeg  写出的格式：-o - 时必需，否则须与 OUT 的扩展名一致\n")},
    {"reveal", cli::CmdReveal,
     N_("读出 FILE 里隐藏的文本，转换为 UTF-8 写到标准输出或 -o OUT。写到终端时，文本里的控制字符\n"
        "以转义形式显示；要得到原样的字节，请用 --raw 或管道。\n"
        "  -o OUT              写到文件 OUT（- 为标准输出）\n"
        "  --decrypt           解密格式 2 的文本\n"
        "  --password-file F   密码取自文件 F 的第一行\n"
        "  --raw               输出保存的原始字节\n"
        "  --force             图片里没有隐藏数据时仍读出最低位；--save-file 时可覆盖\n"
        "  --save-file         密封的文件以原名保存到当前目录（以 . 或 - 开头的名字除外）\n"
        "  --adaptive          读取用密钥自适应写入的内容（需要写入时的密码）\n"
        "  --format EXT        按扩展名 EXT 的格式读取 FILE\n")},
    {"encrypt", cli::CmdEncrypt,
     N_("用密码加密标准输入的文本，把 Base64 密文写到标准输出。\n"
        "  --password-file F   密码取自文件 F 的第一行（否则 PENNACROW_PASSWORD 或终端）\n")},
    {"decrypt", cli::CmdDecrypt,
     N_("用密码解密标准输入的 Base64 密文，把文本写到标准输出；不是 Base64 的输入被拒绝。\n"
        "  --password-file F   密码取自文件 F 的第一行（否则 PENNACROW_PASSWORD 或终端）\n")},
    {"convert", cli::CmdConvert,
     N_("读取图片 IN，保存为 OUT（.bmp 或 .png），与桌面程序的保存相同。IN 为 - 时读标准输入，\n"
        "OUT 为 - 时写标准输出。\n"
        "  --format bmp|png    写出的格式：OUT 为 - 时必需，否则须与 OUT 的扩展名一致\n")},
    {"fractal", cli::CmdFractal,
     N_("画一幅分形图，保存为 OUT。KIND: mandelbrot, julia, moire, sierpinski, fern, leaf,\n"
        "curl, koch。\n"
        "  -o OUT             输出文件（- 为标准输出）\n"
        "  --size WxH         画布大小（默认 827x402）\n"
        "  --iterations N     迭代次数\n"
        "  --seed N           随机数种子\n"
        "  --over CARRIER     画在这幅图片上\n"
        "  --format bmp|png   写出的格式：-o - 时必需，否则须与 OUT 的扩展名一致\n")},
    {"formats", cli::CmdFormats,
     N_("列出能读取的图片格式：扩展名、说明、类，每行一个；--filter 输出打开对话框的过滤串。\n")},
    {"analyze", cli::CmdAnalyze,
     N_("报告图片被检测出隐藏数据的风险。FILE 为 - 时从标准输入读取。\n"
        "  --json     每个文件输出一个 JSON 对象\n"
        "  --jobs N   同时分析的文件数\n"
        "  -r         分析目录中的图片\n")},
};

bool IsHelp(const std::string& word) {
  return word == "--help" || word == "-h";
}

// A synopsis line as a terminal shows it: within 96 columns, broken between its bracketed
// groups, the continuation lines indented under the command's first argument.
std::string WrappedSynopsis(const std::string& line, const std::string& indent) {
  std::vector<std::string> groups;
  int depth = 0;
  for (const char c : line) {
    if (c == ' ' && depth == 0) {
      groups.emplace_back();
      continue;
    }
    if (groups.empty()) groups.emplace_back();
    depth += c == '[' ? 1 : c == ']' ? -1 : 0;
    groups.back() += c;
  }
  const std::string head = indent + "pennacrow-cli " + groups[0];
  std::string text = head;
  std::size_t column = text.size();
  const std::string hanging(std::min<std::size_t>(head.size() + 1, 40), ' ');
  for (std::size_t i = 1; i < groups.size(); ++i) {
    if (column + 1 + groups[i].size() > 96) {
      text += "\n" + hanging + groups[i];
      column = hanging.size() + groups[i].size();
    } else {
      text += " " + groups[i];
      column += 1 + groups[i].size();
    }
  }
  return text + "\n";
}

// The synopsis lines of one command, or of all of them.
std::string Synopsis(const std::string& command, const std::string& indent) {
  std::string text;
  for (const char* line : cli::kSynopsisLines) {
    const std::string_view view(line);
    if (command.empty() || view.substr(0, view.find(' ')) == command) {
      text += WrappedSynopsis(line, indent);
    }
  }
  return text;
}

void PrintUsage(std::ostream& out) {
  out << Tr("用法:") << "\n" << Synopsis({}, "  ") << "\n" << Tr(kOverview);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace pennacrow::cli;
  std::ios::sync_with_stdio(false);
  if (argc < 2) {
    std::cerr << "pennacrow-cli: " << Tr("缺少命令") << "\n"
              << TrF("请尝试执行 '%1' 来获取更多信息。", {"pennacrow-cli --help"}) << "\n";
    return kExitUsage;
  }
  const std::string command = argv[1];
  if (IsHelp(command) || command == "help") {
    PrintUsage(std::cout);
    return kExitSuccess;
  }
  if (command == "--version" || command == "-V" || command == "version") {
    std::cout << "pennacrow-cli " << PENNACROW_VERSION << "\n";
    return kExitSuccess;
  }
  InstallSignalCleanup();
  const std::vector<std::string> words(argv + 2, argv + argc);
  for (const TEntry& entry : kCommands) {
    if (command != entry.Name) continue;
    // Help wins over everything else on the line, as with other tools: "hide x --help" helps.
    for (const std::string& word : words) {
      if (word == "--") break;
      if (IsHelp(word)) {
        std::cout << Tr("用法:") << "\n" << Synopsis(entry.Name, "") << "\n" << Tr(entry.Help);
        return kExitSuccess;
      }
    }
    try {
      return entry.Run(words);
    } catch (const EUsage& e) {
      std::cerr << "pennacrow-cli: " << command << ": " << e.what() << "\n"
                << TrF("请尝试执行 '%1' 来获取更多信息。", {"pennacrow-cli " + command + " --help"})
                << "\n";
      return kExitUsage;
    } catch (const std::exception& e) {
      std::cerr << "pennacrow-cli: " << e.what() << "\n";
      return kExitFailure;
    }
  }
  std::cerr << "pennacrow-cli: " << TrF("未知命令 %1", {command}) << "\n"
            << TrF("请尝试执行 '%1' 来获取更多信息。", {"pennacrow-cli --help"}) << "\n";
  return kExitUsage;
}
