#include "tests/gui/gui_support.h"

#include <QTest>
#include <cstring>

#include "app/wndproc.h"
#include "resources/messages.h"

namespace pelko::test {

namespace {
GuiWindow* gCurrent = nullptr;
} // namespace

std::intptr_t GuiWindow::Proc(platform::Window* hwnd, unsigned msg, std::uintptr_t wParam,
                              std::intptr_t lParam) {
    switch (msg) {
    case WM_CREATE:
        hwnd->SetRecord(gCurrent->tty_.get());
        ResetTTYScreen(hwnd, gCurrent->tty_.get());
        return 1;
    case WM_DESTROY:
        hwnd->SetRecord(nullptr);
        return 0;
    case WM_CHAR:
        gCurrent->typed.push_back(static_cast<std::uint8_t>(wParam));
        break;
    case WM_COMMAND:
        if (gCurrent->commandHook && gCurrent->commandHook(static_cast<unsigned>(wParam))) {
            return 0;
        }
        break;
    case WM_PAINT:
        ++gCurrent->paints;
        break;
    default:
        break;
    }
    return TTYWndProc(hwnd, msg, wParam, lParam);
}

GuiWindow::GuiWindow() : tty_(std::make_unique<TTYInfo>()) {
    SetTTYDefaults(tty_.get());
    std::memset(tty_->achScreen, ' ', sizeof tty_->achScreen);
    tty_->fConnected = 0;
    gCurrent = this;
    win_ = std::make_unique<qt::QtWindow>(&GuiWindow::Proc);
    win_->Create();
}

GuiWindow::~GuiWindow() {
    win_.reset();
    gCurrent = nullptr;
}

void GuiWindow::ShowAndActivate() {
    win_->show();
    win_->activateWindow();
    QApplication::setActiveWindow(win_.get());
    win_->view()->setFocus();
    (void)QTest::qWaitForWindowExposed(win_.get());
    (void)QTest::qWaitForWindowActive(win_.get());
    QApplication::processEvents();
}

} // namespace pelko::test
