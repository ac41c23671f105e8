#include "posix/serial_port.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <mutex>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "posix/uucp_lock.h"
#include "posix/write_wait.h"

namespace pelko::posix {

using platform::WaitResult;
using platform::WriteResult;
using platform::WriteStatus;

namespace {

struct BaudEntry {
    std::uint32_t rate;
    speed_t constant;
};

constexpr BaudEntry kBaudTable[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

// Raw input that a non-blocking read reports as EAGAIN when empty and as 0 only at hang-up.
void MakeRaw(termios& t) {
    cfmakeraw(&t);
    t.c_cflag |= CREAD | CLOCAL;
    t.c_cflag &= ~CRTSCTS;
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
}

// The descriptors of the open ports, for ReleaseOpenSerialPorts. Plain storage, so that it is
// still there while exit() runs its handlers.
constexpr int kMaxOpen = 8;
std::mutex gOpenMu;
int gOpen[kMaxOpen] = {-1, -1, -1, -1, -1, -1, -1, -1};

void NoteOpen(int fd, int was) {
    std::lock_guard lock(gOpenMu);
    for (int& slot : gOpen) {
        if (slot == was) {
            slot = fd;
            return;
        }
    }
}

// True when another program has put the tty in exclusive mode (TIOCEXCL), which does not keep
// root out: Pelko then stays out of its own accord. Checked before setting the mode ourselves.
bool HeldExclusively(int fd) {
    int exclusive = 0;
    return ::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
}

bool SetModemLine(int fd, int line, bool on) {
    int bits = line;
    if (::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits) == 0) {
        return true;
    }
    return errno == ENOTTY || errno == EINVAL; // no modem lines here (a pty): nothing to do
}

class SerialPort : public platform::Port {
public:
    SerialPort(int fd, std::string lockPath) : fd_(fd), lockPath_(std::move(lockPath)) {
        haveSaved_ = ::tcgetattr(fd_, &saved_) == 0;
        if (haveSaved_) {
            termios raw = saved_;
            MakeRaw(raw);
            ::tcsetattr(fd_, TCSANOW, &raw);
        }
        ::tcflush(fd_, TCIOFLUSH);
        NoteOpen(fd_, -1);
    }
    ~SerialPort() override { Close(); }

    bool Configure(const platform::LineSettings& line) override {
        const speed_t speed = BaudConstant(line.baudRate);
        termios old{};
        if (fd_ < 0 || speed == B0 || ::tcgetattr(fd_, &old) != 0) {
            return false;
        }
        termios t = old;
        MakeRaw(t);
        t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
        switch (line.dataBits) {
        case 5:
            t.c_cflag |= CS5;
            break;
        case 6:
            t.c_cflag |= CS6;
            break;
        case 7:
            t.c_cflag |= CS7;
            break;
        case 8:
            t.c_cflag |= CS8;
            break;
        default:
            return false;
        }
        switch (line.parity) {
        case 0:
            break;
        case 1:
            t.c_cflag |= PARENB | PARODD;
            break;
        case 2:
            t.c_cflag |= PARENB;
            break;
        case 3:
            t.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case 4:
            t.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            return false;
        }
        if (line.stopBits > 2) {
            return false;
        }
        if (line.stopBits != 0) {
            t.c_cflag |= CSTOPB; // one and a half stop bits exist only with 5 data bits
        }
        t.c_iflag &= ~INPCK; // no parity checking
        cfsetispeed(&t, speed);
        cfsetospeed(&t, speed);
        // tcsetattr succeeds when any part was taken: read back what the driver kept.
        termios now{};
        if (::tcsetattr(fd_, TCSANOW, &t) != 0 || ::tcgetattr(fd_, &now) != 0 ||
            cfgetospeed(&now) != speed || (now.c_cflag & CSIZE) != (t.c_cflag & CSIZE) ||
            (now.c_cflag & (PARENB | PARODD | CSTOPB)) !=
                (t.c_cflag & (PARENB | PARODD | CSTOPB))) {
            ::tcsetattr(fd_, TCSANOW, &old);
            return false;
        }
        SetModemLine(fd_, TIOCM_RTS, true);
        return true;
    }

    bool SetDtr(bool on) override { return fd_ >= 0 && SetModemLine(fd_, TIOCM_DTR, on); }

