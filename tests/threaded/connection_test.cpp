// Opening and closing the connection and the receive thread's life, with a scripted port: the
// order of the steps, every way the open can fail, the thread's ends, and a port that dies.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <thread>

#include "app/wndproc.h"
#include "link/handshake.h"
#include "platform/system.h"
#include "resources/commands.h"
#include "resources/globals.h"
#include "resources/messages.h"
#include "resources/port_names.h"
#include "serial/connection.h"
#include "serial/receive.h"
#include "serial/target_control.h"
#include "serial/transmit.h"
#include "settings/settings.h"
#include "tests/support/fake_port.h"
#include "tests/support/recording_window.h"
#include "tests/support/terminal_record.h"
#include "upload/upload.h"

namespace pelko::test {
namespace {

using namespace std::chrono_literals;
using testing::ElementsAre;

constexpr std::int64_t kOff = platform::MF_GRAYED | platform::MF_DISABLED;

// Polls `done` for up to five seconds.
template <typename F> bool Eventually(F done) {
    const auto end = std::chrono::steady_clock::now() + 5s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// The record with its two events, as window creation makes them.
class ConnectionTest : public testing::Test {
protected:
    void SetUp() override {
        tty->osRead.hEvent = platform::Sys().CreateEvent();
        hTTYWnd = &win;
        factory.next = port;
    }
    void TearDown() override {
        CloseConnection(&win);
        hTTYWnd = nullptr;
        FreeTTYResources(&*tty);
        ResetLink();
        gRunOverrides = {};
    }
    std::vector<std::string> Ops(const std::vector<Call>& calls) {
        std::vector<std::string> out;
        for (const Call& c : calls) {
            if (c.op == "SetCursor" || c.op == "EnableMenuItem" || c.op == "CreateCaret" ||
                c.op == "ShowCaret") {
                std::ostringstream s;
                s << c;
                out.push_back(s.str());
            }
        }
        return out;
    }

    RecordingWindow win;
    AttachedRecord tty{win};
    std::shared_ptr<FakePortState> port = std::make_shared<FakePortState>();
    FakePortFactory factory;
};

TEST_F(ConnectionTest, OpenRunsItsStepsInOrder) {
    tty->bPortNum = 3;
    tty->dwBaudRate = 57600;
    tty->fConnected = 0;
    ASSERT_NE(OpenConnection(&win), 0);
    EXPECT_THAT(factory.names, ElementsAre("COM3"));
    EXPECT_THAT(port->Ops(), ElementsAre("Purge", "Configure 57600", "SetDtr 1"));
    const platform::LineSettings line = port->LastLine();
    EXPECT_EQ(line.dataBits, 8);
    EXPECT_EQ(line.parity, 0);
    EXPECT_EQ(line.stopBits, 0);
    EXPECT_EQ(tty->fConnected, 1);
    EXPECT_NE(tty->dwWatchThreadId, 0u);
    // Busy cursor first, caret once the flag is set, menu last, then the old cursor back.
    EXPECT_THAT(
        Ops(win.Calls()),
        ElementsAre("SetCursor 1", "CreateCaret 8 16", "ShowCaret",
                    "EnableMenuItem " + std::to_string(IDM_DISCONNECT) + " 0",
                    "EnableMenuItem " + std::to_string(IDM_CONNECT) + " " + std::to_string(kOff),
                    "SetCursor 0"));

    win.Clear();
    EXPECT_EQ(CloseConnection(&win), 1);
    EXPECT_EQ(tty->dwWatchThreadId, 0u);
    EXPECT_EQ(tty->fConnected, 0);
    EXPECT_FALSE(tty->hCommPort);
    EXPECT_THAT(port->Ops(),
                ElementsAre("Purge", "Configure 57600", "SetDtr 1", "SetDtr 0", "Purge", "Close"));
    EXPECT_THAT(
        Ops(win.Calls()),
        ElementsAre("EnableMenuItem " + std::to_string(IDM_DISCONNECT) + " " + std::to_string(kOff),
                    "EnableMenuItem " + std::to_string(IDM_CONNECT) + " 0"));
}

TEST_F(ConnectionTest, MissingDeviceLeavesFlagAndMenuAlone) {
    factory.next.reset();
    tty->fConnected = 1; // as at start-up
    EXPECT_EQ(OpenConnection(&win), 0);
    EXPECT_EQ(tty->fConnected, 1);
    EXPECT_THAT(Ops(win.Calls()), ElementsAre("SetCursor 1", "SetCursor 0"));

    // That start-up state: typing goes nowhere, Setup fails, Disconnect closes cleanly.
    EXPECT_EQ(ProcessTTYCharacter(&win, 'x'), 1);
    EXPECT_EQ(SetupConnection(&win), 0);
    EXPECT_EQ(CloseConnection(&win), 1);
    EXPECT_EQ(tty->fConnected, 0);
}

TEST_F(ConnectionTest, RefusedSettingsCloseThePort) {
    port->configureOk = false;
    EXPECT_EQ(OpenConnection(&win), 0);
    EXPECT_EQ(tty->fConnected, 0);
    EXPECT_TRUE(port->Closed());
    EXPECT_FALSE(tty->hCommPort);
    EXPECT_EQ(tty->dwWatchThreadId, 0u);
    EXPECT_EQ(win.Count("EnableMenuItem"), 0u);
    EXPECT_EQ(win.Calls("SetCursor").back().n[0], 0);
}

TEST_F(ConnectionTest, BaudChangeWhileOpenKeepsRecordValueWhenRefused) {
    ASSERT_NE(OpenConnection(&win), 0);
    tty->dwBaudRate = 115200;
    EXPECT_EQ(SetupConnection(&win), 1);
    EXPECT_EQ(port->LastLine().baudRate, 115200u);
    port->configureOk = false;
    tty->dwBaudRate = 12345;
    EXPECT_EQ(SetupConnection(&win), 0);
    EXPECT_EQ(port->LastLine().baudRate, 115200u);
    EXPECT_EQ(tty->dwBaudRate, 12345u);
}

TEST_F(ConnectionTest, EachBlockIsShownAndRepaintedBeforeTheNext) {
    tty->fNewLine = 0;
    ASSERT_NE(OpenConnection(&win), 0);
    win.Clear();
    std::string text(80, 'a');
    text += std::string(80, 'b') + std::string(40, 'c');
    port->Receive(text);
    ASSERT_TRUE(Eventually([&] { return win.Count("RequestRepaint") == 3; }));
    // One read takes what is there; the screen gets it in blocks of at most 80, each block's
    // cells followed by its repaint.
    EXPECT_THAT(port->Reads(), ElementsAre(200));
    EXPECT_THAT(win.CellRunsAndRepaints(),
                ElementsAre("80 cells", "repaint", "80 cells", "repaint", "40 cells", "repaint"));
    EXPECT_EQ(tty.Row(0), std::string(80, 'a'));
    EXPECT_EQ(tty.Row(2).substr(0, 41), std::string(40, 'c') + ' ');
}

TEST_F(ConnectionTest, WhileUploadingBlocksGoToTheScannerOnly) {
    ASSERT_NE(OpenConnection(&win), 0);
    gLink.gfUploading = 1;
    ASSERT_TRUE(ArmLine());
    port->Receive("echo\r");
    // The verdict falls only once the scanner has had the whole block.
    ASSERT_TRUE(Eventually([&] { return gLink.gUploadSync.load() == kUploadAccepted; }));
    gLink.gfUploading = 0;
    port->Receive("late");
    ASSERT_TRUE(Eventually([&] { return tty.Row(0).substr(0, 4) == "late"; }));
}

TEST_F(ConnectionTest, EarlyBytesWaitForTheWindow) {
    hTTYWnd = nullptr; // the entry has not stored the window yet
    ASSERT_NE(OpenConnection(&win), 0);
    port->Receive("hi");
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(port->Reads().empty());
    hTTYWnd = &win;
    ASSERT_TRUE(Eventually([&] { return tty.Row(0).substr(0, 2) == "hi"; }));
}

TEST_F(ConnectionTest, CloseBeforeTheWindowExistsStillEnds) {
    hTTYWnd = nullptr;
    ASSERT_NE(OpenConnection(&win), 0);
    EXPECT_EQ(CloseConnection(&win), 1);
    EXPECT_EQ(tty->dwWatchThreadId, 0u);
}

// A System whose CreateEvent fails from the Nth call on.
class FailingEvents : public platform::System {
public:
    std::atomic<int> failFrom{0};
    std::atomic<int> made{0};
    platform::Event CreateEvent() override {
        if (++made >= failFrom && failFrom > 0) {
            return platform::kNoEvent;
        }
        return System::CreateEvent();
    }
};

TEST_F(ConnectionTest, ThreadWithoutItsEventSaysSoAndEnds) {
    FailingEvents sys;
    sys.failFrom = 1;
    platform::SetSystem(&sys);
    ASSERT_NE(OpenConnection(&win), 0);
    ASSERT_TRUE(Eventually([&] { return tty->dwWatchThreadId == 0u; }));
    platform::SetSystem(nullptr);
    const auto boxes = win.Calls("PostMessageBox");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].s, "Failed to create event for thread!|TTY Error!");
    EXPECT_EQ(boxes[0].n[0], platform::MB_OK | platform::MB_ICONEXCLAMATION);
    // The connection stays marked up; Disconnect closes it normally.
    EXPECT_EQ(tty->fConnected, 1);
    EXPECT_EQ(CloseConnection(&win), 1);
    EXPECT_TRUE(port->Closed());
}

// As with --no-reconnect: a box, and the dead port stays until Disconnect.
TEST_F(ConnectionTest, DeadPortIsReportedOnceAndTheLinkCanBeMadeAgain) {
    gRunOverrides.noReconnect = true;
    tty->fLocalEcho = 1;
    ASSERT_NE(OpenConnection(&win), 0);
    port->Receive("last words");
    port->Die();
    ASSERT_TRUE(Eventually([&] { return tty->dwWatchThreadId == 0u; }));
    EXPECT_EQ(tty.Row(0).substr(0, 22), "last words<COM Error> ");
    EXPECT_EQ(win.Count("PostConnectionLost"), 1u);

    // The window thread's handler tells the user once, however often it runs.
    EXPECT_EQ(ConnectionLost(&win), 1);
    EXPECT_EQ(ConnectionLost(&win), 0);
    const auto boxes = win.Calls("MessageBox");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].s, std::string(gszConnectionLost) + "|" + gszAppName);
    EXPECT_EQ(win.Count("SetTimer"), 0u);

    // Typing into the dead link returns at once; the menu still offers Disconnect.
    port->writeStatus = platform::WriteStatus::FailedAtOnce;
    EXPECT_EQ(ProcessTTYCharacter(&win, 'x'), 1);
    EXPECT_EQ(tty->fConnected, 1);
    EXPECT_EQ(CloseConnection(&win), 1);

    auto fresh = std::make_shared<FakePortState>();
    factory.next = fresh;
    ASSERT_NE(OpenConnection(&win), 0);
    fresh->Receive("again");
    ASSERT_TRUE(Eventually([&] { return tty.Row(0).substr(22, 5) == "again"; }));
}

