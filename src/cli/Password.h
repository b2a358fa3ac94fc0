#pragma once

#include <string>

#include "cli/Cli.h"

namespace pennacrow::cli {

// The password as payload code page bytes: the first line of --password-file (without its line
// end), else PENNACROW_PASSWORD, else a prompt on the terminal without echo.
std::string ReadPassword(const TArgs& args);

// The same password as its UTF-8 bytes, unconverted. With confirm, a terminal prompt asks twice
// and refuses two different answers: a mistyped password for a new seal would lock its owner out.
std::string ReadPasswordUtf8(const TArgs& args, bool confirm = false);

}  // namespace pennacrow::cli
