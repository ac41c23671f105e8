// zemra_sim: a stand-in for a Zemra target, for tests, benchmarks and demonstrations.
//
// It serves a pty (and prints the path of the end Pelko opens), a TCP port, or an existing
// serial device, echoes every byte it receives, and judges each line at its CR: the echo of an
// accepted line ends in CR LF, that of a rejected one in " ~ <reason>" CR LF. Run with --help
// for the options.
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <set>
#include <string>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "tools/rig/raw_tty.h"

namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;

constexpr const char* kHelp =
    "Usage: zemra_sim [mode] [options]\n"
    "Modes (one; --pty is the default):\n"
    "  --pty               serve a new pty; prints \"PTY <path>\" with the end to open\n"
    "  --listen PORT       serve TCP on 127.0.0.1:PORT (0 picks one); prints \"TCP <host:port>\"\n"
    "  --device PATH       serve an existing serial device; prints \"DEVICE <path>\"\n"
    "Options:\n"
    "  --line-delay MS     time the target takes to process each line before it answers\n"
    "  --slow-every N MS   every Nth line takes MS milliseconds instead\n"
    "  --baud N            send and accept at most N/10 bytes per second\n"
    "  --reject-line N     reject line N (counted from 1 at each CR); may repeat\n"
    "  --reject-word WORD  reject every line holding WORD as a blank-separated word; may repeat\n"
    "  --silent            answer nothing at all, not even the echo\n"
    "  --drop-after N      drop the connection (and end) after answering N lines\n"
    "  --flood N           send N bytes of text as fast as allowed (0: without end)\n"
    "  --transcript FILE   append every line received, without its CR, to FILE\n"
    "  --stray-tilde       after accepting a line, send a stray \"~\" CR LF in a write of its\n"
    "                      own (a target that misbehaves between lines)\n";

struct Options {
    enum class Mode { Pty, Tcp, Device } mode = Mode::Pty;
    int port = 0;
    std::string device;
    int lineDelayMs = 0;
    long slowEvery = 0; // every slowEvery-th line takes slowDelayMs instead
    int slowDelayMs = 0;
    long baud = 0;
    std::set<long> rejectLines;
    std::set<std::string> rejectWords;
    bool silent = false;
    long dropAfter = 0;
    bool strayTilde = false;
    bool flood = false;
    unsigned long long floodBytes = 0; // 0 with flood set: without end
    std::string transcript;
};

[[noreturn]] void Fail(const std::string& why) {
    std::fprintf(stderr, "zemra_sim: %s\n", why.c_str());
    std::exit(2);
}

long Number(const char* text, const char* option) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < 0) {
        Fail(std::string(option) + " wants a number, not \"" + text + "\"");
    }
    return v;
}

Options Parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> const char* {
            if (i + 1 >= argc) {
                Fail(a + " needs a value");
            }
            return argv[++i];
        };
        if (a == "--help" || a == "-h") {
            std::fputs(kHelp, stdout);
            std::exit(0);
        } else if (a == "--pty") {
            o.mode = Options::Mode::Pty;
        } else if (a == "--listen") {
            o.mode = Options::Mode::Tcp;
            o.port = static_cast<int>(Number(next(), "--listen"));
        } else if (a == "--device") {
            o.mode = Options::Mode::Device;
            o.device = next();
        } else if (a == "--line-delay") {
            o.lineDelayMs = static_cast<int>(Number(next(), "--line-delay"));
        } else if (a == "--slow-every") {
            o.slowEvery = Number(next(), "--slow-every");
            o.slowDelayMs = static_cast<int>(Number(next(), "--slow-every"));
        } else if (a == "--baud") {
            o.baud = Number(next(), "--baud");
        } else if (a == "--reject-line") {
            o.rejectLines.insert(Number(next(), "--reject-line"));
        } else if (a == "--reject-word") {
            o.rejectWords.insert(next());
        } else if (a == "--silent") {
            o.silent = true;
        } else if (a == "--drop-after") {
            o.dropAfter = Number(next(), "--drop-after");
        } else if (a == "--flood") {
            o.flood = true;
            o.floodBytes = static_cast<unsigned long long>(Number(next(), "--flood"));
        } else if (a == "--stray-tilde") {
            o.strayTilde = true;
        } else if (a == "--transcript") {
            o.transcript = next();
        } else {
            Fail("unknown argument \"" + a + "\" (try --help)");
        }
    }
    return o;
}

void SetNonBlocking(int fd) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

