#include "posix/telnet_port.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

#include "posix/telnet_protocol.h"
#include "posix/write_wait.h"

namespace pelko::posix {

using platform::Reach;
using platform::WaitResult;
using platform::WriteResult;
using platform::WriteStatus;
namespace tn = telnet;

namespace {

constexpr std::size_t kChunk = 4096;
// Data a write may leave waiting to be sent, held or queued; a write beyond this waits for room.
constexpr std::size_t kMaxQueued = 64 * 1024;
// The server's commands are read only while the queue is within kMaxQueued: the answers to one
// read (at most its size plus the end of a request cut by the read before), the options Pelko
// opens with and the held COM-PORT commands (under 128 bytes together) then always fit in the
// rest.
static_assert(kTelnetQueueLimit >= kMaxQueued + kChunk + 2 + 128);

// While a host name is looked up, the receive thread's wait looks this often whether it is done.
constexpr int kLookupLookMs = 20;

constexpr char kRefusedNotice[] = "\r\n<Telnet server refuses COM-PORT settings>\r\n";
constexpr std::size_t kRefusedNoticeLength = sizeof kRefusedNotice - 1;

using Clock = std::chrono::steady_clock;

int MsUntil(Clock::time_point t) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(t - Clock::now()).count();
    return static_cast<int>(std::clamp<std::int64_t>(left, 0, 1 << 30));
}

// A host name's lookup, on a thread of its own: getaddrinfo cannot be cut short, so the port
// never waits for it. The thread and the port share this; the last one frees it.
struct Lookup {
    std::mutex mu;
    std::condition_variable done;
    bool finished = false;
    int error = 0;
    addrinfo* list = nullptr;
    ~Lookup() {
        if (list != nullptr) {
            ::freeaddrinfo(list);
        }
    }
};

std::shared_ptr<Lookup> StartLookup(const std::string& host, const std::string& service) {
    auto lookup = std::make_shared<Lookup>();
    auto run = [lookup, host, service] {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* list = nullptr;
        const int got = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
        std::lock_guard lock(lookup->mu);
        lookup->error = got;
        lookup->list = got == 0 ? list : nullptr;
        lookup->finished = true;
        lookup->done.notify_all();
    };
    try {
        std::thread(run).detach();
    } catch (const std::system_error&) {
        run(); // no thread to be had: looked up here
    }
    return lookup;
}

class TelnetConnection : public TelnetPort, private tn::TelnetHandler {
public:
    // `where` is "HOST:PORT"; either `list` (the addresses, owned from now on) or `lookup` is
    // given.
    TelnetConnection(std::string where, addrinfo* list, std::shared_ptr<Lookup> lookup,
                     int timeoutMs)
        : where_(std::move(where)), timeoutMs_(timeoutMs), list_(list), lookup_(std::move(lookup)) {
        out_.reserve(kTelnetQueueLimit);
        options_.Start(hello_);
        std::lock_guard lock(outMu_);
        next_ = list_;
        if (list_ != nullptr) {
            phase_ = Phase::Connecting;
            StartNextLocked();
        }
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
            MoveOnLocked();
            FlushLocked();
        }
        // Refused only once nothing more can come from the server: a server that has just
        // closed after a last message (ser2net's "Port already in use") is still read out.
        return !inDead_.load();
    }

    bool SetDtr(bool on) override {
        if (Broken()) {
            return false;
        }
        std::lock_guard lock(outMu_);
        held_.dtr = true;
        held_.dtrOn = on;
        MoveOnLocked();
        return FlushLocked() >= 0;
    }

