#include "posix/telnet_port.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "posix/telnet_protocol.h"
#include "posix/write_wait.h"

namespace pelko::posix {

using platform::WaitResult;
using platform::WriteResult;
using platform::WriteStatus;
namespace tn = telnet;

namespace {

constexpr std::size_t kChunk = 4096;
// Data a write may leave waiting for the server to take it; a write beyond this waits for room.
constexpr std::size_t kMaxQueued = 64 * 1024;
// The server's commands are read only while the queue is within kMaxQueued: the answers to one
// read (at most its size plus the end of a request cut by the read before) and the held
// COM-PORT settings then always fit in the rest.
static_assert(kTelnetQueueLimit >= kMaxQueued + kChunk + 2 + 128);

constexpr char kRefusedNotice[] = "\r\n<Telnet server refuses COM-PORT settings>\r\n";
constexpr std::size_t kRefusedNoticeLength = sizeof kRefusedNotice - 1;

using Clock = std::chrono::steady_clock;

class TelnetConnection : public TelnetPort, private tn::TelnetHandler {
public:
    explicit TelnetConnection(int sock) : sock_(sock) {
        out_.reserve(kTelnetQueueLimit);
        std::vector<std::uint8_t> hello;
        options_.Start(hello);
        std::lock_guard lock(outMu_);
        AppendLocked(hello);
        FlushLocked();
    }
    ~TelnetConnection() override { Close(); }

    // The COM-PORT settings are held until the server has agreed to the option, and then the
    // latest of each goes out.
    bool Configure(const platform::LineSettings& line) override {
        if (line.baudRate == 0 || line.dataBits < 5 || line.dataBits > 8 || line.parity > 4 ||
            line.stopBits > 2 || inDead_.load()) {
            return false;
        }
        {
            std::lock_guard lock(outMu_);
            held_.line = true;
            held_.settings = line;
            QueueHeldLocked();
            FlushLocked();
        }
        // Refused only once nothing more can come from the server: a server that has just
        // closed after a last message (ser2net's "Port already in use") is still read out.
        return !inDead_.load();
    }

    bool SetDtr(bool on) override {
        if (sock_ < 0 || Broken()) {
            return false;
        }
        std::lock_guard lock(outMu_);
        held_.dtr = true;
        held_.dtrOn = on;
        QueueHeldLocked();
        return FlushLocked() >= 0;
    }

