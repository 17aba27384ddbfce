#pragma once

#include <termios.h>

namespace zd {

// The B203 line: raw 1200 baud 8N1, XON/XOFF both ways, no hardware
// handshake, reads that never block (only waiting bytes are ever read).
inline void set_b203_line_mode(termios& tio) {
    cfmakeraw(&tio);
    cfsetispeed(&tio, B1200);
    cfsetospeed(&tio, B1200);
    tio.c_cflag &= ~static_cast<tcflag_t>(PARENB | CSTOPB | CSIZE | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag |= IXON | IXOFF;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXANY);
    tio.c_cc[VSTART] = 0x11;
    tio.c_cc[VSTOP] = 0x13;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
}

}  // namespace zd
