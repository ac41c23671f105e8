// Pelko's entry: builds the main window (which builds the terminal, reads the settings and tries
// the port while it is created), shows it and runs the message loop.
#include <QApplication>

#include "app/globals.h"
#include "app/wndproc.h"
#include "platform/qt/qt_window.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    pelko::qt::QtWindow window(pelko::TTYWndProc);
    if (!window.Create()) {
        return 0;
    }
    pelko::hTTYWnd.store(&window);
    window.show();
    window.view()->setFocus();
    const int code = QApplication::exec();
    pelko::hTTYWnd.store(nullptr);
    return code;
}
