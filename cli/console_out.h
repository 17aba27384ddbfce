#pragma once
#include <string>
#include <vector>

#include "cli/cli_app.h"

namespace zd::cli {

// stdout and stderr: UTF-8 on POSIX and when redirected on Windows; a
// Windows console gets the text as Unicode so umlauts show right.
CliIo console_io();
// The arguments after the program name as UTF-8 (on Windows from the
// Unicode command line, whatever the code page).
std::vector<std::string> utf8_arguments(int argc, char** argv);

}  // namespace zd::cli