TEST_F(ConnectionTest, ALostTelnetServerIsTriedAgainLessAndLessOften) {
    tty->bPortNum = kTelnetPortNum;
    ASSERT_NE(OpenConnection(&win), 0);
    port->Die(); // and no other port to be had
    ASSERT_TRUE(Eventually([&] { return win.Count("PostConnectionLost") == 1; }));
    EXPECT_EQ(ConnectionLost(&win), 1);
    std::vector<std::int64_t> waits;
    for (int i = 0; i < 7; ++i) {
        waits.push_back(win.Calls("SetTimer").back().n[1]);
        EXPECT_EQ(RetryConnection(&win), 0);
    }
    EXPECT_THAT(waits, ElementsAre(1000, 2000, 4000, 8000, 16000, 30000, 30000));
    EXPECT_EQ(tty.Row(1).substr(0, 15), "<Retrying fake "); // under <COM Error>
}

// A network port still connecting when opened: the connect timer finishes the open, or closes
// the port and says why, in a box for a Connect and with a longer wait for a retry.
TEST_F(ConnectionTest, AConnectUnderWayIsFinishedByItsTimer) {
    using platform::Reach;
    const struct {
        bool retry;
        Reach end;
        const char* box;
        std::int64_t nextRetryMs;
    } rows[] = {
        {false, Reach::Open, "", 0},
        {false, Reach::Failed, "Connection failed.\nh:1: Connection timed out|", 0},
        {true, Reach::Open, "", 0},
        {true, Reach::Failed, "", 2 * kTelnetRetryMs},
    };
    tty->bPortNum = kTelnetPortNum;
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.retry ? "retry " : "connect ") + row.box);
        port = std::make_shared<FakePortState>();
        port->reach = Reach::Pending;
        port->failure = "h:1: Connection timed out";
        factory.next = port;
        win.Clear();
        tty->fReconnecting = row.retry;
        tty->nRetryMs = kTelnetRetryMs;
        EXPECT_EQ(row.retry ? RetryConnection(&win) : OpenConnection(&win),
                  row.retry ? 0 : kConnecting);
        EXPECT_EQ(win.Calls("SetTimer").back().n,
                  (std::vector<std::int64_t>{kConnectTimer, kConnectLookMs}));
        EXPECT_EQ(tty->dwWatchThreadId, 0u); // nothing reads before the connect is made
        TTYWndProc(&win, WM_TIMER, kConnectTimer, 0);
        EXPECT_EQ(tty->fOpening, true); // still under way
        port->reach = row.end;
        TTYWndProc(&win, WM_TIMER, kConnectTimer, 0);
        EXPECT_FALSE(tty->fOpening);
        EXPECT_THAT(win.Calls("KillTimer"),
                    testing::Contains(Call{"KillTimer", {kConnectTimer}, ""}));
        const bool open = row.end == Reach::Open;
        EXPECT_EQ(tty->fConnected != 0, open);
        EXPECT_EQ(port->Closed(), !open);
        const auto boxes = win.Calls("MessageBox");
        EXPECT_EQ(boxes.empty() ? "" : boxes[0].s,
                  row.box + std::string(*row.box ? gszAppName : ""));
        if (row.nextRetryMs != 0) {
            EXPECT_EQ(win.Calls("SetTimer").back().n[1], row.nextRetryMs);
        }
        CloseConnection(&win);
    }
}

