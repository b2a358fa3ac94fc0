#include <cstring>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "cli/Cli.h"

namespace {

const char* const kUsage =
    "用法:\n"
    "  pennacrow-cli info FILE [--json]\n"
    "  pennacrow-cli hide CARRIER -o OUT [--text TEXT | --text-file FILE] [--encrypt]\n"
    "                     [--password-file FILE] [--raw] [--stealth]\n"
    "  pennacrow-cli hide CARRIER -o OUT --seal [--text TEXT | --text-file FILE | --file PATH]\n"
    "                     [--password-file FILE] [--stealth]\n"
    "  pennacrow-cli reveal FILE [-o OUT] [--decrypt] [--password-file FILE] [--raw]\n"
    "                     [--force] [--save-file]\n"
    "  pennacrow-cli encrypt [--password-file FILE]      (标准输入到标准输出)\n"
    "  pennacrow-cli decrypt [--password-file FILE]      (标准输入到标准输出)\n"
    "  pennacrow-cli convert IN OUT\n"
    "  pennacrow-cli fractal KIND -o OUT [--size WxH] [--iterations N] [--seed N]\n"
    "                     [--over CARRIER]\n"
    "  pennacrow-cli formats [--filter]\n"
    "  pennacrow-cli analyze FILE... [--json] [--jobs N] [-r]\n"
    "  pennacrow-cli --help | --version\n"
    "\n"
    "Pennacrow 把一段文本藏进图片像素字节的最低位，并能读回。OUT 的扩展名决定保存为\n"
    "BMP 还是 PNG。密码取自 --password-file 的第一行，或环境变量 PENNACROW_PASSWORD，\n"
    "或在终端上不回显地输入。hide --stealth 以随机加减 1 代替替换最低位，更难被检测。\n"
    "analyze 报告图片被检测出隐藏数据的风险；多个文件时每个文件一行，-r 分析目录。\n"
    "reveal 遇到没有隐藏数据的图片时失败，加 --force 仍读出最低位。\n"
    "\n"
    "--seal 把文本或文件密封起来（Argon2id 派生密钥，XChaCha20-Poly1305 加密并认证，格式 4），\n"
    "在终端上要输入两次密码。reveal 遇到密封的图片会要密码；密码错误或数据被改动时只报\n"
    "“密码错误或数据已损坏”，不输出任何内容。密封的文件用 -o 写出，或用 --save-file 以原名\n"
    "存到当前目录（已有同名文件时须加 --force）。\n"
    "--encrypt 写出旧版本也能读的格式 2，但它很弱：同一密码总是得到同一个 RC4 密钥流，两段\n"
    "密文相互异或就露出明文；密码错了也照样“解密”出乱码；每个处理器核心每秒能试几十万个\n"
    "密码；Base64 文本在最低位里一眼就能认出。要保密请用 --seal。\n"
    "退出状态: 0 成功; 1 失败; 2 用法错误。\n";

struct TEntry {
  const char* Name;
  pennacrow::cli::TCommand Run;
};

const TEntry kCommands[] = {
    {"info", pennacrow::cli::CmdInfo},       {"hide", pennacrow::cli::CmdHide},
    {"reveal", pennacrow::cli::CmdReveal},   {"encrypt", pennacrow::cli::CmdEncrypt},
    {"decrypt", pennacrow::cli::CmdDecrypt}, {"convert", pennacrow::cli::CmdConvert},
    {"fractal", pennacrow::cli::CmdFractal}, {"formats", pennacrow::cli::CmdFormats},
    {"analyze", pennacrow::cli::CmdAnalyze},
};

}  // namespace

int main(int argc, char** argv) {
  using namespace pennacrow::cli;
  std::ios::sync_with_stdio(false);
  if (argc < 2) {
    std::cerr << kUsage;
    return kExitUsage;
  }
  const std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    std::cout << kUsage;
    return kExitSuccess;
  }
  if (command == "--version") {
    std::cout << "pennacrow-cli " << PENNACROW_VERSION << "\n";
    return kExitSuccess;
  }
  InstallSignalCleanup();
  const std::vector<std::string> words(argv + 2, argv + argc);
  for (const TEntry& entry : kCommands) {
    if (command != entry.Name) continue;
    try {
      return entry.Run(words);
    } catch (const EUsage& e) {
      std::cerr << "pennacrow-cli " << command << ": " << e.what() << "\n\n" << kUsage;
      return kExitUsage;
    } catch (const std::exception& e) {
      std::cerr << e.what() << "\n";
      return kExitFailure;
    }
  }
  std::cerr << "pennacrow-cli: 未知命令 " << command << "\n\n" << kUsage;
  return kExitUsage;
}
