#include "cli/Password.h"

namespace pennacrow::cli {

std::string ReadPassword(const TArgs&) { throw std::runtime_error("密码输入尚未实现"); }

}  // namespace pennacrow::cli
