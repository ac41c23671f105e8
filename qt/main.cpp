// Pelko's entry: reads the device options, builds the main window (which builds the terminal,
// reads the settings and tries the port while it is created), shows it and runs the loop.
// SIGTERM, SIGINT and SIGHUP close the window, and with it the port and its lock file, before
// Pelko ends by that signal. A main window destroyed by the window system ends Pelko the same
// way, with status 0. PELKO_LOCK_DIR, when set, moves the UUCP lock files out of
// /var/lock (the tests use it).
#include <QApplication>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/wndproc.h"
#include "cli/headless.h"
#include "log/session_log.h"
#include "posix/devices.h"
#include "posix/std_streams.h"
#include "qt/qt_window.h"
#include "qt/quit_signals.h"
#include "qt/status_bar.h"
#include "resources/globals.h"

namespace {

int Run(int& argc, char** argv) {
    QApplication app(argc, argv);
    pelko::qt::WatchQuitSignals();
    pelko::qt::QtWindow window(pelko::TTYWndProc);
    if (!window.Create()) {
        return 0;
    }
    pelko::hTTYWnd.store(&window);
    pelko::qt::AttachStatusBar(window);
    window.show();
    pelko::qt::WatchWindowGone(&window);
    window.view()->setFocus();
    // A signal that came while the window was made (its boxes run event loops of their own)
    // has already asked for the end, which exec() would forget.
    const int code = pelko::qt::QuitSignal() == 0 ? QApplication::exec() : 0;
    // Ended by a signal, the window still stands: take it down as closing it would.
    window.DestroyWindow();
    pelko::qt::PortsReleased();
    pelko::hTTYWnd.store(nullptr);
    return code;
}

} // namespace

int main(int argc, char** argv) {
    // Before anything opens a file: a closed standard stream must not lend its number to a port.
    if (!pelko::posix::OpenClosedStdStreams()) {
        return 72; // no /dev/null: the system is not fit to run on (EX_OSFILE)
    }
    // A log or a pipe whose reader went away is a failed write to report, never the end of Pelko.
    std::signal(SIGPIPE, SIG_IGN);
    const std::string program = argc > 0 ? argv[0] : "pelko";
    pelko::cli::Options options = pelko::cli::ParseCommandLine(argc, argv);
    pelko::cli::ApplyRunOverrides(options);
    if (const char* dir = std::getenv("PELKO_LOCK_DIR"); dir != nullptr && *dir != 0) {
        options.map.lockDir = dir;
    }
    if (options.action != pelko::cli::Action::Error && options.action != pelko::cli::Action::Help &&
        options.action != pelko::cli::Action::Version) {
        std::vector<std::string> warnings;
        pelko::cli::ResolveDevices(options, warnings);
        for (const std::string& w : warnings) {
            std::fprintf(stderr, "%s: %s\n", program.c_str(), pelko::cli::Printable(w).c_str());
        }
    }
    if (options.action == pelko::cli::Action::Window ||
        options.action == pelko::cli::Action::Upload) {
        pelko::cli::StartLog(options, program);
    }
    // The log is closed last, once no receive thread runs.
    struct LogCloser {
        ~LogCloser() { pelko::CloseSessionLog(); }
    } logCloser;
    switch (options.action) {
    case pelko::cli::Action::List: {
        std::vector<std::string> warnings;
        std::fputs(pelko::cli::ListText(options, warnings).c_str(), stdout);
        std::fflush(stdout);
        for (const std::string& w : warnings) {
            std::fprintf(stderr, "%s: %s\n", program.c_str(), pelko::cli::Printable(w).c_str());
        }
        return 0;
    }
    case pelko::cli::Action::Help:
        std::fputs(pelko::cli::HelpText(program).c_str(), stdout);
        return 0;
    case pelko::cli::Action::Version:
        std::fputs(pelko::cli::VersionText().c_str(), stdout);
        return 0;
    case pelko::cli::Action::Error:
        std::fprintf(stderr, "%s: %s (--help lists the options)\n", program.c_str(),
                     options.error.c_str());
        return pelko::cli::kExitUsage;
    case pelko::cli::Action::Upload: {
        const int status = pelko::cli::RunUpload(options);
        if (const int sig = pelko::cli::InterruptSignal(); sig != 0) {
            // Port closed and lock gone: end by the signal itself, as shells and make expect.
            pelko::CloseSessionLog();
            std::fflush(nullptr);
            std::signal(sig, SIG_DFL);
            std::raise(sig);
        }
        return status;
    }
    case pelko::cli::Action::DryRun:
        return pelko::cli::RunDryRun(options);
    case pelko::cli::Action::Deps:
        return pelko::cli::RunDeps(options);
    case pelko::cli::Action::Window:
        break;
    }
    // Without a display Qt would end with a plugin error; say what to do instead.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr && std::getenv("DISPLAY") == nullptr &&
        std::getenv("WAYLAND_DISPLAY") == nullptr) {
        std::fprintf(stderr,
                     "%s: no display for the window; without one, upload with %s --upload FILE "
                     "(--help lists the options)\n",
                     program.c_str(), program.c_str());
        return 1;
    }
    pelko::posix::InstallPortFactory(options.map);

    // The window system gets no arguments: every one was Pelko's.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    const int code = Run(qtArgc, qtArgv);
    if (const int sig = pelko::qt::QuitSignal(); sig != 0) {
        pelko::CloseSessionLog();
        std::signal(sig, SIG_DFL);
        std::raise(sig);
    }
    return code;
}
