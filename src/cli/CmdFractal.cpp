#include "cli/Cli.h"

namespace pennacrow::cli {

int CmdFractal(const std::vector<std::string>&) {
  throw std::runtime_error("pennacrow-cli fractal: 尚未实现");
}

}  // namespace pennacrow::cli
