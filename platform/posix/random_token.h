#pragma once
#include <cstddef>
#include <string>

namespace zd::posix {

// `bytes` bytes from the kernel's random source as lower-case hex: session
// keys and instance tokens no one can guess.
std::string random_token(std::size_t bytes);

}  // namespace zd::posix
