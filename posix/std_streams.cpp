#include "posix/std_streams.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace pelko::posix {

bool OpenClosedStdStreams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) {
            continue;
        }
        // The lowest free number is this one: the ones below it are open already.
        const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened < 0) {
            return false;
        }
        if (opened != fd) { // cannot happen unless another thread opens meanwhile
            ::close(opened);
            return false;
        }
    }
    return true;
}

} // namespace pelko::posix