// A byte budget refilled at baud/10 bytes per second, at most 20 ms worth at once.
class Pacer {
public:
    explicit Pacer(long baud) : rate_(static_cast<double>(baud) / 10.0) {}
    bool Limited() const { return rate_ > 0; }
    std::size_t Allowance() {
        if (!Limited()) {
            return SIZE_MAX;
        }
        const auto now = Clock::now();
        tokens_ += rate_ * std::chrono::duration<double>(now - last_).count();
        last_ = now;
        const double cap = rate_ / 50.0 + 1.0;
        if (tokens_ > cap) {
            tokens_ = cap;
        }
        return static_cast<std::size_t>(tokens_);
    }
    void Spend(std::size_t n) { tokens_ -= static_cast<double>(n); }
    int MsUntilOne() const { return Limited() ? static_cast<int>(1000.0 / rate_) + 1 : -1; }

private:
    double rate_;
    double tokens_ = 1.0;
    Clock::time_point last_ = Clock::now();
};

class Target {
public:
    explicit Target(const Options& o) : o_(o), tx_(o.baud), rx_(o.baud) {
        if (!o.transcript.empty()) {
            transcript_ = std::fopen(o.transcript.c_str(), "a");
            if (transcript_ == nullptr) {
                Fail("cannot open " + o.transcript);
            }
        }
        floodLeft_ = o.floodBytes;
    }

    // Serves one connection until the peer goes away (false) or the target drops it (true).
    bool Serve(int fd) {
        SetNonBlocking(fd);
        in_.clear();
        out_.clear();
        for (;;) {
            Process();
            if (dropping_ && out_.empty()) {
                return true;
            }
            // What is ready goes out at once, without a poll first: the answer to a line is
            // on its way as soon as the line has been judged.
            if (!out_.empty() && tx_.Allowance() > 0 && !Send(fd)) {
                return false;
            }
            if (strayDue_ && out_.empty()) {
                strayDue_ = false;
                for (const std::uint8_t b : {'~', '\r', '\n'}) {
                    out_.push_back(b);
                }
                if (!Send(fd)) {
                    return false;
                }
            }
            TopUpFlood();
            const std::size_t rxAllow = rx_.Allowance();
            const std::size_t txAllow = tx_.Allowance();
            short events = 0;
            if (rxAllow > 0 && in_.size() < 65536) {
                events |= POLLIN;
            }
            if (!out_.empty() && txAllow > 0) {
                events |= POLLOUT;
            }
            // The wait ends when pacing allows a byte, or to the nanosecond when a line's
            // processing time is over, so that a slow target takes just its own time.
            std::int64_t timeoutNs = -1;
            if ((rxAllow == 0 && rx_.Limited()) || (!out_.empty() && txAllow == 0)) {
                timeoutNs = std::int64_t{tx_.MsUntilOne()} * 1000000;
            }
            if (busy_) {
                const std::int64_t left = std::max<std::int64_t>(
                    0,
                    std::chrono::duration_cast<std::chrono::nanoseconds>(busyUntil_ - Clock::now())
                        .count());
                timeoutNs = timeoutNs < 0 ? left : std::min(timeoutNs, left);
            }
            pollfd pfd{fd, events, 0};
            const timespec ts{static_cast<time_t>(timeoutNs / 1000000000),
                              static_cast<long>(timeoutNs % 1000000000)};
            const int n = ::ppoll(&pfd, 1, timeoutNs < 0 ? nullptr : &ts, nullptr);
            if (n < 0 && errno != EINTR) {
                return false;
            }
            if ((pfd.revents & POLLIN) != 0) {
                std::uint8_t buf[4096];
                const std::size_t want = std::min(sizeof buf, rxAllow);
                const ssize_t got = ::read(fd, buf, want);
                if (got > 0) {
                    rx_.Spend(static_cast<std::size_t>(got));
                    in_.insert(in_.end(), buf, buf + got);
                } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
                    return false;
                }
            } else if ((pfd.revents & (POLLHUP | POLLERR)) != 0) {
                return false;
            }
            if ((pfd.revents & POLLOUT) != 0 && !Send(fd)) {
                return false;
            }
        }
    }

