#pragma once
#include <cstddef>
#include <string>

#include "platform/io_result.h"

namespace zd {

// Everything `fd` yields up to its end, but never more than `limit` bytes
// kept: one byte beyond them makes it "too large".
ReadResult read_up_to(int fd, std::size_t limit);
// All of `bytes` to `fd`; a short write that cannot be completed fails.
IoResult write_all(int fd, const std::string& bytes);

}  // namespace zd
