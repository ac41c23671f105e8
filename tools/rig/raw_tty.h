#pragma once
// Puts a tty (a pty end, a serial device) into raw mode for the simulator, the test rig and the
// benchmarks' own peers.
//   MakeRawTty(fd)  raw 8-bit input and output, receiver on, modem lines ignored; false when the
//                   descriptor is not a tty or the mode could not be set
#include <termios.h>

namespace pelko::rig {

inline bool MakeRawTty(int fd) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0) {
        return false;
    }
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    return ::tcsetattr(fd, TCSANOW, &t) == 0;
}

} // namespace pelko::rig
