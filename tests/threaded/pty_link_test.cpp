// The serial link over real ptys: openpty() pairs and the target simulator behind COM1.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "app/wndproc.h"
#include "posix/uucp_lock.h"
#include "resources/commands.h"
#include "resources/globals.h"
#include "resources/messages.h"
#include "serial/connection.h"
#include "serial/receive.h"
#include "serial/transmit.h"
#include "settings/settings.h"
#include "terminal/interpreter.h"
#include "tests/support/link.h"
#include "tools/rig/rig.h"

namespace pelko::test {
namespace {

using namespace std::chrono_literals;
using testing::ElementsAre;

class PtyLinkTest : public testing::Test, public LinkFixture {
protected:
    // Starts the simulator and maps COM1 to its pty.
    void StartSimulator(const std::vector<std::string>& args = {}) {
        sim = rig::Simulator::Start(args);
        ASSERT_NE(sim, nullptr);
        map.com[1] = sim->Path();
        Install();
    }
    void Connect() {
        tty->fConnected = 0;
        ASSERT_NE(OpenConnection(&win), 0);
    }
    std::unique_ptr<rig::Simulator> sim;
};

TEST_F(PtyLinkTest, TwoHundredWaitingBytesAreShownAsEightyEightyForty) {
    rig::PtyPair pty;
    ASSERT_TRUE(pty.Open());
    map.com[1] = pty.path;
    Install();
    tty->fNewLine = 0;
    hTTYWnd = nullptr; // the thread holds off until the window exists
    ASSERT_NO_FATAL_FAILURE(Connect());
    std::string text = std::string(80, 'a') + std::string(80, 'b') + std::string(40, 'c');
    ASSERT_TRUE(WriteAll(pty.master, text));
    ASSERT_TRUE(Eventually([&] {
        int queued = 0;
        return ::ioctl(pty.slave, FIONREAD, &queued) == 0 && queued == 200;
    }));
    hTTYWnd = &win;
    ASSERT_TRUE(Eventually([&] { return win.Count("RequestRepaint") == 3; }));
    EXPECT_THAT(Reads(), ElementsAre(200));
    EXPECT_THAT(win.CellRunsAndRepaints(),
                ElementsAre("80 cells", "repaint", "80 cells", "repaint", "40 cells", "repaint"));
    EXPECT_EQ(tty.Row(0), std::string(80, 'a'));
    EXPECT_EQ(tty.Row(1), std::string(80, 'b'));
    EXPECT_EQ(tty.Row(2), std::string(40, 'c') + std::string(40, ' '));
}

TEST_F(PtyLinkTest, EveryByteValueGoesOutAsTypedAndEchoesLikeAReceivedOne) {
    rig::PtyPair pty;
    ASSERT_TRUE(pty.Open());
    map.com[1] = pty.path;
    Install();
    tty->fLocalEcho = 1;
    ASSERT_NO_FATAL_FAILURE(Connect());
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all.push_back(static_cast<char>(b));
        EXPECT_EQ(ProcessTTYCharacter(&win, static_cast<std::uint8_t>(b)), 1);
    }
    EXPECT_EQ(ReadFor(pty.master, 256), all);

