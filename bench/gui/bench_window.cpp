#include "bench/gui/bench_window.h"

#include <QApplication>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "app/wndproc.h"
#include "platform/system.h"
#include "resources/globals.h"
#include "resources/messages.h"
#include "serial/connection.h"

namespace pelko::bench {

namespace {

TTYInfo* gRecord = nullptr;
long gPaints = 0; // paints of the terminal view, by every window made here

// The window procedure, with a creation that attaches the plain record.
std::intptr_t Proc(platform::Window* hwnd, unsigned msg, std::uintptr_t wParam,
                   std::intptr_t lParam) {
    if (msg == WM_CREATE) {
        hwnd->SetRecord(gRecord);
        ResetTTYScreen(hwnd, gRecord);
        return 1;
    }
    if (msg == WM_DESTROY) {
        hwnd->SetRecord(nullptr);
        return 0;
    }
    if (msg == WM_PAINT) {
        ++gPaints;
    }
    return TTYWndProc(hwnd, msg, wParam, lParam);
}

} // namespace

PlainWindow::PlainWindow(const std::function<void(TTYInfo&)>& setUp) {
    InitTTYInfo(&tty_);
    tty_.fConnected = 0;
    if (setUp) {
        setUp(tty_);
    }
    gRecord = &tty_;
    win_ = std::make_unique<qt::QtWindow>(&Proc);
    win_->Create();
    win_->show();
    QApplication::processEvents();
}

PlainWindow::~PlainWindow() {
    win_.reset();
    FreeTTYResources(&tty_);
}

long PlainWindow::Paints() {
    return gPaints;
}

ConnectedWindow::ConnectedWindow(const std::string& device,
                                 const std::function<void(TTYInfo&)>& setUp)
    : PlainWindow(setUp) {
    char dir[] = "/tmp/pelko-bench-locks.XXXXXX";
    if (::mkdtemp(dir) == nullptr) {
        return;
    }
    lockDir_ = dir;
    posix::DeviceMap map;
    if (device.rfind("telnet:", 0) == 0) { // the Telnet port to 127.0.0.1:PORT
        map.telnetPort = static_cast<std::uint16_t>(std::stoi(device.substr(7)));
        tty_.bPortNum = 5;
    } else {
        map.com[1] = device;
    }
    map.lockDir = lockDir_;
    factory_ = posix::MakePortFactory(map);
    platform::SetPortFactory(factory_.get());
    hTTYWnd = win_.get();
    int opened = OpenConnection(win_.get());
    std::string why;
    while (opened == kConnecting) {
        opened = FinishConnection(win_.get(), 100, why);
    }
    ok_ = opened != 0;
}

ConnectedWindow::~ConnectedWindow() {
    CloseConnection(win_.get());
    hTTYWnd = nullptr;
    win_.reset();
    platform::SetPortFactory(nullptr);
    if (!lockDir_.empty()) {
        ::rmdir(lockDir_.c_str());
    }
}

} // namespace pelko::bench