    // Unlike SetDtr, says when the device has no such line: a reset that did nothing must not
    // pass for one that was done. A break is started and ended, never waited for.
    bool SetControl(platform::Control what, bool on, std::string& why) override {
        if (fd_ < 0) {
            why = "the port is closed";
            return false;
        }
        int rc = 0;
        if (what == platform::Control::Break) {
            rc = ::ioctl(fd_, on ? TIOCSBRK : TIOCCBRK);
        } else {
            int bits = what == platform::Control::Dtr ? TIOCM_DTR : TIOCM_RTS;
            rc = ::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bits);
        }
        if (rc == 0) {
            return true;
        }
        if (errno == ENOTTY || errno == EINVAL) {
            why = what == platform::Control::Break ? "the device cannot send a break"
                                                   : "the device has no modem lines";
        } else {
            why = std::strerror(errno);
        }
        return false;
    }

    bool Purge() override {
        {
            std::lock_guard lock(inMu_);
            pushed_ = 0;
        }
        return fd_ >= 0 && ::tcflush(fd_, TCIOFLUSH) == 0;
    }

    std::int64_t BytesWaiting() override {
        int queued = 0;
        if (fd_ < 0 || ::ioctl(fd_, FIONREAD, &queued) != 0) {
            return -1;
        }
        std::lock_guard lock(inMu_);
        return static_cast<std::int64_t>(queued) + pushed_;
    }

    std::int64_t Read(std::uint8_t* buf, std::size_t max) override {
        if (fd_ < 0) {
            return -1;
        }
        std::size_t got = 0;
        {
            std::lock_guard lock(inMu_);
            if (pushed_ != 0 && max > 0) {
                buf[got++] = pushByte_;
                pushed_ = 0;
            }
        }
        if (got == max) {
            return static_cast<std::int64_t>(got);
        }
        const ssize_t n = ::read(fd_, buf + got, max - got);
        if (n > 0) {
            return static_cast<std::int64_t>(got) + n;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            return static_cast<std::int64_t>(got);
        }
        dead_ = true; // 0 is a hang-up in raw mode; EIO a device that has gone
        return got > 0 ? static_cast<std::int64_t>(got) : -1;
    }

    WriteResult Write(const std::uint8_t* buf, std::size_t n, int totalTimeoutMs) override {
        using Clock = std::chrono::steady_clock;
        WriteResult result;
        if (fd_ < 0) {
            result.status = WriteStatus::FailedAtOnce;
            return result;
        }
        const auto deadline = Clock::now() + std::chrono::milliseconds(totalTimeoutMs);
        bool waited = false;
        while (result.written < n) {
            const ssize_t w = ::write(fd_, buf + result.written, n - result.written);
            if (w > 0) {
                result.written += static_cast<std::size_t>(w);
                continue;
            }
            if (w < 0 && errno == EINTR) {
                continue;
            }
            if (w < 0 && errno != EAGAIN) {
                result.status = result.written == 0 && !waited ? WriteStatus::FailedAtOnce
                                                               : WriteStatus::FailedLater;
                return result;
            }
            // The output queue is full: wait for room, but not past the deadline.
            const RoomWait room = WaitForRoom(fd_, deadline);
            if (room != RoomWait::Room) {
                result.status =
                    room == RoomWait::TimedOut ? WriteStatus::TimedOut : WriteStatus::FailedLater;
                return result;
            }
            waited = true;
        }
        return result;
    }

    WaitResult WaitForInput(platform::Event wake) override {
        int idleLooks = 0;
        for (;;) {
            if (dead_.load()) {
                // A dead device is not watched again; what it left behind can still be read.
                return BytesWaitingOrZero() > 0 ? WaitResult::Input : WaitResult::Dead;
            }
            pollfd pfd[2] = {{wake, POLLIN, 0}, {fd_, POLLIN, 0}};
            if (::poll(pfd, 2, -1) < 0) {
                if (errno == EINTR) {
                    continue;
                }
                dead_ = true;
                continue;
            }
            if ((pfd[0].revents & POLLIN) != 0) {
                return WaitResult::Woken;
            }
            const short got = pfd[1].revents;
            if ((got & POLLIN) != 0 && Probe()) {
                return WaitResult::Input;
            }
            if ((got & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
                dead_ = true;
                continue;
            }
            // POLLIN with nothing to read and no hang-up. Should the driver keep saying so,
            // slow down rather than spin.
            if (++idleLooks > 3) {
                pollfd pause{wake, POLLIN, 0};
                ::poll(&pause, 1, 10);
            }
        }
    }

    void Close() override {
        if (fd_ < 0) {
            return;
        }
        ::ioctl(fd_, TIOCNXCL);
        if (haveSaved_) {
            ::tcsetattr(fd_, TCSANOW, &saved_);
        }
        ::flock(fd_, LOCK_UN);
        NoteOpen(-1, fd_);
        ::close(fd_);
        fd_ = -1;
        if (!lockPath_.empty()) {
            ReleaseUucpLock(lockPath_);
        }
    }

private:
    std::int64_t BytesWaitingOrZero() {
        const std::int64_t n = BytesWaiting();
        return n > 0 ? n : 0;
    }

    // After POLLIN: true when bytes can be read. When the driver reports none, one read tells a
    // hang-up (0 or EIO) from a byte that has just come, which is kept for the next Read.
    bool Probe() {
        if (BytesWaitingOrZero() > 0) {
            return true;
        }
        std::uint8_t byte = 0;
        const ssize_t n = ::read(fd_, &byte, 1);
        if (n == 1) {
            std::lock_guard lock(inMu_);
            pushByte_ = byte;
            pushed_ = 1;
            return true;
        }
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
            dead_ = true;
        }
        return false;
    }

