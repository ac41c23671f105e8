#pragma once
// A real Qt main window for tests, built without the settings file or a port: its creation
// attaches a plain terminal record and measures the real font. Typed characters and commands
// can be watched.
#include <QApplication>
#include <memory>
#include <vector>

#include "qt/qt_window.h"
#include "terminal/tty_info.h"

namespace pelko::test {

class GuiWindow {
public:
    GuiWindow();
    ~GuiWindow();
    qt::QtWindow& win() { return *win_; }
    TTYInfo& tty() { return *tty_; }
    // Shows the window and waits until it is exposed and active.
    void ShowAndActivate();
    // The bytes that reached the window procedure as typed characters.
    std::vector<std::uint8_t> typed;

private:
    static std::intptr_t Proc(platform::Window* hwnd, unsigned msg, std::uintptr_t wParam,
                              std::intptr_t lParam);
    std::unique_ptr<TTYInfo> tty_;
    std::unique_ptr<qt::QtWindow> win_;
};

} // namespace pelko::test
