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
    "  pennacrow-cli reveal FILE [-o OUT] [--decrypt] [--password-file FILE] [--raw]\n"
    "                     [--force]\n"
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
