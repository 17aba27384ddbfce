#pragma once
#include <string>

namespace zd::posix {

// Reads a regular file of at most `max` bytes (following links); anything
// else — missing, a directory, a device, a FIFO, too large — gives false and
// a German reason.
bool read_small_file(const std::string& path, std::size_t max, std::string& content, std::string& reason);

}  // namespace zd::posix
