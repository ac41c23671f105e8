// The Telnet port against scripted servers on loopback that misbehave: one floods option
// requests and never reads, one reads slowly, one agrees to COM-PORT-OPTION late, one refuses it,
// one says nothing; the user's data waits behind the line settings and never before a purge.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "posix/telnet_port.h"
#include "posix/telnet_protocol.h"
#include "resources/globals.h"
#include "serial/connection.h"
#include "serial/receive.h"
#include "serial/target_control.h"
#include "serial/transmit.h"
#include "settings/settings.h"
#include "tests/support/link.h"

namespace pelko::test {
namespace {

namespace tn = posix::telnet;
using Clock = std::chrono::steady_clock;
using testing::HasSubstr;

// Serves one connection on 127.0.0.1 with `script`, which should end once `stop` is set.
class ScriptedServer {
public:
    using Script = std::function<void(int fd, const std::atomic<bool>& stop)>;
    explicit ScriptedServer(Script script) {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int small = 4096; // the server's window fills soon, as a stalled one's would
        ::setsockopt(listen_, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (::bind(listen_, reinterpret_cast<sockaddr*>(&addr), len) != 0 ||
            ::listen(listen_, 1) != 0 ||
            ::getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
            return;
        }
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this, script = std::move(script)] {
            pollfd pfd{listen_, POLLIN, 0};
            while (!stop_.load() && ::poll(&pfd, 1, 10) == 0) {
            }
            const int fd = stop_.load() ? -1 : ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                script(fd, stop_);
                ::close(fd);
            }
        });
    }
    ~ScriptedServer() {
        Finish();
        ::close(listen_);
    }
    // Tells the script to stop and waits for its end.
    void Finish() {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    std::uint16_t Port() const { return port_; }

private:
    int listen_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Sends all of `bytes`; false when the connection broke or `stop` was set.
bool Push(int fd, const std::string& bytes, const std::atomic<bool>& stop) {
    for (std::size_t at = 0; at < bytes.size() && !stop.load();) {
        const ssize_t w =
            ::send(fd, bytes.data() + at, bytes.size() - at, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (w > 0) {
            at += static_cast<std::size_t>(w);
        } else if (w < 0 && errno != EAGAIN) {
            return false;
        } else {
            pollfd pfd{fd, POLLOUT, 0};
            ::poll(&pfd, 1, 10);
        }
    }
    return !stop.load();
}

// Reads into `got` for `ms` milliseconds; false when the connection ended.
bool Take(int fd, std::string& got, int ms) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    for (auto now = Clock::now(); now < end; now = Clock::now()) {
        pollfd pfd{fd, POLLIN, 0};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - now);
        if (::poll(&pfd, 1, static_cast<int>(left.count()) + 1) > 0) {
            char buf[4096];
            const ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
            if (n == 0 || (n < 0 && errno != EAGAIN)) {
                return false;
            }
            got.append(buf, static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
        }
    }
    return true;
}

std::string Bytes(std::initializer_list<std::uint8_t> bytes) {
    return {bytes.begin(), bytes.end()};
}

const std::string kComPortCommand = Bytes({tn::IAC, tn::SB, tn::kOptComPort});
const std::string kRefusal = "<Telnet server refuses COM-PORT settings>";

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
}

class TelnetHostileTest : public testing::Test, public LinkFixture {
protected:
    void Connect(const ScriptedServer& server) {
        map.telnetHost = "127.0.0.1";
        map.telnetPort = server.Port();
        Install();
        tty->bPortNum = 5;
        tty->fConnected = 0;
        ASSERT_NE(OpenConnectionAndWait(&win), 0);
        port = dynamic_cast<posix::TelnetPort*>(OpenPort());
        ASSERT_NE(port, nullptr);
    }
    posix::TelnetPort* port = nullptr;
};

TEST_F(TelnetHostileTest, FloodingServerThatNeverReadsEndsTheLinkLikeADeadPort) {
    // Switches options Pelko agrees to on and off, each switch owed an answer, and asks for
    // ones it refuses.
    std::string flood;
    for (int i = 0; i < 512; ++i) {
        flood += Bytes({tn::IAC, tn::WILL, tn::kOptBinary, tn::IAC, tn::WONT, tn::kOptBinary,
                        tn::IAC, tn::DO, 1, tn::IAC, tn::WILL, static_cast<std::uint8_t>(i)});
    }
    ScriptedServer server([&](int fd, const std::atomic<bool>& stop) {
        while (Push(fd, flood, stop)) {
        }
    });
    gRunOverrides.noReconnect = true;
    ASSERT_NO_FATAL_FAILURE(Connect(server));
    const auto start = Clock::now();
    std::size_t most = 0;
    ASSERT_TRUE(Eventually(
        [&] {
            most = std::max(most, port->QueuedBytes());
            return tty->dwWatchThreadId.load() == 0u;
        },
        10000));
    const auto took = Clock::now() - start;
    EXPECT_LE(most, posix::kTelnetQueueLimit);
    EXPECT_LT(took, std::chrono::milliseconds(posix::kTelnetPeerDeadlineMs + 3000));
    EXPECT_EQ(Occurrences(gszComError), 1);
    EXPECT_EQ(win.Count("PostConnectionLost"), 1u);
    EXPECT_EQ(ConnectionLost(&win), 1);
    const auto typed = Clock::now();
    EXPECT_EQ(ProcessTTYCharacter(&win, 'x'), 1);
    EXPECT_LT(Clock::now() - typed, std::chrono::milliseconds(100)); // no wait for a dead link
    EXPECT_EQ(CloseConnection(&win), 1);
}

TEST_F(TelnetHostileTest, SlowReaderNeverLetsTheQueueGrowPastItsLimit) {
    ScriptedServer server([](int fd, const std::atomic<bool>& stop) {
        while (!stop.load()) {
            char buf[1024];
            if (::recv(fd, buf, sizeof buf, MSG_DONTWAIT) == 0) {
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10)); // ~100 kB/s
        }
    });
    auto telnet = posix::ConnectTelnetPort("127.0.0.1", server.Port());
    ASSERT_NE(telnet, nullptr);
    const std::string block(4000, 'a');
    std::size_t most = 0;
    const auto end = Clock::now() + std::chrono::milliseconds(1500);
    while (Clock::now() < end) {
        const auto result =
            telnet->Write(reinterpret_cast<const std::uint8_t*>(block.data()), block.size(), 10);
        ASSERT_NE(result.status, platform::WriteStatus::FailedAtOnce);
        ASSERT_NE(result.status, platform::WriteStatus::FailedLater);
        most = std::max(most, telnet->QueuedBytes());
    }
    EXPECT_LE(most, posix::kTelnetQueueLimit);
}

