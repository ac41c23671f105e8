// The window procedure's timers: one QTimer per id, each tick delivered as WM_TIMER.
#include <QTimer>

#include "qt/qt_window.h"
#include "resources/messages.h"

namespace pelko::qt {

void QtWindow::SetTimer(unsigned id, int ms) {
    QTimer*& timer = timers_[id];
    if (timer == nullptr) {
        timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this, id] {
            if (!destroyed_) {
                Send(WM_TIMER, id);
            }
        });
    }
    timer->start(ms);
}

void QtWindow::KillTimer(unsigned id) {
    if (const auto it = timers_.find(id); it != timers_.end()) {
        it->second->stop();
    }
}

} // namespace pelko::qt
