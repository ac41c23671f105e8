#include "posix/uucp_lock.h"

#include "platform/file_io.h"
#include "platform/temp_file.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace pelko::posix {

namespace {

enum class LockState { Held, Stale, Missing };

struct LockFile {
    LockState state = LockState::Missing;
    pid_t pid = 0; // the pid it names, 0 when none
    dev_t dev = 0;
    ino_t ino = 0;
};

// The lock files this process holds, for ReleaseHeldUucpLocks. Plain storage, so that it is
// still there while exit() runs its handlers.
constexpr int kMaxHeld = 8;
std::mutex gHeldMu;
char gHeld[kMaxHeld][PATH_MAX];

void Remember(const std::string& path) {
    std::lock_guard lock(gHeldMu);
    for (char* slot : gHeld) {
        if (slot[0] == 0 && path.size() < PATH_MAX) {
            std::memcpy(slot, path.c_str(), path.size() + 1);
            return;
        }
    }
}

void Forget(const std::string& path) {
    std::lock_guard lock(gHeldMu);
    for (char* slot : gHeld) {
        if (path == slot) {
            slot[0] = 0;
        }
    }
}

bool Alive(pid_t pid) {
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

// The pid that a lock file's bytes name, 0 when they name none: decimal digits between optional
// blanks and a blank, newline or the end ("%10d\n", "%d", "  812 minicom root\n"), or else
// exactly four bytes of a binary pid.
pid_t ParsePid(const char* text, std::size_t n) {
    std::size_t i = 0;
    while (i < n && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    long pid = 0;
    std::size_t digits = 0;
    while (i < n && digits < 10 && text[i] >= '0' && text[i] <= '9') {
        pid = pid * 10 + (text[i++] - '0');
        ++digits;
    }
    if (digits > 0 && (i == n || text[i] == ' ' || text[i] == '\t' || text[i] == '\n' ||
                       text[i] == '\r' || text[i] == 0)) {
        return pid <= INT_MAX ? static_cast<pid_t>(pid) : 0;
    }
    if (n == 4) {
        std::int32_t binary = 0;
        std::memcpy(&binary, text, sizeof binary);
        return binary > 0 ? binary : 0;
    }
    return 0;
}

long SecondsSince(const timespec& then) {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const long d = static_cast<long>(now.tv_sec - then.tv_sec);
    return d < 0 ? -d : d; // a time in the future is no sign of a writer at work either
}

// What stands at a lock path. Only a regular file is opened, without following links and
// without waiting, so nothing planted there can hold the caller up.
LockFile Inspect(const std::string& path) {
    LockFile lock;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        lock.state = errno == ENOENT ? LockState::Missing : LockState::Held;
        return lock;
    }
    lock.state = LockState::Held;
    if (!S_ISREG(st.st_mode)) {
        return lock;
    }
    std::string why;
    const int fd = platform::OpenRegularFile(path, platform::kNoFollow, why, &st);
    if (fd < 0) {
        return lock;
    }
    char text[64];
    ssize_t n = -1;
    do {
        n = ::read(fd, text, sizeof text);
    } while (n < 0 && errno == EINTR);
    ::close(fd);
    if (n < 0) {
        return lock;
    }
    lock.dev = st.st_dev;
    lock.ino = st.st_ino;
    lock.pid = ParsePid(text, static_cast<std::size_t>(n));
    if (lock.pid != 0) {
        lock.state = Alive(lock.pid) ? LockState::Held : LockState::Stale;
    } else if (SecondsSince(st.st_mtim) >= kUnreadableLockSeconds) {
        lock.state = LockState::Stale; // nobody is still writing this one
    }
    return lock;
}

// Removes the file that Inspect looked at, unless another has taken its place meanwhile.
void RemoveIfSame(const std::string& path, const LockFile& lock) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && st.st_dev == lock.dev && st.st_ino == lock.ino) {
        ::unlink(path.c_str());
    }
}

// A new file beside `path` that holds this process's pid; its name, or "" when none can be
// made there.
std::string WriteTemp(const std::string& path) {
    char text[16];
    const int len = std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(::getpid()));
    std::string temp;
    const int fd = platform::CreateTempBeside(path, "LTMP.", 0644, temp);
    if (fd < 0) {
        return {};
    }
    // Readable by every program that checks the lock, whatever the umask.
    bool ok = ::fchmod(fd, 0644) == 0 && len > 0 &&
              platform::WriteAll(fd, text, static_cast<std::size_t>(len)) ==
                  static_cast<std::size_t>(len);
    ok = ::close(fd) == 0 && ok;
    if (ok) {
        return temp;
    }
    ::unlink(temp.c_str());
    return {};
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
    // The pid is written first and the file then linked to the lock's name, so that nobody
    // ever finds our lock empty.
    const std::string temp = WriteTemp(path);
    if (temp.empty()) {
        // No lock of our own here; a live one of another program is still honoured.
        return Inspect(path).state == LockState::Held ? LockResult::Busy : LockResult::Unavailable;
    }
    LockResult result = LockResult::Busy;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (::link(temp.c_str(), path.c_str()) == 0) {
            result = LockResult::Locked;
            break;
        }
        const int err = errno;
        const LockFile there = Inspect(path);
        if (there.state == LockState::Held) {
            result = LockResult::Busy;
            break;
        }
        if (there.state == LockState::Missing) {
            if (err == EEXIST) {
                continue; // removed meanwhile
            }
            result = LockResult::Unavailable; // no links in this folder
            break;
        }
        RemoveIfSame(path, there); // stale
    }
    ::unlink(temp.c_str());
    if (result == LockResult::Locked) {
        Remember(path);
    }
    return result;
}

void ReleaseUucpLock(const std::string& path) {
    Forget(path);
    const LockFile lock = Inspect(path);
    if (lock.pid == ::getpid()) {
        RemoveIfSame(path, lock);
    }
}

void ReleaseHeldUucpLocks() {
    std::lock_guard lock(gHeldMu);
    for (char* slot : gHeld) {
        if (slot[0] != 0) {
            const std::string path = slot;
            slot[0] = 0;
            const LockFile there = Inspect(path);
            if (there.pid == ::getpid()) {
                RemoveIfSame(path, there);
            }
        }
    }
}

std::string UucpLockHolder(const std::string& path) {
    const LockFile lock = Inspect(path);
    if (lock.state != LockState::Held || lock.pid <= 0) {
        return {};
    }
    std::string text = "process " + std::to_string(lock.pid);
    char comm[64] = {};
    const std::string commPath = "/proc/" + std::to_string(lock.pid) + "/comm";
    if (std::FILE* f = std::fopen(commPath.c_str(), "r")) {
        if (std::fgets(comm, sizeof comm, f) != nullptr) {
            comm[std::strcspn(comm, "\n")] = 0;
            text += std::string(" (") + comm + ")";
        }
        std::fclose(f);
    }
    return text;
}

} // namespace pelko::posix
