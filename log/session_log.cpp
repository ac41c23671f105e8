#include "log/session_log.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace pelko {

namespace {

using Clock = std::chrono::steady_clock;

struct SessionLog {
    std::mutex mu;
    std::condition_variable wake;
    std::vector<std::uint8_t> pending; // under mu, never past kLogBacklog
    std::size_t dropped = 0;           // under mu
    bool stop = false;                 // under mu
    Clock::time_point giveUpAt{};      // under mu, once stop is set
    std::string problem;               // under mu: why writes fail now, "" while they work
    bool timestamps = false;
    bool atLineStart = true; // of the received text, under mu
    bool started = false;    // under mu: the session's first line is written
    std::string path;
    // The writer's own.
    int fd = -1;               // -1 while a FIFO waits for its reader
    std::size_t lost = 0;      // bytes not written since writes began to fail
    std::size_t unwritten = 0; // left when the writer gave up at the close
    bool gone = false;         // the reader of a pipe went away: nothing more is written
    std::thread writer;
};

// Set while a log is open; the writer and the file belong to it.
std::atomic<SessionLog*> gLog{nullptr};

constexpr int kOpenFlags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
constexpr auto kLook = std::chrono::milliseconds(100);

// Writes what it can of [p, p + n); a pipe that is full is waited for in short looks, up to the
// close's deadline. The bytes written; errno is left set when fewer were.
std::size_t WriteSome(SessionLog* log, const std::uint8_t* p, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
        const ssize_t w = ::write(log->fd, p + done, n - done);
        if (w > 0) {
            done += static_cast<std::size_t>(w);
            continue;
        }
        if (w < 0 && errno == EINTR) {
            continue;
        }
        if (w < 0 && errno == EAGAIN) {
            {
                std::lock_guard<std::mutex> lock(log->mu);
                if (log->stop && Clock::now() >= log->giveUpAt) {
                    errno = ETIMEDOUT;
                    return done;
                }
            }
            pollfd pfd{log->fd, POLLOUT, 0};
            ::poll(&pfd, 1, static_cast<int>(kLook.count()));
            continue;
        }
        if (w == 0) {
            errno = ENOSPC;
        }
        return done;
    }
    return done;
}

// Says a failure once, on standard error and for the status line.
void Failed(SessionLog* log, int error) {
    const std::string reason = std::strerror(error);
    bool first = false;
    {
        std::lock_guard<std::mutex> lock(log->mu);
        first = log->problem.empty();
        log->problem = reason;
    }
    if (first) {
        std::fprintf(stderr, "pelko: the log %s: %s; %s\n", log->path.c_str(), reason.c_str(),
                     error == EPIPE ? "its reader has gone, logging stops"
                                    : "what cannot be written is counted");
    }
}

void Put(SessionLog* log, const std::uint8_t* p, std::size_t n) {
    if (log->gone || n == 0) {
        log->lost += n;
        return;
    }
    if (log->lost != 0) {
        std::string why;
        {
            std::lock_guard<std::mutex> lock(log->mu);
            why = log->problem;
        }
        const std::string gap =
            "\n[pelko] " + std::to_string(log->lost) +
            " bytes not logged here: " + (why.empty() ? "more than the log could hold" : why) +
            "\n";
        const std::size_t w =
            WriteSome(log, reinterpret_cast<const std::uint8_t*>(gap.data()), gap.size());
        if (w < gap.size()) {
            Failed(log, errno);
            log->lost += n;
            return;
        }
        log->lost = 0;
        std::lock_guard<std::mutex> lock(log->mu);
        log->problem.clear();
    }
    const std::size_t w = WriteSome(log, p, n);
    if (w < n) {
        const int error = errno;
        log->lost += n - w;
        if (error == EPIPE) {
            log->gone = true;
        }
        if (error != ETIMEDOUT) { // else the close gave up: it counts what is left
            Failed(log, error);
        }
    }
}

// Opens a FIFO once its reader has come; true when the file is open.
bool Reopen(SessionLog* log) {
    if (log->fd >= 0) {
        return true;
    }
    log->fd = ::open(log->path.c_str(), kOpenFlags, 0644);
    return log->fd >= 0;
}

void Writer(SessionLog* log) {
    std::vector<std::uint8_t> out;
    std::vector<std::uint8_t> waiting; // held while a FIFO has no reader, at most kLogBacklog
    for (;;) {
        std::size_t dropped = 0;
        bool stop = false;
        bool late = false;
        {
            std::unique_lock<std::mutex> lock(log->mu);
            auto ready = [&] { return log->stop || !log->pending.empty(); };
            if (log->fd < 0) { // a look for the FIFO's reader now and then
                lock.unlock();
                std::this_thread::sleep_for(kLook);
                lock.lock();
            } else {
                log->wake.wait(lock, ready);
            }
            out.swap(log->pending);
            dropped = std::exchange(log->dropped, 0);
            stop = log->stop;
            late = stop && Clock::now() >= log->giveUpAt;
        }
        if (!Reopen(log)) {
            const std::size_t room = kLogBacklog - std::min(kLogBacklog, waiting.size());
            const std::size_t keep = std::min(room, out.size());
            waiting.insert(waiting.end(), out.begin(), out.begin() + static_cast<long>(keep));
            log->lost += dropped + out.size() - keep;
            out.clear();
            if (late) {
                log->unwritten = waiting.size() + log->lost;
                return;
            }
            continue;
        }
        if (!waiting.empty()) {
            Put(log, waiting.data(), waiting.size());
            waiting.clear();
            waiting.shrink_to_fit();
        }
        Put(log, out.data(), out.size());
        out.clear();
        if (dropped != 0 && !log->gone) {
            const std::string note =
                "\n[pelko] " + std::to_string(dropped) + " bytes not logged: the disk was slow\n";
            Put(log, reinterpret_cast<const std::uint8_t*>(note.data()), note.size());
        }
        if (stop) {
            std::lock_guard<std::mutex> lock(log->mu);
            if (log->pending.empty() || Clock::now() >= log->giveUpAt) {
                log->unwritten = log->gone ? 0 : log->lost + log->pending.size();
                return;
            }
        }
    }
}

