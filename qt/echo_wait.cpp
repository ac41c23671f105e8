// The upload's wait for the target's echo. It runs on the GUI thread inside the upload command:
// a nested event loop that keeps painting (progress, the caret, the receive thread's repaints)
// and drops every other input, but for Esc, which cancels the wait.
#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>

#include "qt/qt_window.h"

namespace pelko::qt {

namespace {

// Posted by the receive thread once the handshake word has changed.
const QEvent::Type kEchoWakeEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

// While a target answers at once the wait is never needed; the window still gets a look at its
// events this often, so that it paints and hears Esc during a fast upload too.
constexpr std::chrono::milliseconds kEventsEvery{20};

class EchoWaitFilter : public QObject {
public:
    bool cancelled = false;

protected:
    bool eventFilter(QObject* obj, QEvent* e) override {
        switch (e->type()) {
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
        case QEvent::Close:
        case QEvent::TouchBegin:
        case QEvent::TabletPress:
            return true;
        default:
            return QObject::eventFilter(obj, e);
        }
    }
};

} // namespace

bool QtWindow::WaitForEcho(const std::atomic<std::uint8_t>& sync) {
    const auto now = std::chrono::steady_clock::now();
    if (sync.load() != 0 && now - echoEventsAt_ < kEventsEvery) {
        return true;
    }
    EchoWaitFilter filter;
    QCoreApplication::instance()->installEventFilter(&filter);
    echoWaiting_ = true;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    // Sleeps until an event comes: the receive thread's wake-up, a paint, a key, the caret.
    while (sync.load() == 0 && !filter.cancelled && !destroyed_) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    echoWaiting_ = false;
    QCoreApplication::instance()->removeEventFilter(&filter);
    echoEventsAt_ = std::chrono::steady_clock::now();
    RunDeferred();
    return sync.load() != 0;
}

void QtWindow::WakeEchoWait() {
    QCoreApplication::postEvent(this, new QEvent(kEchoWakeEvent));
}

void QtWindow::RunDeferred() {
    std::vector<std::function<void()>> boxes;
    boxes.swap(deferredBoxes_);
    for (auto& show : boxes) {
        QMetaObject::invokeMethod(this, show, Qt::QueuedConnection);
    }
    if (deferredLost_) {
        deferredLost_ = false;
        PostConnectionLost();
    }
}

} // namespace pelko::qt
