// Pelko's entry: reads the device options, builds the main window (which builds the terminal,
// reads the settings and tries the port while it is created), shows it and runs the loop.
#include <QApplication>
#include <cstdio>

#include "app/wndproc.h"
#include "posix/devices.h"
#include "qt/qt_window.h"
#include "resources/globals.h"

int main(int argc, char** argv) {
    const std::string program = argc > 0 ? argv[0] : "pelko";
    const pelko::posix::DeviceOptions options = pelko::posix::ParseDeviceOptions(argc, argv);
    switch (options.action) {
    case pelko::posix::OptionsAction::Help:
        std::fputs(pelko::posix::DeviceOptionsHelp(program).c_str(), stdout);
        return 0;
    case pelko::posix::OptionsAction::Error:
        std::fprintf(stderr, "%s: %s\n%s", program.c_str(), options.error.c_str(),
                     pelko::posix::DeviceOptionsHelp(program).c_str());
        return 2;
    case pelko::posix::OptionsAction::Run:
        break;
    }
    pelko::posix::InstallPortFactory(options.map);

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