TEST_F(TelnetHostileTest, SettingsWaitForTheServersAgreementThenGoOutOnce) {
    std::atomic<bool> configured{false};
    std::string before;
    std::string after;
    ScriptedServer server([&](int fd, const std::atomic<bool>& stop) {
        while (!configured.load() && !stop.load() && Take(fd, before, 10)) {
        }
        Take(fd, before, 100);
        if (Push(fd, Bytes({tn::IAC, tn::DO, tn::kOptComPort}), stop)) {
            Take(fd, after, 300);
        }
    });
    auto telnet = posix::ConnectTelnetPort("127.0.0.1", server.Port());
    ASSERT_NE(telnet, nullptr);
    platform::LineSettings line;
    EXPECT_TRUE(telnet->Configure(line));
    line.baudRate = 57600;
    EXPECT_TRUE(telnet->Configure(line)); // only this one should go out
    EXPECT_TRUE(telnet->SetDtr(true));
    configured = true;
    ASSERT_TRUE(Eventually([&] {
        telnet->BytesWaiting(); // takes the server's answer in
        return telnet->Agreed(tn::kOptComPort);
    }));
    server.Finish();
    EXPECT_EQ(Count(before, kComPortCommand), 0u);
    EXPECT_EQ(Count(after, kComPortCommand + Bytes({tn::kSetBaudRate})), 1u);
    EXPECT_EQ(Count(after, kComPortCommand + Bytes({tn::kSetBaudRate, 0, 0, 0xE1, 0x00})), 1u);
    EXPECT_EQ(Count(after, kComPortCommand + Bytes({tn::kSetControl, tn::kControlDtrOn})), 1u);
}