    // A control line goes out at once, after any held settings; a server that has not agreed to
    // COM-PORT-OPTION cannot be asked, and that is said rather than hidden.
    bool SetControl(platform::Control what, bool on, std::string& why) override {
        if (Broken()) {
            why = "the connection is lost";
            return false;
        }
        std::lock_guard lock(outMu_);
        MoveOnLocked();
        if (!comPortOn_.load()) {
            why = comPortRefused_.load()
                      ? "the server does not take serial line commands (RFC 2217)"
                      : platform::kControlNotYet;
            return false;
        }
        std::uint8_t control = 0;
        switch (what) {
        case platform::Control::Dtr:
            control = on ? tn::kControlDtrOn : tn::kControlDtrOff;
            break;
        case platform::Control::Rts:
            control = on ? tn::kControlRtsOn : tn::kControlRtsOff;
            break;
        case platform::Control::Break:
            control = on ? tn::kControlBreakOn : tn::kControlBreakOff;
            break;
        }
        std::vector<std::uint8_t> out;
        tn::AppendComPort(out, tn::kSetControl, &control, 1);
        if (!QueueHeldLocked() || Pending() + out.size() > kTelnetQueueLimit) {
            why = "the server is not taking what is sent";
            return false;
        }
        AppendLocked(out);
        if (FlushLocked() < 0) {
            why = "the connection is lost";
            return false;
        }
        return true;
    }