// The local time in ISO 8601, to the millisecond: 2026-12-09T15:20:01.123+01:00.
std::string Iso8601() {
    timeval tv{};
    ::gettimeofday(&tv, nullptr);
    tm local{};
    const time_t secs = tv.tv_sec;
    ::localtime_r(&secs, &local);
    char text[48];
    std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    char zone[8] = "";
    std::strftime(zone, sizeof zone, "%z", &local); // +0100
    n += static_cast<std::size_t>(
        std::snprintf(text + n, sizeof text - n, ".%03ld", static_cast<long>(tv.tv_usec / 1000)));
    if (std::strlen(zone) == 5) {
        std::snprintf(text + n, sizeof text - n, "%.3s:%.2s", zone, zone + 3);
    }
    return text;
}

std::string Now() {
    return Iso8601() + " ";
}

// Appends under the lock; past the backlog the bytes are only counted.
void Append(SessionLog* log, const std::uint8_t* bytes, std::size_t n) {
    if (log->pending.size() + n > kLogBacklog) {
        log->dropped += n;
        return;
    }
    log->pending.insert(log->pending.end(), bytes, bytes + n);
}

void Append(SessionLog* log, const std::string& text) {
    Append(log, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

} // namespace

bool OpenSessionLog(const std::string& path, bool timestamps, std::string& why) {
    CloseSessionLog();
    int fd = ::open(path.c_str(), kOpenFlags, 0644);
    if (fd < 0 && errno == ENXIO) {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 || !S_ISFIFO(st.st_mode)) {
            why = path + ": " + std::strerror(ENXIO);
            return false;
        }
        // A FIFO with no reader yet: the writer opens it once one comes.
    } else if (fd < 0) {
        why = path + ": " + std::strerror(errno);
        return false;
    }
    auto* log = new SessionLog;
    log->fd = fd;
    log->path = path;
    log->timestamps = timestamps;
    try {
        log->writer = std::thread(Writer, log);
    } catch (const std::system_error& e) {
        why = path + ": " + e.what();
        if (fd >= 0) {
            ::close(fd);
        }
        delete log;
        return false;
    }
    gLog.store(log);
    return true;
}

void LogSessionPort(const std::string& text) {
    SessionLog* log = gLog.load();
    if (log == nullptr) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(log->mu);
        const bool first = !std::exchange(log->started, true);
        Append(log, first ? "\n[pelko] session " + Iso8601() + ", " + text + "\n"
                          : "\n[pelko] " + (log->timestamps ? Now() : std::string()) +
                                "connected: " + text + "\n");
        log->atLineStart = true;
    }
    log->wake.notify_one();
}

void LogReceived(const std::uint8_t* bytes, std::int32_t n) {
    SessionLog* log = gLog.load();
    if (log == nullptr || bytes == nullptr || n <= 0) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(log->mu);
        if (!log->timestamps) {
            Append(log, bytes, static_cast<std::size_t>(n));
        } else {
            std::int32_t from = 0;
            for (std::int32_t i = 0; i < n; ++i) {
                if (log->atLineStart) {
                    Append(log, bytes + from, static_cast<std::size_t>(i - from));
                    Append(log, Now());
                    from = i;
                    log->atLineStart = false;
                }
                if (bytes[i] == '\n') {
                    log->atLineStart = true;
                }
            }
            Append(log, bytes + from, static_cast<std::size_t>(n - from));
        }
    }
    log->wake.notify_one();
}

void LogTyped(const std::uint8_t* bytes, std::int32_t n) {
    SessionLog* log = gLog.load();
    if (log == nullptr || bytes == nullptr || n <= 0) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(log->mu);
        Append(log, bytes, static_cast<std::size_t>(n));
    }
    log->wake.notify_one();
}

void LogEvent(const std::string& text) {
    SessionLog* log = gLog.load();
    if (log == nullptr) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(log->mu);
        Append(log, "\n[pelko] " + (log->timestamps ? Now() : std::string()) + text + "\n");
        log->atLineStart = true;
    }
    log->wake.notify_one();
}

std::string SessionLogProblem() {
    SessionLog* log = gLog.load();
    if (log == nullptr) {
        return {};
    }
    std::lock_guard<std::mutex> lock(log->mu);
    return log->problem;
}

void CloseSessionLog() {
    SessionLog* log = gLog.exchange(nullptr);
    if (log == nullptr) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(log->mu);
        log->stop = true;
        log->giveUpAt = Clock::now() + std::chrono::milliseconds(kLogCloseMs);
    }
    log->wake.notify_one();
    log->writer.join();
    if (log->unwritten != 0) {
        std::fprintf(stderr, "pelko: the log %s: %zu bytes could not be written\n",
                     log->path.c_str(), log->unwritten);
    }
    if (log->fd >= 0) {
        ::close(log->fd);
    }
    delete log;
}

} // namespace pelko