// Data written at once after the connect, against servers that answer COM-PORT-OPTION in
// different ways. What the server sees, in order: P purge, B baud rate, D DTR on, d the data,
// | the server's answer.
TEST_F(TelnetHostileTest, DataWaitsBehindTheLineSettingsAndNoPurgeFollowsIt) {
    const struct {
        std::uint8_t answer;
        int answerAfterMs;
        const char* seen;
    } rows[] = {
        {tn::DO, 300, "|PBDd"}, // agrees: the commands go first
        {tn::DONT, 300, "|d"},  // refuses: the data without them
        {tn::DO, 1500, "d|BD"}, // silent for longer than the data waits: no purge after it
    };
    const std::string data = "line 1\r";
    const std::pair<char, std::string> marks[] = {
        {'P', kComPortCommand + Bytes({tn::kPurgeData})},
        {'B', kComPortCommand + Bytes({tn::kSetBaudRate})},
        {'D', kComPortCommand + Bytes({tn::kSetControl, tn::kControlDtrOn})},
        {'d', data}};
    auto seen = [&](const std::string& bytes) {
        std::string marked;
        for (std::size_t at = 0; at < bytes.size(); ++at) {
            for (const auto& [mark, what] : marks) {
                marked += bytes.compare(at, what.size(), what) == 0 ? std::string(1, mark) : "";
            }
        }
        return marked;
    };
    for (const auto& row : rows) {
        std::string before;
        std::string after;
        std::atomic<bool> done{false};
        ScriptedServer server([&](int fd, const std::atomic<bool>& stop) {
            Take(fd, before, row.answerAfterMs);
            if (Push(fd, Bytes({tn::IAC, row.answer, tn::kOptComPort}), stop)) {
                Take(fd, after, 300);
            }
            done = true;
        });
        ASSERT_NO_FATAL_FAILURE(Connect(server));
        Type(data);
        ASSERT_TRUE(Eventually([&] { return done.load(); }));
        EXPECT_EQ(CloseConnection(&win), 1);
        server.Finish();
        EXPECT_EQ(seen(before) + "|" + seen(after), row.seen);
    }
}

TEST_F(TelnetHostileTest, RefusedComPortIsToldOnceAndTheLinkGoesOn) {
    std::string got;
    ScriptedServer server([&](int fd, const std::atomic<bool>& stop) {
        Take(fd, got, 100);
        const std::string no = Bytes({tn::IAC, tn::DONT, tn::kOptComPort});
        if (Push(fd, no + "one " + no + "two", stop)) {
            while (!stop.load() && Take(fd, got, 10)) {
            }
        }
    });
    ASSERT_NO_FATAL_FAILURE(Connect(server));
    EXPECT_TRUE(WaitForScreen("two")) << Screen();
    EXPECT_EQ(Occurrences(kRefusal), 1) << Screen();
    EXPECT_NE(tty->dwWatchThreadId.load(), 0u);
    EXPECT_EQ(CloseConnection(&win), 1);
    server.Finish();
    EXPECT_EQ(Count(got, kComPortCommand), 0u);
}

// Reset and BREAK reach the server as SET-CONTROL commands: DTR off, DTR on, BREAK on, BREAK
// off. A server that refused COM-PORT-OPTION cannot be asked, and Pelko says so.
TEST_F(TelnetHostileTest, ResetAndBreakGoOutAsSetControlOrAreRefusedPlainly) {
    const std::string command = kComPortCommand + Bytes({tn::kSetControl});
    const std::string breakOff = command + Bytes({tn::kControlBreakOff});
    for (const std::uint8_t answer : {tn::DO, tn::DONT}) {
        std::string got; // the server's until it has seen the break end, or is stopped
        std::atomic<bool> done{false};
        ScriptedServer server([&](int fd, const std::atomic<bool>& stop) {
            Take(fd, got, 50);
            if (Push(fd, Bytes({tn::IAC, answer, tn::kOptComPort}), stop)) {
                while (!stop.load() && got.find(breakOff) == std::string::npos) {
                    Take(fd, got, 10);
                }
            }
            done = true;
        });
        ASSERT_NO_FATAL_FAILURE(Connect(server));
        std::string why;
        ASSERT_TRUE(
            Eventually([&] { return ResetTarget(&win, why) || why != platform::kControlNotYet; }));
        if (answer == tn::DONT) {
            EXPECT_THAT(why, HasSubstr("RFC 2217"));
            EXPECT_FALSE(SendBreak(&win, why));
        } else {
            EXPECT_TRUE(EndTargetControl(&win));
            EXPECT_TRUE(SendBreak(&win, why)) << why;
            EXPECT_TRUE(EndTargetControl(&win));
            EXPECT_THAT(TargetControlNote(), HasSubstr("BREAK sent at"));
            EXPECT_TRUE(Eventually([&] { return done.load(); }));
        }
        EXPECT_EQ(CloseConnection(&win), 1);
        server.Finish();
        std::string controls;
        for (std::size_t at = got.find(command); at != std::string::npos;
             at = got.find(command, at + 1)) {
            controls += std::to_string(static_cast<std::uint8_t>(got[at + command.size()])) + " ";
        }
        EXPECT_EQ(controls, answer == tn::DO ? "1 8 9 8 5 6 " : "");
    }
}

} // namespace
} // namespace pelko::test