    bool Purge() override {
        {
            std::lock_guard lock(rxMu_);
            dataPos_ = dataLen_ = 0;
        }
        if (sock_ < 0 || Broken()) {
            return false;
        }
        std::lock_guard lock(outMu_);
        held_.purge = true;
        QueueHeldLocked();
        return FlushLocked() >= 0;
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

    // Complete once the block is queued: the rest goes out as the server takes it, sent by
    // later writes and by the receive thread's wait. A block that finds no room before the
    // deadline is dropped.
    WriteResult Write(const std::uint8_t* buf, std::size_t n, int totalTimeoutMs) override {
        const auto deadline = Clock::now() + std::chrono::milliseconds(totalTimeoutMs);
        WriteResult result;
        if (sock_ < 0 || Broken()) {
            result.status = WriteStatus::FailedAtOnce;
            return result;
        }
        std::vector<std::uint8_t> escaped;
        tn::AppendData(escaped, buf, n);
        bool waited = false;
        for (;;) {
            int flushed = 0;
            {
                std::lock_guard lock(outMu_);
                const bool fits = Pending() + escaped.size() <= kMaxQueued;
                if (fits) {
                    AppendLocked(escaped);
                }
                flushed = FlushLocked();
                if (fits && flushed >= 0) {
                    result.written = n;
                    return result;
                }
            }
            if (flushed < 0 || Broken()) {
                result.status = waited ? WriteStatus::FailedLater : WriteStatus::FailedAtOnce;
                return result;
            }
            // A broken connection shows at the next flush.
            if (WaitForRoom(sock_, deadline) == RoomWait::TimedOut) {
                result.status = WriteStatus::TimedOut;
                return result;
            }
            waited = true;
        }
    }

    // Also sends what is queued, and gives the connection up as dead when the server has taken
    // none of it for kTelnetPeerDeadlineMs.
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
            short events = 0;
            int timeoutMs = -1;
            {
                std::lock_guard lock(outMu_);
                QueueHeldLocked();
                FlushLocked();
                if (Pending() > 0) {
                    const int left = PeerTimeLeftLocked();
                    if (left <= 0) {
                        AbandonLocked();
                        continue;
                    }
                    events |= POLLOUT;
                    timeoutMs = left;
                }
                if (Pending() <= kMaxQueued) {
                    events |= POLLIN; // else the server's requests wait until it reads ours
                }
            }
            pollfd pfd[2] = {{wake, POLLIN, 0}, {sock_, events, 0}};
            if (::poll(pfd, 2, timeoutMs) < 0) {
                if (errno != EINTR) {
                    inDead_ = true;
                }
                continue;
            }
            if ((pfd[0].revents & POLLIN) != 0) {
                return WaitResult::Woken;
            }
            const short got = pfd[1].revents;
            if ((got & (POLLOUT | POLLHUP | POLLERR)) != 0) {
                std::lock_guard lock(outMu_);
                FlushLocked(); // on a broken connection this fails and empties the queue
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

    std::size_t QueuedBytes() override {
        std::lock_guard lock(outMu_);
        return Pending();
    }

private:
    // What waits for the server's agreement to COM-PORT-OPTION; the latest value of each.
    struct Held {
        bool purge = false;
        bool line = false;
        platform::LineSettings settings;
        bool dtr = false;
        bool dtrOn = false;
    };

    // The parser's callbacks run under rxMu_.
    void OnOption(std::uint8_t verb, std::uint8_t option) override {
        options_.Receive(verb, option, replies_);
        if (option == tn::kOptComPort) {
            comPortOn_ = options_.Local(tn::kOptComPort);
            if (verb == tn::DONT && !refusalShown_) {
                refusalShown_ = true;
                refusalDue_ = true;
            }
        }
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
    // commands. Reads nothing while the queue is beyond kMaxQueued. Never waits.
    void PumpLocked() {
        if (sock_ < 0 || inDead_.load()) {
            return;
        }
        {
            std::lock_guard lock(outMu_);
            if (Pending() > 0 && PeerTimeLeftLocked() <= 0) {
                AbandonLocked(); // also when the server floods data and no wait comes round
                return;
            }
            if (Pending() > kMaxQueued) {
                return;
            }
        }
        std::uint8_t raw[kChunk];
        const ssize_t n = ::recv(sock_, raw, sizeof raw, MSG_DONTWAIT);
        // Our ACK goes out at once, not delayed: a server with Nagle's algorithm on (ser2net as
        // installed) holds its next answer until it comes. Linux drops the mode now and then,
        // so it is asked for again after every read.
        const int quick = 1;
        ::setsockopt(sock_, IPPROTO_TCP, TCP_QUICKACK, &quick, sizeof quick);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            inDead_ = true; // the server closed the connection or it broke
            return;
        }
        if (n < 0) {
            return;
        }
        dataPos_ = 0;
        dataLen_ = parser_.Feed(raw, static_cast<std::size_t>(n), data_, *this);
        if (refusalDue_) {
            // The user learns why the line settings do not take; shown like received text.
            std::copy_n(kRefusedNotice, kRefusedNoticeLength, data_ + dataLen_);
            dataLen_ += kRefusedNoticeLength;
            refusalDue_ = false;
        }
        std::lock_guard lock(outMu_);
        if (!replies_.empty() && !Broken()) {
            if (Pending() + replies_.size() > kTelnetQueueLimit) {
                AbandonLocked(); // cannot happen while reads stop at kMaxQueued
            } else {
                AppendLocked(replies_);
            }
        }
        replies_.clear();
        QueueHeldLocked();
        FlushLocked();
    }

    // Moves the held COM-PORT settings to the queue once the server does COM-PORT-OPTION and
    // there is room; until then they stay held.
    void QueueHeldLocked() {
        if (!comPortOn_.load() || !(held_.purge || held_.line || held_.dtr) || Broken()) {
            return;
        }
        std::vector<std::uint8_t> out;
        if (held_.purge) {
            const std::uint8_t both = tn::kPurgeBoth;
            tn::AppendComPort(out, tn::kPurgeData, &both, 1);
        }
        if (held_.line) {
            static constexpr std::uint8_t kStopCodes[] = {1, 3, 2}; // one, one and a half, two
            const platform::LineSettings& line = held_.settings;
            const std::uint32_t b = line.baudRate;
            const std::uint8_t baud[] = {
                static_cast<std::uint8_t>(b >> 24), static_cast<std::uint8_t>(b >> 16),
                static_cast<std::uint8_t>(b >> 8), static_cast<std::uint8_t>(b)};
            const std::uint8_t size = line.dataBits;
            const std::uint8_t parity = static_cast<std::uint8_t>(line.parity + 1);
            const std::uint8_t stop = kStopCodes[line.stopBits];
            const std::uint8_t control = tn::kControlNoFlow;
            tn::AppendComPort(out, tn::kSetBaudRate, baud, sizeof baud);
            tn::AppendComPort(out, tn::kSetDataSize, &size, 1);
            tn::AppendComPort(out, tn::kSetParity, &parity, 1);
            tn::AppendComPort(out, tn::kSetStopSize, &stop, 1);
            tn::AppendComPort(out, tn::kSetControl, &control, 1);
        }
        if (held_.dtr) {
            const std::uint8_t control = held_.dtrOn ? tn::kControlDtrOn : tn::kControlDtrOff;
            tn::AppendComPort(out, tn::kSetControl, &control, 1);
        }
        if (Pending() + out.size() > kTelnetQueueLimit) {
            return;
        }
        AppendLocked(out);
        held_ = Held{};
    }

    bool Broken() const { return inDead_.load() || outDead_.load(); }
    std::size_t Pending() const { return out_.size(); }

    // The caller has checked the room. The server's time to take the bytes runs from when the
    // queue stops being empty.
    void AppendLocked(const std::vector<std::uint8_t>& bytes) {
        if (out_.empty()) {
            lastTaken_ = Clock::now();
        }
        out_.insert(out_.end(), bytes.begin(), bytes.end());
    }

    // Sends from the front of the queue what the socket takes now and keeps the rest. 1 when
    // everything queued is sent, 0 when the socket is full, -1 when it failed.
    int FlushLocked() {
        if (sock_ < 0 || outDead_.load()) {
            return out_.empty() ? 1 : -1;
        }
        std::size_t sent = 0;
        int result = 1;
        while (sent < out_.size()) {
            const ssize_t w =
                ::send(sock_, out_.data() + sent, out_.size() - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
            if (w > 0) {
                sent += static_cast<std::size_t>(w);
                lastTaken_ = Clock::now();
                continue;
            }
            if (w < 0 && errno == EINTR) {
                continue;
            }
            if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                result = 0;
                break;
            }
            outDead_ = true;
            out_.clear();
            return -1;
        }
        out_.erase(out_.begin(), out_.begin() + static_cast<std::ptrdiff_t>(sent));
        return result;
    }

    // Milliseconds left before the server must have taken some of the queue.
    int PeerTimeLeftLocked() const {
        const auto left =
            lastTaken_ + std::chrono::milliseconds(kTelnetPeerDeadlineMs) - Clock::now();
        return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
    }

    // The server has stopped taking what Pelko sends: the connection ends as if it had
    // broken, and the server sees it closed.
    void AbandonLocked() {
        outDead_ = true;
        inDead_ = true;
        out_.clear();
        held_ = Held{};
        ::shutdown(sock_, SHUT_RDWR);
    }

    int sock_;
    // The receiving side ends only when the server's last bytes are read: a failed send (the
    // server may close right after a last message, as ser2net's "Port already in use") must not
    // lose them.
    std::atomic<bool> inDead_{false};
    std::atomic<bool> outDead_{false};
    std::atomic<bool> comPortOn_{false};
    std::atomic<std::uint32_t> serverBaud_{0};

    std::mutex rxMu_; // taken before outMu_ when both are needed
    tn::TelnetParser parser_;
    tn::TelnetOptions options_;
    std::vector<std::uint8_t> replies_; // at most one read's worth
    bool refusalShown_ = false;
    bool refusalDue_ = false;
    std::uint8_t data_[kChunk + kRefusedNoticeLength] = {};
    std::size_t dataPos_ = 0;
    std::size_t dataLen_ = 0;

    std::mutex outMu_;
    std::vector<std::uint8_t> out_; // never beyond kTelnetQueueLimit
    Clock::time_point lastTaken_;
    Held held_;
};

thread_local std::string tLastConnectError;

int ConnectOne(const addrinfo* ai, int timeoutMs, int& failure) {
    const int sock =
        ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
    if (sock < 0) {
        failure = errno;
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
            failure = err;
            ::close(sock);
            return -1;
        }
    }
    const int one = 1;
    ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return sock;
}

} // namespace

std::string LastTelnetConnectError() {
    return tLastConnectError;
}

std::unique_ptr<TelnetPort> ConnectTelnetPort(const std::string& host, std::uint16_t port,
                                              int timeoutMs) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    const std::string service = std::to_string(port);
    const std::string where = host + ":" + service;
    tLastConnectError.clear();
    if (const int got = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list); got != 0) {
        tLastConnectError = where + ": " + ::gai_strerror(got);
        return nullptr;
    }
    int sock = -1;
    int failure = 0;
    for (const addrinfo* ai = list; ai != nullptr && sock < 0; ai = ai->ai_next) {
        sock = ConnectOne(ai, timeoutMs, failure);
    }
    ::freeaddrinfo(list);
    if (sock < 0) {
        tLastConnectError = where + ": " + std::strerror(failure);
        return nullptr;
    }
    return std::make_unique<TelnetConnection>(sock);
}

} // namespace pelko::posix
