#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "platform/io_result.h"

// Standard input, output and error of the console programs, and their
// arguments. Texts are UTF-8; bytes go out as they are.
namespace zd {

enum class ConsoleStream { Out, Err };

// Called first in main. A closed standard stream gets a stand-in that fails
// every use, so that no file or port opened later takes its number and
// receives what was meant for the stream; a reader that went away makes
// writes fail instead of ending the program (POSIX).
void guard_standard_streams();

// UTF-8 text to stdout or stderr: as it is on POSIX and when redirected on
// Windows (line feeds then as CR LF); a Windows console gets it as Unicode
// so umlauts show right. Fails when not all of it was written.
IoResult write_console_text(ConsoleStream stream, const std::string& utf8);
// Bytes to stdout as they are; fails when not all of them were written.
IoResult write_console_bytes(const std::string& bytes);
// Standard input to its end, refused beyond `limit` bytes.
ReadResult read_console_input(std::size_t limit);

// The arguments after the program name as UTF-8 (on Windows from the
// Unicode command line, whatever the code page).
std::vector<std::string> utf8_arguments(int argc, char** argv);

}  // namespace zd
