#include "cli/Cli.h"

namespace pennacrow::cli {

int CmdInfo(const std::vector<std::string>&) {
  throw std::runtime_error("pennacrow-cli info: 尚未实现");
}

}  // namespace pennacrow::cli