private:
    // Writes what the pacing allows of the output; false when the line is gone.
    bool Send(int fd) {
        const std::size_t want = std::min(out_.size(), tx_.Allowance());
        if (want == 0) {
            return true;
        }
        const ssize_t put = ::write(fd, out_.data(), want);
        if (put > 0) {
            tx_.Spend(static_cast<std::size_t>(put));
            out_.erase(out_.begin(), out_.begin() + put);
        } else if (put < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        }
        return true;
    }

    void Process() {
        if (busy_) {
            if (Clock::now() < busyUntil_) {
                return;
            }
            busy_ = false;
            Answer(pending_);
        }
        std::size_t used = 0;
        while (used < in_.size() && !busy_ && !dropping_) {
            const std::uint8_t b = in_[used++];
            if (b != '\r') {
                if (!o_.silent) {
                    out_.push_back(b);
                }
                if (b != '\n' && line_.size() < 4096) {
                    line_.push_back(static_cast<char>(b));
                }
                continue;
            }
            ++lineNo_;
            if (transcript_ != nullptr) {
                std::fprintf(transcript_, "%s\n", line_.c_str());
                std::fflush(transcript_);
            }
            const std::string answer = Judge();
            line_.clear();
            const bool slow = o_.slowEvery > 0 && lineNo_ % o_.slowEvery == 0;
            const int delayMs = slow ? o_.slowDelayMs : o_.lineDelayMs;
            if (delayMs > 0) {
                busy_ = true;
                busyUntil_ = Clock::now() + Ms(delayMs);
                pending_ = answer;
            } else {
                Answer(answer);
            }
        }
        in_.erase(in_.begin(), in_.begin() + static_cast<std::ptrdiff_t>(used));
    }

    void Answer(const std::string& answer) {
        if (!o_.silent) {
            out_.insert(out_.end(), answer.begin(), answer.end());
            strayDue_ = o_.strayTilde && answer.find('~') == std::string::npos;
        }
        if (o_.dropAfter > 0 && lineNo_ >= o_.dropAfter) {
            dropping_ = true;
        }
    }

    std::string Judge() const {
        if (o_.rejectLines.count(lineNo_) != 0) {
            return " ~ line " + std::to_string(lineNo_) + " rejected\r\n";
        }
        std::size_t i = 0;
        while (i < line_.size()) {
            while (i < line_.size() && (line_[i] == ' ' || line_[i] == '\t')) {
                ++i;
            }
            std::size_t j = i;
            while (j < line_.size() && line_[j] != ' ' && line_[j] != '\t') {
                ++j;
            }
            const std::string word = line_.substr(i, j - i);
            if (!word.empty() && o_.rejectWords.count(word) != 0) {
                return " ~ " + word + " ?\r\n";
            }
            i = j;
        }
        return "\r\n";
    }

    void TopUpFlood() {
        if (!o_.flood || out_.size() >= 8192) {
            return;
        }
        if (o_.floodBytes != 0 && floodLeft_ == 0) {
            return;
        }
        // Lines of 78 printable characters and CR LF, each line starting one character on.
        std::size_t room = 8192 - out_.size();
        while (room > 0 && (o_.floodBytes == 0 || floodLeft_ > 0)) {
            const std::uint8_t b =
                floodCol_ < 78    ? static_cast<std::uint8_t>('!' + (floodLine_ + floodCol_) % 94)
                : floodCol_ == 78 ? '\r'
                                  : '\n';
            out_.push_back(b);
            if (++floodCol_ == 80) {
                floodCol_ = 0;
                ++floodLine_;
            }
            --room;
            if (o_.floodBytes != 0) {
                --floodLeft_;
            }
        }
    }

    const Options& o_;
    Pacer tx_;
    Pacer rx_;
    std::FILE* transcript_ = nullptr;
    std::vector<std::uint8_t> in_;
    std::vector<std::uint8_t> out_;
    std::string line_;
    long lineNo_ = 0;
    bool busy_ = false;
    Clock::time_point busyUntil_;
    std::string pending_;
    bool dropping_ = false;
    bool strayDue_ = false; // a stray "~" goes out once the answer has
    unsigned long long floodLeft_ = 0;
    unsigned floodCol_ = 0;
    unsigned floodLine_ = 0;
};

int ServePty(const Options& o) {
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        Fail(std::string("openpty: ") + std::strerror(errno));
    }
    // Our own hold on the far end keeps the pty alive while Pelko closes and reopens it.
    pelko::rig::MakeRawTty(slave);
    std::printf("PTY %s\n", ::ttyname(slave));
    std::fflush(stdout);
    Target target(o);
    target.Serve(master);
    return 0;
}

int ServeDevice(const Options& o) {
    const int fd = ::open(o.device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        Fail("cannot open " + o.device + ": " + std::strerror(errno));
    }
    pelko::rig::MakeRawTty(fd);
    std::printf("DEVICE %s\n", o.device.c_str());
    std::fflush(stdout);
    Target target(o);
    target.Serve(fd);
    return 0;
}

int ServeTcp(const Options& o) {
    const int lsock = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(lsock, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<std::uint16_t>(o.port));
    socklen_t len = sizeof addr;
    if (::bind(lsock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(lsock, 4) != 0 ||
        ::getsockname(lsock, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        Fail(std::string("cannot listen: ") + std::strerror(errno));
    }
    std::printf("TCP 127.0.0.1:%d\n", ntohs(addr.sin_port));
    std::fflush(stdout);
    Target target(o);
    for (;;) {
        const int conn = ::accept4(lsock, nullptr, nullptr, SOCK_CLOEXEC);
        if (conn < 0) {
            continue;
        }
        const bool dropped = target.Serve(conn);
        ::close(conn);
        if (dropped) {
            return 0;
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    // Processing times are kept to the microsecond, not to the kernel's default timer slack.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    const Options o = Parse(argc, argv);
    switch (o.mode) {
    case Options::Mode::Pty:
        return ServePty(o);
    case Options::Mode::Device:
        return ServeDevice(o);
    case Options::Mode::Tcp:
        return ServeTcp(o);
    }
    return 0;
}
