#include "qt/quit_signals.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

#include "posix/serial_port.h"
#include "resources/globals.h"
#include "upload/upload.h"

namespace pelko::qt {

namespace {

// The handler only writes the signal's number into this pipe; the event loop reads it.
int gPipe[2] = {-1, -1};
std::atomic<int> gQuitSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

void OnSignal(int sig) {
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(sig);
    [[maybe_unused]] const ssize_t n = ::write(gPipe[1], &number, 1);
    errno = saved;
}

void ReleasePortsAtExit() {
    posix::ReleaseOpenSerialPorts();
}

// On the window thread: ends an upload's wait for its echo, and every event loop.
void Quit(int sig) {
    int none = 0;
    if (!gQuitSignal.compare_exchange_strong(none, sig)) {
        return; // already on the way out
    }
    platform::Window* hwnd = hTTYWnd.load();
    if (EndUploadLinkLost() && hwnd != nullptr) {
        hwnd->WakeEchoWait();
    }
    QCoreApplication::exit(128 + sig);
}

} // namespace

bool WatchQuitSignals() {
    std::atexit(ReleasePortsAtExit);
    if (gPipe[0] >= 0 || ::pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return false;
    }
    auto* notifier =
        new QSocketNotifier(gPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [] {
        unsigned char number = 0;
        while (::read(gPipe[0], &number, 1) == 1) {
            Quit(number);
        }
    });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // The first signal asks for an orderly end; should that hang, the next one ends Pelko.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
        struct sigaction old {};
        if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler != SIG_IGN) {
            ::sigaction(sig, &action, nullptr);
        }
    }
    return true;
}

int QuitSignal() {
    return gQuitSignal.load();
}

} // namespace pelko::qt
