// The upload's wait for the target's echo. It runs on the GUI thread inside the upload command:
// it sleeps on the handshake word, and between sleeps runs the window's events, keeping it
// painted (progress, the caret, the receive thread's repaints) and dropping every other input
// but Esc, which cancels the wait. Closing the window cancels it as Esc does; the window then
// asks whether to exit once the upload has ended.
#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QWindow>
#include <optional>
#include <utility>

#include "qt/qt_window.h"

namespace pelko::qt {

namespace {

// The window gets a look at its events this often while an upload runs, also when the target
// answers at once and the wait is never needed: it paints and hears Esc during a fast upload.
constexpr std::chrono::milliseconds kEventsEvery{20};

class EchoWaitFilter : public QObject {
public:
    explicit EchoWaitFilter(QWidget* window) : window_(window) {}
    bool cancelled = false;
    bool closeAsked = false; // the window's close button (or close()) was used

protected:
    bool eventFilter(QObject* obj, QEvent* e) override {
        switch (e->type()) {
        case QEvent::Close:
            // The window system closes the native window, close() the widget itself.
            if (obj == window_ || obj == window_->windowHandle()) {
                cancelled = true;
                closeAsked = true;
            }
            return true;
        case QEvent::KeyPress:
            if (static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape) {
                cancelled = true;
            }
            return true;
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::InputMethod:
        case QEvent::TouchBegin:
        case QEvent::TabletPress:
            return true;
        default:
            return QObject::eventFilter(obj, e);
        }
    }

private:
    QWidget* window_;
};

} // namespace

bool QtWindow::WaitForEcho(const std::atomic<std::uint8_t>& sync) {
    using Clock = platform::EchoWaiter::Clock;
    if (sync.load() != 0 && Clock::now() - echoEventsAt_ < kEventsEvery) {
        return true;
    }
    EchoWaitFilter filter(this);
    QCoreApplication::instance()->installEventFilter(&filter);
    echoWaiting_ = true;
    echoCancelled_ = false;
    // The thread sleeps on the handshake word, which the receive thread's wake-up ends at once;
    // between sleeps the window gets its events (paints, the caret, keys) at least this often.
    echo_.Wait(sync, [&]() -> std::optional<Clock::time_point> {
        if (Clock::now() - echoEventsAt_ >= kEventsEvery) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            echoEventsAt_ = Clock::now();
        }
        if (filter.cancelled || echoCancelled_ || destroyed_) {
            return std::nullopt;
        }
        return echoEventsAt_ + kEventsEvery;
    });
    echoWaiting_ = false;
    QCoreApplication::instance()->removeEventFilter(&filter);
    RunDeferred();
    if (filter.closeAsked) {
        PostClose(); // heard after the upload has reported its end
    }
    // Esc or a close counts even when the answer came with it: the user asked for the upload to
    // end.
    return sync.load() != 0 && !filter.cancelled && !std::exchange(echoCancelled_, false);
}

void QtWindow::WakeEchoWait() {
    echo_.Wake();
}

void QtWindow::CancelEchoWait() {
    if (echoWaiting_) {
        echoCancelled_ = true;
        echo_.Wake();
    } else if (procBox_ != nullptr) {
        procBox_->done(QMessageBox::Ok); // the pause box: the upload then sees its cancel
    }
}

bool QtWindow::ModalOpen() const {
    return QApplication::activeModalWidget() != nullptr;
}

} // namespace pelko::qt
