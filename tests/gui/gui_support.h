#pragma once
// A real Qt main window for tests, built without the settings file or a port: its creation
// attaches a plain terminal record and measures the real font. Typed characters, commands and
// paints can be watched, all on the window procedure's way in.
#include <QApplication>
#include <functional>
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
    // Sees each command before the procedure does; returning true keeps it from the procedure.
    std::function<bool(unsigned)> commandHook;
    // How many times the window has painted the terminal view.
    long paints = 0;

private:
    static std::intptr_t Proc(platform::Window* hwnd, unsigned msg, std::uintptr_t wParam,
                              std::intptr_t lParam);
    std::unique_ptr<TTYInfo> tty_;
    std::unique_ptr<qt::QtWindow> win_;
};

} // namespace pelko::test
