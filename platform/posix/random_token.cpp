#include "platform/posix/random_token.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace zd::posix {

std::string random_token(std::size_t bytes) {
    std::vector<unsigned char> buffer(bytes);
    std::size_t got = 0;
    while (got < bytes) {
        const ssize_t n = getrandom(buffer.data() + got, bytes - got, 0);
        if (n > 0)
            got += static_cast<std::size_t>(n);
        else if (errno != EINTR)
            std::abort();  // without randomness nothing may pass for a secret
    }
    static const char* const kHex = "0123456789abcdef";
    std::string token;
    for (unsigned char b : buffer) {
        token += kHex[b >> 4];
        token += kHex[b & 15];
    }
    return token;
}

}  // namespace zd::posix
