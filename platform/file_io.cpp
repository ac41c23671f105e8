#include "platform/file_io.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace pelko::platform {

int OpenRegularFile(const std::string& path, int flags, std::string& why, struct stat* st) {
    const int open =
        O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | ((flags & kNoFollow) != 0 ? O_NOFOLLOW : 0);
    const int fd = ::open(path.c_str(), open);
    if (fd < 0) {
        why = std::strerror(errno);
        return -1;
    }
    struct stat own {};
    struct stat* s = st != nullptr ? st : &own;
    const bool known = ::fstat(fd, s) == 0;
    if (!known || !S_ISREG(s->st_mode)) {
        why = known ? "not a regular file" : std::strerror(errno);
        ::close(fd);
        errno = known ? EINVAL : errno;
        return -1;
    }
    const int fl = ::fcntl(fd, F_GETFL);
    if (fl >= 0) {
        ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
    }
    return fd;
}

ReadResult ReadSmallFile(const std::string& path, std::size_t limit, std::string& text,
                         std::string& why, int flags) {
    const int fd = OpenRegularFile(path, flags, why);
    if (fd < 0) {
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    }
    ReadResult result = ReadResult::Ok;
    char chunk[4096];
    while (result == ReadResult::Ok) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            why = std::strerror(errno);
            result = ReadResult::Failed;
        } else if (n == 0) {
            break;
        } else if (text.size() + static_cast<std::size_t>(n) > limit) {
            why = "larger than " + std::to_string(limit) + " bytes";
            result = ReadResult::Failed;
        } else {
            text.append(chunk, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    return result;
}

std::size_t WriteAll(int fd, const void* data, std::size_t n) {
    const auto* p = static_cast<const unsigned char*>(data);
    std::size_t done = 0;
    while (done < n) {
        const ssize_t w = ::write(fd, p + done, n - done);
        if (w < 0 && errno == EINTR) {
            continue;
        }
        if (w <= 0) {
            errno = w == 0 ? EIO : errno;
            return done;
        }
        done += static_cast<std::size_t>(w);
    }
    return done;
}

} // namespace pelko::platform
