#include "posix/telnet_port.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "posix/telnet_protocol.h"

namespace pelko::posix {

using platform::WaitResult;
using platform::WriteResult;
using platform::WriteStatus;
namespace tn = telnet;

namespace {

constexpr std::size_t kChunk = 4096;
// Bytes that may wait for the server to take them; a write beyond this waits for room.
constexpr std::size_t kMaxQueued = 64 * 1024;

class TelnetConnection : public TelnetPort, private tn::TelnetHandler {
public:
    explicit TelnetConnection(int sock) : sock_(sock) {
        std::vector<std::uint8_t> hello;
        options_.Start(hello);
        Send(hello);
    }
    ~TelnetConnection() override { Close(); }

    bool Configure(const platform::LineSettings& line) override {
        if (line.baudRate == 0 || line.dataBits < 5 || line.dataBits > 8 || line.parity > 4 ||
            line.stopBits > 2 || inDead_.load()) {
            return false;
        }
        static constexpr std::uint8_t kStopCodes[] = {1, 3, 2}; // one, one and a half, two
        const std::uint32_t b = line.baudRate;
        const std::uint8_t baud[] = {
            static_cast<std::uint8_t>(b >> 24), static_cast<std::uint8_t>(b >> 16),
            static_cast<std::uint8_t>(b >> 8), static_cast<std::uint8_t>(b)};
        const std::uint8_t size = line.dataBits;
        const std::uint8_t parity = static_cast<std::uint8_t>(line.parity + 1);
        const std::uint8_t stop = kStopCodes[line.stopBits];
        const std::uint8_t control = tn::kControlNoFlow;
        std::vector<std::uint8_t> out;
        tn::AppendComPort(out, tn::kSetBaudRate, baud, sizeof baud);
        tn::AppendComPort(out, tn::kSetDataSize, &size, 1);
        tn::AppendComPort(out, tn::kSetParity, &parity, 1);
        tn::AppendComPort(out, tn::kSetStopSize, &stop, 1);
        tn::AppendComPort(out, tn::kSetControl, &control, 1);
        // Refused only once nothing more can come from the server: a server that has just
        // closed after a last message (ser2net's "Port already in use") is still read out.
        Send(out);
        return !inDead_.load();
    }

    bool SetDtr(bool on) override {
        const std::uint8_t control = on ? tn::kControlDtrOn : tn::kControlDtrOff;
        std::vector<std::uint8_t> out;
        tn::AppendComPort(out, tn::kSetControl, &control, 1);
        return Send(out);
    }

    bool Purge() override {
        {
            std::lock_guard lock(rxMu_);
            dataPos_ = dataLen_ = 0;
        }
        const std::uint8_t both = tn::kPurgeBoth;
        std::vector<std::uint8_t> out;
        tn::AppendComPort(out, tn::kPurgeData, &both, 1);
        return Send(out);
    }

    std::int64_t BytesWaiting() override {
        std::lock_guard lock(rxMu_);
        if (dataPos_ == dataLen_) {
            PumpLocked();
        }
        if (dataPos_ < dataLen_) {
            return static_cast<std::int64_t>(dataLen_ - dataPos_);
        }
        return inDead_.load() ? -1 : 0;
    }

    std::int64_t Read(std::uint8_t* buf, std::size_t max) override {
        std::lock_guard lock(rxMu_);
        if (dataPos_ == dataLen_) {
            PumpLocked();
        }
        const std::size_t n = std::min(max, dataLen_ - dataPos_);
        if (n == 0) {
            return inDead_.load() ? -1 : 0;
        }
        std::copy_n(data_ + dataPos_, n, buf);
        dataPos_ += n;
        return static_cast<std::int64_t>(n);
    }

    WriteResult Write(const std::uint8_t* buf, std::size_t n, int totalTimeoutMs) override {
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + std::chrono::milliseconds(totalTimeoutMs);
        WriteResult result;
        if (sock_ < 0 || Broken()) {
            result.status = WriteStatus::FailedAtOnce;
            return result;
        }
        std::vector<std::uint8_t> escaped;
        tn::AppendData(escaped, buf, n);
        bool queued = false;
        bool waited = false;
        for (;;) {
            int flushed = 0;
            {
                std::lock_guard lock(outMu_);
                if (!queued && Pending() + escaped.size() <= kMaxQueued) {
                    out_.insert(out_.end(), escaped.begin(), escaped.end());
                    queued = true;
                }
                flushed = FlushLocked();
                if (flushed > 0 && queued) {
                    result.written = n;
                    return result;
                }
            }
            if (flushed < 0) {
                result.status = waited ? WriteStatus::FailedLater : WriteStatus::FailedAtOnce;
                return result;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) {
                // What is queued goes out as the server takes it; a block that never fitted
                // is dropped.
                result.status = WriteStatus::TimedOut;
                return result;
            }
            pollfd pfd{sock_, POLLOUT, 0};
            waited = true;
            ::poll(&pfd, 1, static_cast<int>(left.count()));
        }
    }

    WaitResult WaitForInput(platform::Event wake) override {
        for (;;) {
            {
                std::lock_guard lock(rxMu_);
                if (dataPos_ < dataLen_) {
                    return WaitResult::Input;
                }
            }
            if (inDead_.load() || sock_ < 0) {
                return WaitResult::Dead;
            }
            short events = POLLIN;
            {
                std::lock_guard lock(outMu_);
                if (Pending() > 0) {
                    events |= POLLOUT; // finish sending what a timed-out write left behind
                }
            }
            pollfd pfd[2] = {{wake, POLLIN, 0}, {sock_, events, 0}};
            if (::poll(pfd, 2, -1) < 0) {
                if (errno != EINTR) {
                    inDead_ = true;
                }
                continue;
            }
            if ((pfd[0].revents & POLLIN) != 0) {
                return WaitResult::Woken;
            }
            const short got = pfd[1].revents;
            if ((got & POLLOUT) != 0) {
                std::lock_guard lock(outMu_);
                FlushLocked();
            }
            if ((got & POLLNVAL) != 0) {
                inDead_ = true;
            } else if ((got & (POLLIN | POLLHUP | POLLERR)) != 0) {
                std::lock_guard lock(rxMu_);
                PumpLocked();
            }
        }
    }

