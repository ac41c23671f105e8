#include "serial/connection.h"

#include <algorithm>
#include <system_error>
#include <thread>

#include "link/handshake.h"
#include "log/session_log.h"
#include "resources/commands.h"
#include "resources/globals.h"
#include "resources/port_names.h"
#include "resources/resources.h"
#include "serial/receive.h"
#include "settings/settings.h"
#include "terminal/interpreter.h"
#include "terminal/tty_info.h"
#include "terminal/view.h"

namespace pelko {

using platform::Sys;
using Clock = std::chrono::steady_clock;

namespace {

constexpr unsigned kMenuOff = platform::MF_GRAYED | platform::MF_DISABLED;

// Receive threads are told apart by a number of our own, never 0. It goes into the record
// before the thread starts, so the thread can never clear it before it is there.
std::uint32_t NextWatchThreadId() {
    static std::atomic<std::uint32_t> last{0};
    std::uint32_t id = 0;
    do {
        id = last.fetch_add(1) + 1;
    } while (id == 0);
    return id;
}

void ClosePort(TTYInfo* tty) {
    if (tty->hCommPort) {
        tty->hCommPort->Close();
        tty->hCommPort.reset();
    }
}

// Waits until the receive thread has cleared its id, then collects the thread.
void JoinWatchThread(TTYInfo* tty) {
    for (std::uint32_t id = tty->dwWatchThreadId.load(); id != 0;
         id = tty->dwWatchThreadId.load()) {
        tty->dwWatchThreadId.wait(id);
    }
    if (tty->watchThread.joinable()) {
        tty->watchThread.join();
    }
}

bool IsTelnet(const TTYInfo* tty) {
    return tty->bPortNum >= kTelnetPortNum;
}

// Writes `text` on a line of its own, as the New Line option wants the line ends.
void SayOnScreen(platform::Window* hwnd, const TTYInfo* tty, const std::string& text) {
    const std::string end = tty->fNewLine.load() != 0 ? "\r" : "\r\n";
    const std::string line = (tty->nCursorCol.load() != 0 ? end : "") + text + end;
    WriteTTYBlock(hwnd, line.data(), static_cast<std::int32_t>(line.size()));
    hwnd->RequestRepaint();
}

void StopWaiting(platform::Window* hwnd, TTYInfo* tty) {
    if (tty->fReconnecting) {
        tty->fReconnecting = false;
        hwnd->KillTimer(kReconnectTimer);
    }
    if (tty->fOpening) {
        tty->fOpening = false;
        hwnd->KillTimer(kConnectTimer);
    }
}

// A Telnet server that cannot be reached is tried less and less often.
void SlowDown(platform::Window* hwnd, TTYInfo* tty) {
    if (IsTelnet(tty) && tty->nRetryMs < kRetryLimitMs) {
        tty->nRetryMs = std::min(2 * tty->nRetryMs, kRetryLimitMs);
        hwnd->SetTimer(kReconnectTimer, tty->nRetryMs);
    }
}

// Ends the receive thread and closes the port; the menu is left as it is.
void ShutPort(TTYInfo* tty) {
    tty->fConnected.store(0);
    // Wakes a receive thread blocked in its wait; it finds the flag clear and ends.
    Sys().SetEvent(tty->osRead.hEvent);
    JoinWatchThread(tty);
    gLink.fLinkLost.store(0);
    gLink.fPortDead.store(0);

    if (tty->hCommPort) {
        tty->hCommPort->SetDtr(false);
        tty->hCommPort->Purge();
    }
    ClosePort(tty);
}

// Lets a dead port go at once: a USB device that comes back gets its old name only once no
// one holds the old one open.
void DropDeadPort(platform::Window* hwnd, TTYInfo* tty) {
    KillTTYFocus(hwnd); // while the record still says connected
    ShutPort(tty);
}

// The rest of the open, once the port is connected: the receive thread, DTR, the menu.
int StartConnection(platform::Window* hwnd, TTYInfo* tty, int setup) {
    // Said before the receive thread starts, so the line comes before what the port sends.
    if (tty->fReconnecting) {
        StopWaiting(hwnd, tty);
        tty->reopenedAt = Clock::now();
        SayOnScreen(hwnd, tty, gszReconnected);
    } else {
        tty->reopenedAt = {};
    }
    tty->fConnected.store(1);
    gLink.fLinkLost.store(0);
    gLink.fPortDead.store(0);
    if (tty->dwWatchThreadId.load() == 0) {
        // A thread that ended by itself when its port died is collected before the next.
        JoinWatchThread(tty);
    }
    const std::uint32_t id = NextWatchThreadId();
    tty->dwWatchThreadId.store(id);
    try {
        tty->watchThread = std::thread(CommWatchProc, tty);
    } catch (const std::system_error&) {
        tty->dwWatchThreadId.store(0);
        tty->fConnected.store(0);
        ClosePort(tty);
        return 0;
    }

    tty->hCommPort->SetDtr(true);
    const std::string device = PortDeviceName(tty->bPortNum);
    LogSessionPort(std::string(gszAppName) + ", " + PortLabel(tty->bPortNum) + " (" +
                   platform::DescribeDevice(device) + "), " + std::to_string(tty->dwBaudRate) +
                   " baud");
    SetTTYFocus(hwnd);
    hwnd->EnableMenuItem(IDM_DISCONNECT, platform::MF_ENABLED);
    hwnd->EnableMenuItem(IDM_CONNECT, kMenuOff);
    return setup;
}

// Steps 3 to 12 of the open; OpenConnection keeps the busy cursor up around them, a retry
// does without. A port still connecting is left to the connect timer, which never waits.
int OpenWithCursor(platform::Window* hwnd, TTYInfo* tty) {
    tty->hCommPort = platform::OpenPort(PortDeviceName(tty->bPortNum));
    if (!tty->hCommPort) {
        return 0;
    }
    // A wake-up left over from the last close must not end the new receive thread.
    Sys().ResetEvent(tty->osRead.hEvent);
    tty->hCommPort->Purge();

    const int setup = SetupConnection(hwnd);
    if (setup == 0) {
        tty->fConnected.store(0);
        ClosePort(tty);
        return 0;
    }
    std::string why;
    if (tty->hCommPort->Progress(0, why) != platform::Reach::Open) {
        tty->fOpening = true; // a failure too is told by the timer, with its reason
        hwnd->SetTimer(kConnectTimer, kConnectLookMs);
        hwnd->EnableMenuItem(IDM_DISCONNECT, platform::MF_ENABLED);
        hwnd->EnableMenuItem(IDM_CONNECT, kMenuOff);
        return kConnecting;
    }
    return StartConnection(hwnd, tty, setup);
}

} // namespace

int OpenConnection(platform::Window* hwnd) {
    TTYInfo* tty = hwnd->GetRecord();
    if (tty == nullptr) {
        return 0;
    }
    const platform::CursorShape old = hwnd->SetCursor(platform::CursorShape::Wait);
    const int result = OpenWithCursor(hwnd, tty);
    hwnd->SetCursor(old);
    return result;
}

int FinishConnection(platform::Window* hwnd, int waitMs, std::string& why) {
    TTYInfo* tty = hwnd->GetRecord();
    if (tty == nullptr || !tty->fOpening || !tty->hCommPort) {
        hwnd->KillTimer(kConnectTimer);
        return 0;
    }
    const platform::Reach reach = tty->hCommPort->Progress(waitMs, why);
    if (reach == platform::Reach::Pending) {
        return kConnecting;
    }
    tty->fOpening = false;
    hwnd->KillTimer(kConnectTimer);
    if (reach == platform::Reach::Open) {
        return StartConnection(hwnd, tty, 1);
    }
    tty->fConnected.store(0);
    ClosePort(tty);
    if (tty->fReconnecting) {
        SlowDown(hwnd, tty);
    } else {
        hwnd->EnableMenuItem(IDM_DISCONNECT, kMenuOff);
        hwnd->EnableMenuItem(IDM_CONNECT, platform::MF_ENABLED);
    }
    return 0;
}

int SetupConnection(platform::Window* hwnd) {
    TTYInfo* tty = hwnd->GetRecord();
    if (tty == nullptr || !tty->hCommPort) {
        return 0;
    }
    platform::LineSettings line;
    line.baudRate = tty->dwBaudRate;
    line.dataBits = tty->bDataBits;
    line.parity = tty->bParity;
    line.stopBits = tty->bStopBits;
    return tty->hCommPort->Configure(line) ? 1 : 0;
}

int CloseConnection(platform::Window* hwnd) {
    TTYInfo* tty = hwnd->GetRecord();
    if (tty == nullptr) {
        return 0;
    }
    StopWaiting(hwnd, tty);
    ShutPort(tty);
    hwnd->EnableMenuItem(IDM_DISCONNECT, kMenuOff);
    hwnd->EnableMenuItem(IDM_CONNECT, platform::MF_ENABLED);
    return 1;
}

int ConnectionLost(platform::Window* hwnd) {
    TTYInfo* tty = hwnd->GetRecord();
    if (tty == nullptr || gLink.fLinkLost.exchange(0) == 0) {
        return 0;
    }
    if (gRunOverrides.noReconnect) {
        hwnd->MessageBox(gszConnectionLost, gszAppName,
                         platform::MB_OK | platform::MB_ICONEXCLAMATION);
        return 1;
    }
    // No box: the window stays free while it waits, and Disconnect ends the wait. A Telnet
    // server that comes back only to drop the link again is tried less and less often; a serial
    // device is looked for every kSerialRetryMs however often it went (a board replugged). A
    // port that comes back only to die again is not announced again.
    const bool relapse = tty->reopenedAt != Clock::time_point{} &&
                         Clock::now() - tty->reopenedAt < std::chrono::milliseconds(kSteadyMs);
    if (relapse && !IsTelnet(tty)) {
        tty->nRetryMs = kSerialRetryMs;
    } else if (relapse) {
        tty->nRetryMs = std::min(2 * tty->nRetryMs, kRetryLimitMs);
    } else {
        tty->nRetryMs = IsTelnet(tty) ? kTelnetRetryMs : kSerialRetryMs;
        const std::string where = platform::DescribeDevice(PortDeviceName(tty->bPortNum));
        const std::string what = where.empty() ? PortLabel(tty->bPortNum) : where;
        SayOnScreen(hwnd, tty, (IsTelnet(tty) ? "<Retrying " : "<Waiting for ") + what + ">");
    }
    tty->fReconnecting = true;
    if (!gLink.fInUpload) { // else the upload still looks at the port; the first retry drops it
        DropDeadPort(hwnd, tty);
    }
    hwnd->SetTimer(kReconnectTimer, tty->nRetryMs);
    return 1;
}

int RetryConnection(platform::Window* hwnd) {
    TTYInfo* tty = hwnd->GetRecord();
    if (tty == nullptr || !tty->fReconnecting) {
        hwnd->KillTimer(kReconnectTimer);
        return 0;
    }
    if (gLink.fInUpload || tty->fOpening) {
        return 0;
    }
    if (tty->hCommPort) {
        DropDeadPort(hwnd, tty);
    }
    const int opened = OpenWithCursor(hwnd, tty);
    if (opened == kConnecting) {
        return 0;
    }
    if (opened != 0) {
        return 1;
    }
    SlowDown(hwnd, tty);
    return 0;
}

} // namespace pelko
