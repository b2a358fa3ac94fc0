#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "text/Translate.h"

namespace {

using namespace pennacrow;

// The synopsis lines are the same in every language; the explanations below them are messages.
const char* const kSynopsis =
    "  pennacrow-cli info FILE [--json] [--format EXT]\n"
    "  pennacrow-cli hide CARRIER -o OUT [--text TEXT | --text-file FILE] [--encrypt]\n"
    "                     [--password-file FILE] [--raw] [--stealth] [--format bmp|png|EXT]\n"
    "  pennacrow-cli hide CARRIER -o OUT --seal [--text TEXT | --text-file FILE | --file PATH]\n"
    "                     [--password-file FILE] [--stealth | --adaptive]\n"
    "  pennacrow-cli reveal FILE [-o OUT] [--decrypt] [--password-file FILE] [--raw]\n"
    "                     [--force] [--save-file] [--format EXT]\n"
    "  pennacrow-cli reveal FILE --adaptive [-o OUT] [--password-file FILE] [--save-file]\n"
    "  pennacrow-cli encrypt [--password-file FILE]\n"
    "  pennacrow-cli decrypt [--password-file FILE]\n"
    "  pennacrow-cli convert IN OUT [--format bmp|png|EXT]\n"
    "  pennacrow-cli fractal KIND -o OUT [--size WxH] [--iterations N] [--seed N]\n"
    "                     [--over CARRIER] [--format bmp|png]\n"
    "  pennacrow-cli formats [--filter]\n"
    "  pennacrow-cli analyze FILE... [--json] [--jobs N] [-r]\n"
    "  pennacrow-cli version | -V | --version\n"
    "  pennacrow-cli [CMD] --help\n";

const char* const kOverview =
    N_("Pennacrow 把一段文本藏进图片像素字节的最低位，并能读回。OUT 的扩展名决定保存为\n"
       "BMP 还是 PNG。FILE、CARRIER 或 IN 为 - 时从标准输入读图片，-o - 把图片写到标准输出\n"
       "（用 --format bmp 或 png 指定格式）。图片按内容识别，扩展名缺失或错误也能读取。\n"
       "每个命令的详细说明：pennacrow-cli CMD --help。\n"
       "退出状态: 0 成功; 1 失败; 2 用法错误。\n");

struct TEntry {
  const char* Name;
  pennacrow::cli::TCommand Run;
  const char* Usage;  // the command's synopsis, as in kSynopsis
  const char* Help;   // a message: what it does and what its options mean
};

const TEntry kCommands[] = {
    {"info", cli::CmdInfo, "pennacrow-cli info FILE [--json] [--format EXT]\n",
     N_("显示图片的宽、高、每像素位数、可隐藏的字节数和找到的隐藏数据格式。\n"
        "  --json        输出一个 JSON 对象，字段不随语言变化\n"
        "  --format EXT  按扩展名 EXT 的格式读取，不管文件内容\n"
        "FILE 为 - 时从标准输入读取。\n"
        "用 --seal --adaptive 写入的内容没有密码看不出来：info 对这样的图片\n"
        "照样报告没有隐藏数据；adaptive_capacity 是按图片大小算出的上限。\n")},
    {"hide", cli::CmdHide,
     "pennacrow-cli hide CARRIER -o OUT [--text TEXT | --text-file FILE] [--encrypt]\n"
     "                   [--password-file FILE] [--raw] [--stealth] [--format bmp|png|EXT]\n"
     "pennacrow-cli hide CARRIER -o OUT --seal [--text TEXT | --text-file FILE | --file PATH]\n"
     "                   [--password-file FILE] [--stealth | --adaptive]\n",
     N_("把文本藏进 CARRIER，保存为 OUT（.bmp 或 .png）；已有的 OUT 被原子地替换。\n"
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
        "  --format bmp|png    -o - 时写到标准输出的格式；否则强制按扩展名读取 CARRIER\n")},
    {"reveal", cli::CmdReveal,
     "pennacrow-cli reveal FILE [-o OUT] [--decrypt] [--password-file FILE] [--raw]\n"
     "                     [--force] [--save-file] [--format EXT]\n"
     "pennacrow-cli reveal FILE --adaptive [-o OUT] [--password-file FILE] [--save-file]\n",
     N_("读出 FILE 里隐藏的文本，转换为 UTF-8 写到标准输出或 -o OUT。\n"
        "  --decrypt           解密格式 2 的文本\n"
        "  --password-file F   密码取自文件 F 的第一行\n"
        "  --raw               输出保存的原始字节\n"
        "  --force             图片里没有隐藏数据时仍读出最低位；--save-file 时可覆盖\n"
        "  --save-file         密封的文件以原名保存到当前目录\n"
        "  --adaptive          读取用 --seal --adaptive 写入的内容（需要写入时的密码）\n"
        "  --format EXT        按扩展名 EXT 的格式读取 FILE\n")},
    {"encrypt", cli::CmdEncrypt, "pennacrow-cli encrypt [--password-file FILE]\n",
     N_("用密码加密标准输入的文本，把 Base64 密文写到标准输出。\n")},
    {"decrypt", cli::CmdDecrypt, "pennacrow-cli decrypt [--password-file FILE]\n",
     N_("用密码解密标准输入的 Base64 密文，把文本写到标准输出。\n")},
    {"convert", cli::CmdConvert, "pennacrow-cli convert IN OUT [--format bmp|png|EXT]\n",
     N_("读取图片 IN，保存为 OUT（.bmp 或 .png），与桌面程序的保存相同。\n"
        "IN 为 - 时读标准输入；OUT 为 - 时写标准输出，格式由 --format bmp|png 指定。\n")},
    {"fractal", cli::CmdFractal,
     "pennacrow-cli fractal KIND -o OUT [--size WxH] [--iterations N] [--seed N]\n"
     "                      [--over CARRIER] [--format bmp|png]\n",
     N_("画一幅分形图，保存为 OUT。KIND: mandelbrot, julia, moire, sierpinski, fern, leaf,\n"
        "curl, koch。\n"
        "  --size WxH       画布大小（默认 827x402）\n"
        "  --iterations N   迭代次数\n"
        "  --seed N         随机数种子\n"
        "  --over CARRIER   画在这幅图片上\n")},
    {"formats", cli::CmdFormats, "pennacrow-cli formats [--filter]\n",
     N_("列出能读取的图片格式：扩展名、说明、类，每行一个；--filter 输出打开对话框的过滤串。\n")},
    {"analyze", cli::CmdAnalyze, "pennacrow-cli analyze FILE... [--json] [--jobs N] [-r]\n",
     N_("报告图片被检测出隐藏数据的风险。\n"
        "  --json     每个文件输出一个 JSON 对象\n"
        "  --jobs N   同时分析的文件数\n"
        "  -r         分析目录中的图片\n")},
};

bool IsHelp(const std::string& word) {
  return word == "--help" || word == "-h";
}

void PrintUsage(std::ostream& out) {
  out << Tr("用法:") << "\n" << kSynopsis << "\n" << Tr(kOverview);
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
        std::cout << Tr("用法:") << "\n" << entry.Usage << "\n" << Tr(entry.Help);
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
