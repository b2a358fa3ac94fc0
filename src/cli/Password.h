#pragma once

#include <string>

#include "cli/Cli.h"

namespace pennacrow::cli {

// The password as payload code page bytes: the first line of --password-file (without its line
// end), else PENNACROW_PASSWORD, else a prompt on the terminal without echo.
std::string ReadPassword(const TArgs& args);

}  // namespace pennacrow::cli