TEST_F(ConnectionTest, LossReportedAfterADisconnectIsNotShown) {
    ASSERT_NE(OpenConnection(&win), 0);
    port->Die();
    ASSERT_TRUE(Eventually([&] { return win.Count("PostConnectionLost") == 1; }));
    CloseConnection(&win);
    EXPECT_EQ(ConnectionLost(&win), 0);
    EXPECT_EQ(win.Count("MessageBox"), 0u);
}

TEST_F(ConnectionTest, DeathDuringAnUploadEndsItAsALostLink) {
    ASSERT_NE(OpenConnection(&win), 0);
    gLink.gfUploading = 1;
    ASSERT_TRUE(ArmLine());
    port->Die();
    ASSERT_TRUE(Eventually([&] { return gLink.gfUploading == 0; }));
    EXPECT_EQ(gLink.gUploadSync, kUploadLinkLost);
    EXPECT_EQ(gLink.fPortDead, 1);
    EXPECT_EQ(gLink.gfUpError, 0); // not a line the target rejected
}

// Reset and BREAK from the menu: each drops its line at once and the control timer raises it
// again; nothing is sent without a connection, over a pulse under way, or where the port
// cannot, and the box says why.
TEST_F(ConnectionTest, ResetAndBreakPulseTheirLinesFromTheControlTimer) {
    auto command = [&](unsigned id) { TTYWndProc(&win, WM_COMMAND, id, 0); };
    auto boxes = [&] {
        std::vector<std::string> out;
        for (const Call& c : win.Calls("MessageBox")) {
            out.push_back(c.s.substr(0, c.s.find('|')));
        }
        win.Clear();
        return out;
    };
    tty->fConnected = 0;
    command(IDM_RESETTARGET);
    EXPECT_THAT(boxes(),
                ElementsAre(std::string(gszCannotReset) + "\nNot connected: Connect first."));

    ASSERT_NE(OpenConnection(&win), 0);
    win.Clear();
    command(IDM_RESETTARGET);
    command(IDM_SENDBREAK); // refused: the reset is still under way
    EXPECT_EQ(TargetControlNote(), "resetting target");
    EXPECT_THAT(win.Calls("SetTimer"), ElementsAre(Call{"SetTimer", {kControlTimer, 100}, ""}));
    EXPECT_THAT(boxes(),
                ElementsAre(std::string(gszCannotBreak) + "\nA reset is still under way."));
    TTYWndProc(&win, WM_TIMER, kControlTimer, 0);
    EXPECT_THAT(TargetControlNote(), testing::StartsWith("target reset at "));
    command(IDM_SENDBREAK);
    TTYWndProc(&win, WM_TIMER, kControlTimer, 0);
    EXPECT_THAT(TargetControlNote(), testing::StartsWith("BREAK sent at "));
    EXPECT_THAT(port->Ops(),
                ElementsAre("Purge", "Configure 19200", "SetDtr 1", "SetControl Dtr 0",
                            "SetControl Dtr 1", "SetControl Break 1", "SetControl Break 0"));

    port->controlRefusal = "the device has no modem lines";
    command(IDM_RESETTARGET);
    EXPECT_THAT(boxes(),
                ElementsAre(std::string(gszCannotReset) + "\nthe device has no modem lines"));
    EXPECT_EQ(ControlHoldMs(), 0);
    EXPECT_EQ(CloseConnection(&win), 1);
}

} // namespace
} // namespace pelko::test