    void Close() override {
        if (sock_ < 0) {
            return;
        }
        {
            std::lock_guard lock(outMu_);
            FlushLocked(); // the last commands (DTR off, purge) if they fit at once
        }
        ::close(sock_);
        sock_ = -1;
        inDead_ = true;
    }

    bool Agreed(std::uint8_t option) override {
        std::lock_guard lock(rxMu_);
        const bool remoteToo = option != tn::kOptComPort;
        return options_.Local(option) && (!remoteToo || options_.Remote(option));
    }

    std::uint32_t ServerBaudRate() override { return serverBaud_.load(); }

private:
    // The parser's callbacks run under rxMu_.
    void OnOption(std::uint8_t verb, std::uint8_t option) override {
        options_.Receive(verb, option, replies_);
    }
    void OnSubnegotiation(std::uint8_t option, const std::uint8_t* value, std::size_t n) override {
        if (option == tn::kOptComPort && n >= 5 &&
            value[0] == tn::kServerReply + tn::kSetBaudRate) {
            serverBaud_ = static_cast<std::uint32_t>(value[1]) << 24 |
                          static_cast<std::uint32_t>(value[2]) << 16 |
                          static_cast<std::uint32_t>(value[3]) << 8 | value[4];
        }
    }

    // Takes what the socket holds, splits it into data and commands and answers the
    // commands. Never waits.
    void PumpLocked() {
        if (sock_ < 0 || inDead_.load()) {
            return;
        }
        std::uint8_t raw[kChunk];
        const ssize_t n = ::recv(sock_, raw, sizeof raw, MSG_DONTWAIT);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            inDead_ = true; // the server closed the connection or it broke
            return;
        }
        if (n < 0) {
            return;
        }
        dataPos_ = 0;
        dataLen_ = parser_.Feed(raw, static_cast<std::size_t>(n), data_, *this);
        if (!replies_.empty()) {
            Send(replies_);
            replies_.clear();
        }
    }

    // Queues whole units and sends what the socket takes now; false on a dead connection.
    bool Send(const std::vector<std::uint8_t>& bytes) {
        if (sock_ < 0 || Broken()) {
            return false;
        }
        std::lock_guard lock(outMu_);
        out_.insert(out_.end(), bytes.begin(), bytes.end());
        return FlushLocked() >= 0;
    }

    bool Broken() const { return inDead_.load() || outDead_.load(); }
    std::size_t Pending() const { return out_.size() - sent_; }

    // 1 when everything queued is sent, 0 when the socket is full, -1 when it failed.
    int FlushLocked() {
        while (sent_ < out_.size()) {
            const ssize_t w = ::send(sock_, out_.data() + sent_, out_.size() - sent_,
                                     MSG_DONTWAIT | MSG_NOSIGNAL);
            if (w > 0) {
                sent_ += static_cast<std::size_t>(w);
                continue;
            }
            if (w < 0 && errno == EINTR) {
                continue;
            }
            if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                return 0;
            }
            outDead_ = true;
            out_.clear();
            sent_ = 0;
            return -1;
        }
        out_.clear();
        sent_ = 0;
        return 1;
    }

    int sock_;
    // The receiving side ends only when the server's last bytes are read: a failed send (the
    // server may close right after a last message, as ser2net's "Port already in use") must not
    // lose them.
    std::atomic<bool> inDead_{false};
    std::atomic<bool> outDead_{false};
    std::atomic<std::uint32_t> serverBaud_{0};

    std::mutex rxMu_; // taken before outMu_ when both are needed
    tn::TelnetParser parser_;
    tn::TelnetOptions options_;
    std::vector<std::uint8_t> replies_;
    std::uint8_t data_[kChunk] = {};
    std::size_t dataPos_ = 0;
    std::size_t dataLen_ = 0;

    std::mutex outMu_;
    std::vector<std::uint8_t> out_;
    std::size_t sent_ = 0;
};

int ConnectOne(const addrinfo* ai, int timeoutMs) {
    const int sock =
        ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
    if (sock < 0) {
        return -1;
    }
    if (::connect(sock, ai->ai_addr, ai->ai_addrlen) != 0) {
        int err = errno;
        if (err == EINPROGRESS) {
            pollfd pfd{sock, POLLOUT, 0};
            socklen_t len = sizeof err;
            if (::poll(&pfd, 1, timeoutMs) <= 0 ||
                ::getsockopt(sock, SOL_SOCKET, SO_ERROR, &err, &len) != 0) {
                err = ETIMEDOUT;
            }
        }
        if (err != 0) {
            ::close(sock);
            return -1;
        }
    }
    const int one = 1;
    ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return sock;
}

} // namespace

std::unique_ptr<TelnetPort> ConnectTelnetPort(const std::string& host, std::uint16_t port,
                                              int timeoutMs) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    const std::string service = std::to_string(port);
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &list) != 0) {
        return nullptr;
    }
    int sock = -1;
    for (const addrinfo* ai = list; ai != nullptr && sock < 0; ai = ai->ai_next) {
        sock = ConnectOne(ai, timeoutMs);
    }
    ::freeaddrinfo(list);
    if (sock < 0) {
        return nullptr;
    }
    return std::make_unique<TelnetConnection>(sock);
}

} // namespace pelko::posix
