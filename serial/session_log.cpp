#include "serial/session_log.h"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <sys/time.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace pelko {

namespace {

struct SessionLog {
    std::mutex mu;
    std::condition_variable wake;
    std::vector<std::uint8_t> pending; // under mu, never past kLogBacklog
    std::size_t dropped = 0;           // under mu
    bool stop = false;                 // under mu
    bool timestamps = false;
    bool atLineStart = true; // of the received text, under mu
    int fd = -1;
    std::thread writer;
};

// Set while a log is open; the writer and the file belong to it.
std::atomic<SessionLog*> gLog{nullptr};

void WriteAll(int fd, const std::uint8_t* p, std::size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) {
            continue;
        }
        if (w <= 0) {
            return; // a full disk: the rest is lost, the session goes on
        }
        p += w;
        n -= static_cast<std::size_t>(w);
    }
}

void Writer(SessionLog* log) {
    std::vector<std::uint8_t> out;
    for (;;) {
        std::size_t dropped = 0;
        bool stop = false;
        {
            std::unique_lock<std::mutex> lock(log->mu);
            log->wake.wait(lock, [&] { return log->stop || !log->pending.empty(); });
            out.swap(log->pending);
            dropped = std::exchange(log->dropped, 0);
            stop = log->stop;
        }
        WriteAll(log->fd, out.data(), out.size());
        out.clear();
        if (dropped != 0) {
            const std::string note =
                "\n[pelko] " + std::to_string(dropped) + " bytes not logged: the disk was slow\n";
            WriteAll(log->fd, reinterpret_cast<const std::uint8_t*>(note.data()), note.size());
        }
        if (stop) {
            std::lock_guard<std::mutex> lock(log->mu);
            if (log->pending.empty()) {
                return;
            }
        }
    }
}

std::string Now() {
    timeval tv{};
    ::gettimeofday(&tv, nullptr);
    tm local{};
    const time_t secs = tv.tv_sec;
    ::localtime_r(&secs, &local);
    char text[32];
    const std::size_t n = std::strftime(text, sizeof text, "%H:%M:%S", &local);
    std::snprintf(text + n, sizeof text - n, ".%03ld ", static_cast<long>(tv.tv_usec / 1000));
    return text;
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
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd < 0) {
        why = path + ": " + std::strerror(errno);
        return false;
    }
    auto* log = new SessionLog;
    log->fd = fd;
    log->timestamps = timestamps;
    try {
        log->writer = std::thread(Writer, log);
    } catch (const std::system_error& e) {
        why = path + ": " + e.what();
        ::close(fd);
        delete log;
        return false;
    }
    gLog.store(log);
    return true;
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

void CloseSessionLog() {
    SessionLog* log = gLog.exchange(nullptr);
    if (log == nullptr) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(log->mu);
        log->stop = true;
    }
    log->wake.notify_one();
    log->writer.join();
    ::close(log->fd);
    delete log;
}

} // namespace pelko