    RecordingWindow other;
    AttachedRecord reference(other);
    WriteTTYBlock(&other, all.data(), 256);
    for (int r = 0; r < kScreenRows; ++r) {
        EXPECT_EQ(tty.Row(r), reference.Row(r)) << "row " << r;
    }
}

TEST_F(PtyLinkTest, TargetEchoAndRejectionReachTheScreen) {
    ASSERT_NO_FATAL_FAILURE(StartSimulator({"--reject-word", "oops"}));
    ASSERT_NO_FATAL_FAILURE(Connect());
    Type("1 2 +\r");
    Type("oops\r");
    EXPECT_TRUE(WaitForScreen("oops ~ oops ?"));
    EXPECT_EQ(tty.Row(0).substr(0, 5), "1 2 +");
}

TEST_F(PtyLinkTest, CloseWhileTheTargetFloodsEndsWithinASecond) {
    ASSERT_NO_FATAL_FAILURE(StartSimulator({"--flood", "0"}));
    ASSERT_NO_FATAL_FAILURE(Connect());
    ASSERT_TRUE(Eventually([&] { return win.Count("RequestRepaint") > 50; }));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(CloseConnection(&win), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_EQ(tty->dwWatchThreadId, 0u);
}

// Holds a flock on `path` in a child process until the returned pid is stopped.
pid_t HoldFlock(const std::string& path) {
    int ready[2];
    if (::pipe(ready) != 0) {
        return -1;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        const char ok = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? '1' : '0';
        ::write(ready[1], &ok, 1);
        ::pause();
        ::_exit(0);
    }
    ::close(ready[1]);
    char ok = '0';
    ::read(ready[0], &ok, 1);
    ::close(ready[0]);
    if (ok != '1') {
        rig::Stop(const_cast<pid_t&>(child), SIGKILL);
        return -1;
    }
    return child;
}

TEST_F(PtyLinkTest, DeviceHeldByAnotherProgramCannotBeOpened) {
    rig::PtyPair pty;
    ASSERT_TRUE(pty.Open());
    map.com[1] = pty.path;
    Install();
    pid_t holder = HoldFlock(pty.path);
    ASSERT_GT(holder, 0);
    tty->fConnected = 0;
    TTYWndProc(&win, WM_COMMAND, IDM_CONNECT, 0);
    EXPECT_EQ(win.Count("MessageBox"), 1u);
    EXPECT_EQ(win.Calls("MessageBox")[0].s, std::string("Connection failed.|") + gszAppName);
    EXPECT_EQ(win.Count("EnableMenuItem"), 0u);
    EXPECT_EQ(win.Calls("SetCursor").back().n[0], 0); // the arrow is back
    rig::Stop(holder, SIGKILL);

    // A live program's UUCP lock keeps Pelko off as well; Pelko's own lies there while open.
    const std::string lock = posix::UucpLockPath(lockDir, pty.path);
    std::ofstream(lock) << "         1\n";
    EXPECT_EQ(OpenConnection(&win), 0);
    std::remove(lock.c_str());
    ASSERT_NE(OpenConnection(&win), 0);
    std::ifstream mine(lock);
    long pid = 0;
    mine >> pid;
    EXPECT_EQ(pid, ::getpid());
    CloseConnection(&win);
    EXPECT_NE(::access(lock.c_str(), F_OK), 0);
}

TEST_F(PtyLinkTest, BaudChangeWhileConnectedTakesEffectAndARefusedOneIsReported) {
    rig::PtyPair pty;
    ASSERT_TRUE(pty.Open());
    map.com[1] = pty.path;
    Install();
    ASSERT_NO_FATAL_FAILURE(Connect());
    EXPECT_EQ(SttySpeed(pty.path), "19200");
    tty->dwBaudRate = 57600;
    EXPECT_EQ(SetupConnection(&win), 1);
    EXPECT_EQ(SttySpeed(pty.path), "57600");

    // The Setup command re-applies the record; a rate termios does not know is refused.
    tty->dwBaudRate = 12345;
    TTYWndProc(&win, WM_COMMAND, IDM_SETUP, 0);
    ASSERT_EQ(win.Count("MessageBox"), 1u);
    EXPECT_EQ(win.Calls("MessageBox")[0].s, std::string("Disconnect before Change!|") + gszAppName);
    EXPECT_EQ(SttySpeed(pty.path), "57600");
    EXPECT_EQ(tty->dwBaudRate, 12345u);
}

// Unplugging with --no-reconnect: the simulator dies with the pty's other end.
class UnplugTest : public PtyLinkTest {
protected:
    UnplugTest() { gRunOverrides.noReconnect = true; }
    // CPU this process uses over the next two seconds.
    static double CpuOverTwoSeconds() {
        const double before = rig::CpuSeconds();
        std::this_thread::sleep_for(2s);
        const double used = rig::CpuSeconds() - before;
        std::printf("CPU over 2 s after the unplug: %.1f ms\n", used * 1000.0);
        return used;
    }
    void ExpectToldOnce() {
        ASSERT_TRUE(Eventually([&] { return tty->dwWatchThreadId == 0u; }));
        EXPECT_EQ(win.Count("PostConnectionLost"), 1u);
        EXPECT_EQ(Occurrences(gszComError), 1);
        EXPECT_EQ(ConnectionLost(&win), 1);
        EXPECT_EQ(ConnectionLost(&win), 0);
        EXPECT_EQ(win.Count("MessageBox"), 1u);
    }
    void ReconnectToAFreshTarget() {
        TTYWndProc(&win, WM_COMMAND, IDM_DISCONNECT, 0);
        ASSERT_NO_FATAL_FAILURE(StartSimulator());
        TTYWndProc(&win, WM_COMMAND, IDM_CONNECT, 0);
        EXPECT_EQ(tty->fConnected, 1);
        Type("back\r");
        EXPECT_TRUE(WaitForScreen("back"));
    }
};

TEST_F(UnplugTest, WhileIdle) {
    ASSERT_NO_FATAL_FAILURE(StartSimulator());
    ASSERT_NO_FATAL_FAILURE(Connect());
    Type("hello\r");
    ASSERT_TRUE(WaitForScreen("hello"));
    sim->Kill();
    ExpectToldOnce();
    EXPECT_LT(CpuOverTwoSeconds(), 0.050);
    ReconnectToAFreshTarget();
}

TEST_F(UnplugTest, WhileTyping) {
    ASSERT_NO_FATAL_FAILURE(StartSimulator());
    ASSERT_NO_FATAL_FAILURE(Connect());
    std::thread killer([&] {
        std::this_thread::sleep_for(100ms);
        sim->Kill();
    });
    // Typing goes on through the unplug; no keystroke may hold the window thread.
    auto slowest = std::chrono::steady_clock::duration::zero();
    const auto end = std::chrono::steady_clock::now() + 600ms;
    while (std::chrono::steady_clock::now() < end) {
        const auto t0 = std::chrono::steady_clock::now();
        ProcessTTYCharacter(&win, 'k');
        slowest = std::max(slowest, std::chrono::steady_clock::now() - t0);
        std::this_thread::sleep_for(2ms);
    }
    killer.join();
    EXPECT_LT(slowest, 500ms);
    ExpectToldOnce();
    EXPECT_LT(CpuOverTwoSeconds(), 0.050);
    ReconnectToAFreshTarget();
}

// COM1 is a symbolic link, as a /dev/serial/by-id name is; the pty behind it goes away and a new
// one appears behind the same link. The test plays the window's timer.
TEST_F(PtyLinkTest, ADeviceThatComesBackBehindItsLinkIsReconnected) {
    char dir[] = "/tmp/pelko-by-id.XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string link = std::string(dir) + "/usb-Zemra-if00";
    rig::PtyPair first, second; // the first stays open: no other pty takes its name meanwhile
    ASSERT_TRUE(first.Open() && second.Open() && ::symlink(first.path.c_str(), link.c_str()) == 0);
    map.com[1] = link;
    Install();
    ASSERT_NO_FATAL_FAILURE(Connect());
    auto lose = [&](rig::PtyPair& pty, std::size_t n) {
        pty.CloseMaster();
        ASSERT_TRUE(Eventually([&] { return win.Count("PostConnectionLost") == n; }));
        TTYWndProc(&win, WM_CONNECTIONLOST, 0, 0);
    };
    auto ticksForTwoSeconds = [&] { // or until connected
        for (int i = 0; i < 4 && tty->fConnected == 0; ++i) {
            std::this_thread::sleep_for(500ms);
            TTYWndProc(&win, WM_TIMER, kReconnectTimer, 0);
        }
    };

    ASSERT_NO_FATAL_FAILURE(lose(first, 1));
    EXPECT_EQ(win.Count("MessageBox"), 0u);
    EXPECT_EQ(Occurrences("<Waiting for " + link + ">"), 1) << Screen();
    EXPECT_EQ(win.Calls("SetTimer").back().n, (std::vector<std::int64_t>{kReconnectTimer, 500}));
    const double cpu = rig::CpuSeconds();
    ticksForTwoSeconds();
    EXPECT_LT(rig::CpuSeconds() - cpu, 0.020);
    ASSERT_EQ(tty->fConnected, 0);
    ASSERT_TRUE(::unlink(link.c_str()) == 0 && ::symlink(second.path.c_str(), link.c_str()) == 0);
    ticksForTwoSeconds();
    EXPECT_EQ(tty->fConnected, 1);
    EXPECT_EQ(Occurrences(gszReconnected), 1);
    // Lost again at once: looked for as often, not announced again. Disconnect ends it.
    ASSERT_NO_FATAL_FAILURE(lose(second, 2));
    EXPECT_EQ(win.Calls("SetTimer").back().n[1], 500);
    EXPECT_EQ(Occurrences("<Waiting for "), 1);
    TTYWndProc(&win, WM_COMMAND, IDM_DISCONNECT, 0);
    EXPECT_EQ(win.Count("KillTimer"), 2u);
    std::system(("rm -rf '" + std::string(dir) + "'").c_str());
}

} // namespace
} // namespace pelko::test
