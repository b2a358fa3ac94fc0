#include "cli/Cli.h"

namespace pennacrow::cli {

int CmdEncrypt(const std::vector<std::string>&) {
  throw std::runtime_error("pennacrow-cli encrypt: 尚未实现");
}

int CmdDecrypt(const std::vector<std::string>&) {
  throw std::runtime_error("pennacrow-cli decrypt: 尚未实现");
}

}  // namespace pennacrow::cli