    int fd_;
    std::string lockPath_;
    termios saved_{};
    bool haveSaved_ = false;
    std::atomic<bool> dead_{false};
    std::mutex inMu_;
    std::uint8_t pushByte_ = 0;
    int pushed_ = 0;
};

} // namespace

void ReleaseOpenSerialPorts() {
    {
        std::lock_guard lock(gOpenMu);
        for (const int fd : gOpen) {
            if (fd >= 0) {
                ::ioctl(fd, TIOCNXCL);
            }
        }
    }
    ReleaseHeldUucpLocks();
}

speed_t BaudConstant(std::uint32_t rate) {
    for (const BaudEntry& e : kBaudTable) {
        if (e.rate == rate) {
            return e.constant;
        }
    }
    return B0;
}

namespace {

thread_local std::string tLastOpenError;

std::string WhyNotOpened(const std::string& path, int err) {
    std::string why = path + ": " + std::strerror(err);
    if (err == EACCES || err == EPERM) {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0) {
            if (const group* g = ::getgrgid(st.st_gid); g != nullptr && g->gr_name != nullptr) {
                why += std::string(" (the device belongs to the group ") + g->gr_name +
                       ": add yourself with `sudo usermod -aG " + g->gr_name +
                       " $USER`, then log in again)";
            }
        }
    }
    return why;
}

} // namespace

std::string LastSerialOpenError() {
    return tLastOpenError;
}

std::unique_ptr<platform::Port> OpenSerialPort(const std::string& path,
                                               const std::string& lockDir) {
    tLastOpenError.clear();
    // One device has one lock, whichever link (/dev/serial/by-id/...) names it.
    char real[PATH_MAX];
    const std::string device = ::realpath(path.c_str(), real) != nullptr ? real : path;
    // A device that is not there (a board unplugged, waited for) takes no lock file.
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0) {
        tLastOpenError = WhyNotOpened(path, errno);
        return nullptr;
    }
    std::string lockPath = UucpLockPath(lockDir, device);
    switch (AcquireUucpLock(lockPath)) {
    case LockResult::Busy: {
        const std::string holder = UucpLockHolder(lockPath);
        tLastOpenError = path + ": in use" + (holder.empty() ? "" : " by " + holder) +
                         " (lock file " + lockPath + ")";
        return nullptr;
    }
    case LockResult::Unavailable:
        lockPath.clear(); // no lock directory we may write to: flock and TIOCEXCL still hold
        break;
    case LockResult::Locked:
        break;
    }
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    const int openErr = errno;
    if (fd < 0 || HeldExclusively(fd) || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        tLastOpenError = fd < 0 ? WhyNotOpened(path, openErr)
                                : path + ": in use by another program (it holds the device open)";
        if (fd >= 0) {
            ::close(fd);
        }
        if (!lockPath.empty()) {
            ReleaseUucpLock(lockPath);
        }
        return nullptr;
    }
    if (::isatty(fd) == 0) { // /dev/null, a file: no line to set up
        tLastOpenError = path + ": " + std::strerror(ENOTTY) + " (not a serial device)";
        ::close(fd);
        if (!lockPath.empty()) {
            ReleaseUucpLock(lockPath);
        }
        return nullptr;
    }
    ::ioctl(fd, TIOCEXCL);
    return std::make_unique<SerialPort>(fd, std::move(lockPath));
}

} // namespace pelko::posix
