#include "cli/Cli.h"

namespace pennacrow::cli {

int CmdHide(const std::vector<std::string>&) {
  throw std::runtime_error("pennacrow-cli hide: 尚未实现");
}

}  // namespace pennacrow::cli
