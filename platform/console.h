#pragma once
#include <string>
#include <vector>

// Standard output and error of the console programs, and their arguments.
// Texts are UTF-8; bytes go out as they are.
namespace zd {

enum class ConsoleStream { Out, Err };

// UTF-8 text to stdout or stderr: as it is on POSIX and when redirected on
// Windows (line feeds then as CR LF); a Windows console gets it as Unicode
// so umlauts show right. False when not all of it was written.
bool write_console_text(ConsoleStream stream, const std::string& utf8);
// Bytes to stdout as they are. False when not all of them were written.
bool write_console_bytes(const std::string& bytes);

// The arguments after the program name as UTF-8 (on Windows from the
// Unicode command line, whatever the code page).
std::vector<std::string> utf8_arguments(int argc, char** argv);

}  // namespace zd
