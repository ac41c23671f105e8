#include "qt/quit_signals.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QLoggingCategory>
#include <QPointer>
#include <QSocketNotifier>
#include <QWidget>
#include <QWindow>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <semaphore.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <xcb/xcb.h>

#include "app/wndproc.h"
#include "platform/port.h"
#include "resources/globals.h"

namespace pelko::qt {

namespace {

// The handler only writes the signal's number into this pipe; the event loop reads it. It also
// wakes the watchdog, which ends Pelko itself when the window thread is too busy to.
int gPipe[2] = {-1, -1};
std::atomic<int> gQuitSignal{0};
std::atomic<bool> gEnding{false};
std::atomic<int> gCaught{0};
std::atomic<bool> gPortsReleased{false};
sem_t gWatchdogWake;
static_assert(std::atomic<int>::is_always_lock_free);
static_assert(std::atomic<bool>::is_always_lock_free);

void OnSignal(int sig) {
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(sig);
    [[maybe_unused]] const ssize_t n = ::write(gPipe[1], &number, 1);
    int none = 0;
    if (gCaught.compare_exchange_strong(none, sig)) {
        ::sem_post(&gWatchdogWake);
    }
    errno = saved;
}

// Gives the window thread kQuitGraceMs to close the port after the first signal; past that it
// takes the serial ports out of exclusive mode, removes their lock files and ends Pelko by the
// signal.
void Watchdog() {
    while (::sem_wait(&gWatchdogWake) != 0) {
    }
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kQuitGraceMs);
    while (!gPortsReleased.load() && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (gPortsReleased.load()) {
        return;
    }
    platform::ReleaseOpenPorts();
    const int sig = gCaught.load();
    std::signal(sig, SIG_DFL);
    ::kill(::getpid(), sig);
}

void ReleasePortsAtExit() {
    platform::ReleaseOpenPorts();
}

// On the window thread: ends an upload's wait for its echo, and every event loop.
void EndEventLoops(int code) {
    EndUploadForQuit();
    QCoreApplication::exit(code);
}

void Quit(int sig) {
    if (gEnding.exchange(true)) {
        return; // already on the way out
    }
    gQuitSignal.store(sig);
    EndEventLoops(128 + sig);
}

// Hears the X server say that the main window's native window was destroyed. Qt itself carries
// on with a widget that has no window left, so Pelko has to end on its own.
class WindowGoneFilter : public QAbstractNativeEventFilter {
public:
    QPointer<QWidget> window;

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr* /*result*/) override {
        if (type != "xcb_generic_event_t" || window.isNull()) {
            return false;
        }
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7F) != XCB_DESTROY_NOTIFY) {
            return false;
        }
        // A native window Qt has destroyed itself is no longer the widget's handle.
        const QWindow* handle = window->windowHandle();
        const auto* destroyed = reinterpret_cast<const xcb_destroy_notify_event_t*>(event);
        if (handle == nullptr || handle->handle() == nullptr ||
            handle->winId() != static_cast<WId>(destroyed->window)) {
            return false;
        }
        if (!gEnding.exchange(true)) {
            // Taking the widget down still asks the server about the window that is gone.
            QLoggingCategory::setFilterRules(QStringLiteral("qt.qpa.xcb.warning=false"));
            EndEventLoops(0);
        }
        return false;
    }
};

WindowGoneFilter gWindowGoneFilter;

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
    if (::sem_init(&gWatchdogWake, 0, 0) != 0) {
        return false;
    }
    try {
        std::thread(Watchdog).detach();
    } catch (const std::system_error&) {
        return false;
    }
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

void PortsReleased() {
    gPortsReleased.store(true);
}

void WatchWindowGone(QWidget* window) {
    gWindowGoneFilter.window = window;
    QCoreApplication::instance()->installNativeEventFilter(&gWindowGoneFilter);
}

} // namespace pelko::qt
