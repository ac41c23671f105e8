// Pelko's entry: reads the device options, builds the main window (which builds the terminal,
// reads the settings and tries the port while it is created), shows it and runs the loop.
#include <QApplication>
#include <cstdio>

#include "app/wndproc.h"
#include "cli/headless.h"
#include "posix/devices.h"
#include "qt/qt_window.h"
#include "resources/globals.h"

int main(int argc, char** argv) {
    const std::string program = argc > 0 ? argv[0] : "pelko";
    const pelko::cli::Options options = pelko::cli::ParseCommandLine(argc, argv);
    switch (options.action) {
    case pelko::cli::Action::Help:
        std::fputs(pelko::cli::HelpText(program).c_str(), stdout);
        return 0;
    case pelko::cli::Action::Error:
        std::fprintf(stderr, "%s: %s (--help lists the options)\n", program.c_str(),
                     options.error.c_str());
        return pelko::cli::kExitUsage;
    case pelko::cli::Action::Upload:
        return pelko::cli::RunUpload(options);
    case pelko::cli::Action::DryRun:
        return pelko::cli::RunDryRun(options);
    case pelko::cli::Action::Window:
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
