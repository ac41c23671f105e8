#include "posix/uucp_lock.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace pelko::posix {

namespace {

// The pid in a lock file, or 0 when it cannot be read.
pid_t LockOwner(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    char text[32] = {};
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0) {
        return 0;
    }
    const long pid = std::strtol(text, nullptr, 10);
    return pid > 0 ? static_cast<pid_t>(pid) : 0;
}

bool Alive(pid_t pid) {
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

} // namespace

std::string UucpLockPath(const std::string& dir, const std::string& device) {
    std::string name = device;
    const std::string dev = "/dev/";
    if (name.compare(0, dev.size(), dev) == 0) {
        name.erase(0, dev.size());
    }
    for (char& c : name) {
        if (c == '/') {
            c = '_';
        }
    }
    return dir + "/LCK.." + name;
}

LockResult AcquireUucpLock(const std::string& path) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            char text[16];
            const int len = std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(getpid()));
            const bool ok = len > 0 && ::write(fd, text, static_cast<std::size_t>(len)) == len;
            ::close(fd);
            if (!ok) {
                ::unlink(path.c_str());
                return LockResult::Unavailable;
            }
            return LockResult::Locked;
        }
        if (errno != EEXIST) {
            return LockResult::Unavailable;
        }
        const pid_t owner = LockOwner(path);
        if (owner != 0 && Alive(owner)) {
            return LockResult::Busy;
        }
        ::unlink(path.c_str()); // stale: its process is gone
    }
    return LockResult::Busy;
}

void ReleaseUucpLock(const std::string& path) {
    if (LockOwner(path) == getpid()) {
        ::unlink(path.c_str());
    }
}

} // namespace pelko::posix
