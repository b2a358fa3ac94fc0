#include "cli/Cli.h"

namespace pennacrow::cli {

int CmdReveal(const std::vector<std::string>&) {
  throw std::runtime_error("pennacrow-cli reveal: 尚未实现");
}

}  // namespace pennacrow::cli
