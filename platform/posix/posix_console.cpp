#include <cstdio>

#include "platform/console.h"

namespace zd {

namespace {

bool write_all(FILE* stream, const std::string& bytes) {
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
    return std::fflush(stream) == 0 && written;
}

}  // namespace

bool write_console_text(ConsoleStream stream, const std::string& utf8) {
    return write_all(stream == ConsoleStream::Out ? stdout : stderr, utf8);
}

bool write_console_bytes(const std::string& bytes) { return write_all(stdout, bytes); }

std::vector<std::string> utf8_arguments(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

}  // namespace zd