    // Drops what was received and what is held; the server is asked to purge only while no
    // data has gone out.
    bool Purge() override {
        {
            std::lock_guard lock(rxMu_);
            dataPos_ = dataLen_ = 0;
        }
        if (Broken()) {
            return false;
        }
        std::lock_guard lock(outMu_);
        heldData_.clear();
        held_.purge = !dataSent_;
        MoveOnLocked();
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

    // Complete once the block is queued or held: the rest goes out as the server takes it, sent
    // by later writes and by the receive thread's wait. A block that finds no room before the
    // deadline is dropped.
    WriteResult Write(const std::uint8_t* buf, std::size_t n, int totalTimeoutMs) override {
        const auto deadline = Clock::now() + std::chrono::milliseconds(totalTimeoutMs);
        WriteResult result;
        if (Broken()) {
            result.status = WriteStatus::FailedAtOnce;
            return result;
        }
        std::vector<std::uint8_t> escaped;
        tn::AppendData(escaped, buf, n);
        bool waited = false;
        for (;;) {
            int flushed = 0;
            bool held = false;
            {
                std::lock_guard lock(outMu_);
                MoveOnLocked();
                const bool fits = Pending() + escaped.size() <= kMaxQueued;
                if (fits && gateOpen_) {
                    SendDataLocked(escaped);
                } else if (fits) {
                    heldData_.insert(heldData_.end(), escaped.begin(), escaped.end());
                }
                flushed = FlushLocked();
                if (fits && flushed >= 0) {
                    result.written = n;
                    return result;
                }
                held = !gateOpen_;
            }
            if (flushed < 0 || Broken()) {
                result.status = waited ? WriteStatus::FailedLater : WriteStatus::FailedAtOnce;
                return result;
            }
            // Held data makes room only when the gate opens: by the server's answer, which the
            // receive thread takes in, or by the time.
            if (held) {
                if (Clock::now() >= deadline) {
                    result.status = WriteStatus::TimedOut;
                    return result;
                }
                std::this_thread::sleep_for(std::min<Clock::duration>(std::chrono::milliseconds(10),
                                                                      deadline - Clock::now()));
            } else if (WaitForRoom(sock_.load(), deadline) == RoomWait::TimedOut) {
                // A broken connection shows at the next flush.
                result.status = WriteStatus::TimedOut;
                return result;
            }
            waited = true;
        }
    }

    // Also carries the connect on, sends what is queued, lets held data go when its time is up,
    // and gives the connection up as dead when the server has taken none of the queue for
    // kTelnetPeerDeadlineMs.
    WaitResult WaitForInput(platform::Event wake) override {
        for (;;) {
            {
                std::lock_guard lock(rxMu_);
                if (dataPos_ < dataLen_) {
                    return WaitResult::Input;
                }
            }
            if (inDead_.load()) {
                return WaitResult::Dead;
            }
            short events = 0;
            int timeoutMs = -1;
            int sock = -1;
            {
                std::lock_guard lock(outMu_);
                MoveOnLocked();
                FlushLocked();
                sock = sock_.load();
                if (phase_ == Phase::Failed || phase_ == Phase::Closed) {
                    continue; // dead, as said at the top
                }
                if (phase_ == Phase::Resolving) {
                    timeoutMs = kLookupLookMs;
                } else if (phase_ == Phase::Connecting) {
                    events = POLLOUT;
                    timeoutMs = MsUntil(tryUntil_);
                } else if (phase_ == Phase::Open) {
                    if (!out_.empty()) {
                        const int left = PeerTimeLeftLocked();
                        if (left <= 0) {
                            AbandonLocked();
                            continue;
                        }
                        events |= POLLOUT;
                        timeoutMs = left;
                    }
                    if (!gateOpen_) { // data written meanwhile waits at most until then
                        const int gate = MsUntil(gateUntil_);
                        timeoutMs = timeoutMs < 0 ? gate : std::min(timeoutMs, gate);
                    }
                    if (Pending() <= kMaxQueued) {
                        events |= POLLIN; // else the server's requests wait until it reads ours
                    }
                }
            }
            pollfd pfd[2] = {{wake, POLLIN, 0}, {sock, events, 0}};
            if (::poll(pfd, 2, timeoutMs) < 0) {
                if (errno != EINTR) {
                    inDead_ = true;
                }
                continue;
            }
            if ((pfd[0].revents & POLLIN) != 0) {
                return WaitResult::Woken;
            }
            if (phase_ != Phase::Open) {
                continue; // the connect is carried on at the top
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
        std::lock_guard lock(outMu_);
        if (phase_ == Phase::Open) {
            FlushLocked(); // the last commands (DTR off) if they fit at once
        }
        if (const int sock = sock_.exchange(-1); sock >= 0) {
            ::close(sock);
        }
        phase_ = Phase::Closed;
        FreeAddressesLocked();
        lookup_.reset();
        inDead_ = true;
        outDead_ = true;
    }

    Reach Progress(int waitMs, std::string& why) override {
        const auto until = Clock::now() + std::chrono::milliseconds(std::max(waitMs, 0));
        for (;;) {
            int sock = -1;
            std::shared_ptr<Lookup> lookup;
            auto wakeAt = until;
            {
                std::lock_guard lock(outMu_);
                MoveOnLocked();
                FlushLocked();
                if (phase_ == Phase::Open) {
                    return Reach::Open;
                }
                if (phase_ != Phase::Resolving && phase_ != Phase::Connecting) {
                    why = failure_.empty() ? where_ + ": closed" : failure_;
                    return Reach::Failed;
                }
                sock = sock_.load();
                lookup = lookup_;
                wakeAt = std::min(until, phase_ == Phase::Connecting ? tryUntil_ : until);
            }
            if (Clock::now() >= until) {
                return Reach::Pending;
            }
            if (lookup) {
                std::unique_lock wait(lookup->mu);
                lookup->done.wait_until(wait, until, [&] { return lookup->finished; });
            } else {
                pollfd pfd{sock, POLLOUT, 0};
                ::poll(&pfd, 1, MsUntil(wakeAt));
            }
        }
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
    enum class Phase { Resolving, Connecting, Open, Failed, Closed };

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
            if (verb == tn::DONT) {
                comPortRefused_ = true;
                if (!refusalShown_) {
                    refusalShown_ = true;
                    refusalDue_ = true;
                }
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
        if (phase_ != Phase::Open || inDead_.load()) {
            return;
        }
        const int sock = sock_.load();
        {
            std::lock_guard lock(outMu_);
            if (!out_.empty() && PeerTimeLeftLocked() <= 0) {
                AbandonLocked(); // also when the server floods data and no wait comes round
                return;
            }
            if (Pending() > kMaxQueued) {
                return;
            }
        }
        std::uint8_t raw[kChunk];
        const ssize_t n = ::recv(sock, raw, sizeof raw, MSG_DONTWAIT);
        // Our ACK goes out at once, not delayed: a server with Nagle's algorithm on (ser2net as
        // installed) holds its next answer until it comes. Linux drops the mode now and then,
        // so it is asked for again after every read.
        const int quick = 1;
        ::setsockopt(sock, IPPROTO_TCP, TCP_QUICKACK, &quick, sizeof quick);
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
        MoveOnLocked();
        FlushLocked();
    }

    // Moves on whatever can: the connect; the held COM-PORT commands once the server does
    // COM-PORT-OPTION; then the held data, once the server has agreed or refused or its time is
    // up. Never waits.
    void MoveOnLocked() {
        if (phase_ == Phase::Resolving || phase_ == Phase::Connecting) {
            AdvanceLocked();
        }
        if (phase_ != Phase::Open || Broken()) {
            return;
        }
        if (comPortOn_.load() && !QueueHeldLocked()) {
            return; // the data waits behind the commands
        }
        if (!gateOpen_) {
            if (!comPortOn_.load() && !comPortRefused_.load() && Clock::now() < gateUntil_) {
                return;
            }
            gateOpen_ = true;
        }
        if (!heldData_.empty()) {
            SendDataLocked(heldData_);
            heldData_.clear();
        }
    }

    // Queues the held COM-PORT commands, purge first; false when they do not fit yet.
    bool QueueHeldLocked() {
        if (!(held_.purge || held_.line || held_.dtr)) {
            return true;
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
            return false;
        }
        AppendLocked(out);
        held_ = Held{};
        return true;
    }

    // User data goes to the queue; from now on no purge is sent.
    void SendDataLocked(const std::vector<std::uint8_t>& escaped) {
        AppendLocked(escaped);
        dataSent_ = true;
        held_.purge = false;
    }

    bool Broken() const { return inDead_.load() || outDead_.load(); }
    // Bytes held or queued; the bound of every store into either.
    std::size_t Pending() const { return out_.size() + heldData_.size(); }

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
        const int sock = sock_.load();
        if (phase_ != Phase::Open || sock < 0 || outDead_.load()) {
            return out_.empty() && !outDead_.load() ? 1 : -1;
        }
        std::size_t sent = 0;
        int result = 1;
        while (sent < out_.size()) {
            const ssize_t w =
                ::send(sock, out_.data() + sent, out_.size() - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
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
        heldData_.clear();
        held_ = Held{};
        ::shutdown(sock_.load(), SHUT_RDWR);
    }

    // The connect, as far as it goes without waiting: the lookup's result, then each address
    // in turn until one answers or each has had timeoutMs_.
    void AdvanceLocked() {
        if (phase_ == Phase::Resolving) {
            {
                std::lock_guard lock(lookup_->mu);
                if (!lookup_->finished) {
                    return;
                }
                if (lookup_->error != 0) {
                    FailLocked(::gai_strerror(lookup_->error));
                    return;
                }
                list_ = std::exchange(lookup_->list, nullptr);
            }
            lookup_.reset();
            next_ = list_;
            phase_ = Phase::Connecting;
            StartNextLocked();
        }
        while (phase_ == Phase::Connecting) {
            const int sock = sock_.load();
            pollfd pfd{sock, POLLOUT, 0};
            if (::poll(&pfd, 1, 0) <= 0) {
                if (Clock::now() < tryUntil_) {
                    return;
                }
                lastError_ = ETIMEDOUT;
            } else {
                int err = 0;
                socklen_t len = sizeof err;
                if (::getsockopt(sock, SOL_SOCKET, SO_ERROR, &err, &len) != 0) {
                    err = errno;
                }
                if (err == 0) {
                    OpenLocked();
                    return;
                }
                lastError_ = err;
            }
            ::close(sock_.exchange(-1));
            StartNextLocked();
        }
    }

    // Starts the connect to the next address; the connect has failed when none is left.
    void StartNextLocked() {
        while (next_ != nullptr) {
            const addrinfo* ai = next_;
            next_ = ai->ai_next;
            const int sock = ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                                      ai->ai_protocol);
            if (sock < 0) {
                lastError_ = errno;
                continue;
            }
            if (::connect(sock, ai->ai_addr, ai->ai_addrlen) == 0 || errno == EINPROGRESS ||
                errno == EINTR) {
                sock_ = sock;
                tryUntil_ = Clock::now() + std::chrono::milliseconds(timeoutMs_);
                return;
            }
            lastError_ = errno;
            ::close(sock);
        }
        FailLocked(std::strerror(lastError_ != 0 ? lastError_ : EHOSTUNREACH));
    }

    void OpenLocked() {
        const int one = 1;
        ::setsockopt(sock_.load(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        FreeAddressesLocked();
        phase_ = Phase::Open;
        gateUntil_ = Clock::now() + std::chrono::milliseconds(kTelnetSettingsWaitMs);
        AppendLocked(hello_);
    }

    void FailLocked(const std::string& reason) {
        failure_ = where_ + ": " + reason;
        phase_ = Phase::Failed;
        FreeAddressesLocked();
        lookup_.reset();
        heldData_.clear();
        inDead_ = true;
        outDead_ = true;
    }

    void FreeAddressesLocked() {
        if (list_ != nullptr) {
            ::freeaddrinfo(list_);
        }
        list_ = nullptr;
        next_ = nullptr;
    }

    // The receiving side ends only when the server's last bytes are read: a failed send (the
    // server may close right after a last message, as ser2net's "Port already in use") must not
    // lose them.
    std::atomic<bool> inDead_{false};
    std::atomic<bool> outDead_{false};
    std::atomic<bool> comPortOn_{false};
    std::atomic<bool> comPortRefused_{false};
    std::atomic<std::uint32_t> serverBaud_{0};
    std::atomic<int> sock_{-1};                  // changes only under outMu_
    std::atomic<Phase> phase_{Phase::Resolving}; // changes only under outMu_

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
    // The connect.
    const std::string where_;
    const int timeoutMs_;
    addrinfo* list_ = nullptr;
    const addrinfo* next_ = nullptr;
    std::shared_ptr<Lookup> lookup_;
    Clock::time_point tryUntil_;
    int lastError_ = 0;
    std::string failure_;
    std::vector<std::uint8_t> hello_; // the option requests Pelko opens with
    // What goes out. Pending() never goes beyond kTelnetQueueLimit.
    std::vector<std::uint8_t> out_;
    Clock::time_point lastTaken_;
    Held held_;
    std::vector<std::uint8_t> heldData_; // written before the gate opened, escaped
    bool gateOpen_ = false;
    Clock::time_point gateUntil_;
    bool dataSent_ = false;
};

thread_local std::string tLastConnectError;

} // namespace

std::string LastTelnetConnectError() {
    return tLastConnectError;
}

std::unique_ptr<TelnetPort> ConnectTelnetPort(const std::string& host, std::uint16_t port,
                                              int timeoutMs) {
    const std::string service = std::to_string(port);
    const bool v6 = host.find(':') != std::string::npos;
    std::string where = (v6 ? "[" + host + "]" : host) + ":" + service;
    tLastConnectError.clear();
    // An address needs no lookup; a name is looked up on a thread of its own.
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* list = nullptr;
    std::shared_ptr<Lookup> lookup;
    if (const int got = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list); got != 0) {
        if (got != EAI_NONAME || host.empty()) {
            tLastConnectError = where + ": " + ::gai_strerror(got);
            return nullptr;
        }
        list = nullptr;
        lookup = StartLookup(host, service);
    }
    auto telnet = std::make_unique<TelnetConnection>(where, list, std::move(lookup), timeoutMs);
    std::string why;
    if (telnet->Progress(0, why) == Reach::Failed) {
        tLastConnectError = why;
        return nullptr;
    }
    return telnet;
}

} // namespace pelko::posix
