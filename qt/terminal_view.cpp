#include "qt/terminal_view.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <utility>

#include "qt/keys.h"
#include "qt/qt_window.h"
#include "resources/messages.h"

namespace pelko::qt {

namespace {

// Scroll-bar actions as the scroll codes the procedure takes; -1 for the other actions.
int ScrollCode(int action) {
    static constexpr std::pair<int, std::uint16_t> kCodes[] = {
        {QAbstractSlider::SliderSingleStepSub, platform::SB_LINEUP},
        {QAbstractSlider::SliderSingleStepAdd, platform::SB_LINEDOWN},
        {QAbstractSlider::SliderPageStepSub, platform::SB_PAGEUP},
        {QAbstractSlider::SliderPageStepAdd, platform::SB_PAGEDOWN},
        {QAbstractSlider::SliderMove, platform::SB_THUMBTRACK},
        {QAbstractSlider::SliderToMinimum, platform::SB_TOP},
        {QAbstractSlider::SliderToMaximum, platform::SB_BOTTOM},
    };
    for (const auto& [from, code] : kCodes) {
        if (from == action) {
            return code;
        }
    }
    return -1;
}

} // namespace

TerminalView::TerminalView(QtWindow* owner) : QAbstractScrollArea(owner), owner_(owner) {
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFrameShape(QFrame::NoFrame);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent, false);
    viewport()->setAutoFillBackground(true);
    viewport()->setAttribute(Qt::WA_InputMethodEnabled, false);
    for (QScrollBar* bar : {horizontalScrollBar(), verticalScrollBar()}) {
        bar->setRange(0, 0);
        // A dragged thumb moves alone; the view follows when it is let go.
        bar->setTracking(false);
        bar->installEventFilter(this);
        const bool vertical = bar == verticalScrollBar();
        const unsigned msg = vertical ? WM_VSCROLL : WM_HSCROLL;
        connect(bar, &QAbstractSlider::actionTriggered, this,
                [this, vertical](int action) { OnBarAction(vertical, action); });
        connect(bar, &QAbstractSlider::sliderMoved, this, [this, msg](int pos) {
            Send(msg, MakeWParam(platform::SB_THUMBTRACK,
                                 static_cast<std::uint16_t>(std::clamp(pos, 0, 0xFFFF))));
        });
        connect(bar, &QAbstractSlider::sliderReleased, this, [this, msg, bar] {
            const auto pos =
                static_cast<std::uint16_t>(std::clamp(bar->sliderPosition(), 0, 0xFFFF));
            Send(msg, MakeWParam(platform::SB_THUMBPOSITION, pos));
        });
    }
}

void TerminalView::OnBarAction(bool vertical, int action) {
    QScrollBar* bar = vertical ? verticalScrollBar() : horizontalScrollBar();
    int code = ScrollCode(action);
    if (code == platform::SB_THUMBTRACK) {
        if (bar->isSliderDown()) {
            return; // told by sliderMoved
        }
        // Moved to a new position by other means than a drag: that position is where to go.
        code = platform::SB_THUMBPOSITION;
    }
    if (code < 0) {
        return;
    }
    const auto pos = static_cast<std::uint16_t>(std::clamp(bar->sliderPosition(), 0, 0xFFFF));
    Send(vertical ? WM_VSCROLL : WM_HSCROLL, MakeWParam(static_cast<std::uint16_t>(code), pos));
    // The procedure has set the position it wants; keep Qt from applying its own step.
    bar->setSliderPosition(bar->value());
}

void TerminalView::OnWheel(bool vertical, int delta, Qt::KeyboardModifiers modifiers) {
    // One notch is 120; finer wheels and touch pads send parts of it, which add up here.
    delta = std::clamp(delta, -1200, 1200);
    if (delta == 0) {
        return;
    }
    bool pages = (modifiers & (Qt::ControlModifier | Qt::ShiftModifier)) != 0;
    int& rest = wheelRest_[vertical ? 1 : 0];
    if (rest != 0 && (rest < 0) != (delta < 0)) {
        rest = 0; // turned back: the part notch in the old direction is dropped
    }
    rest += delta * (pages ? 1 : std::clamp(QApplication::wheelScrollLines(), 1, 100));
    int steps = rest / 120;
    rest -= steps * 120;
    const bool toStart = steps > 0; // turned away from the user: up, or left
    steps = std::abs(steps);
    const platform::Size cell = owner_ != nullptr ? owner_->CellSize() : platform::Size{};
    if (!pages && cell.cx > 0 && cell.cy > 0) {
        // Never more than a page at once.
        const std::int64_t unit = vertical ? cell.cy : cell.cx;
        if (steps * unit >= (vertical ? viewport()->height() : viewport()->width())) {
            pages = true;
            steps = 1;
        }
    }
    const std::uint16_t code = pages ? (toStart ? platform::SB_PAGEUP : platform::SB_PAGEDOWN)
                                     : (toStart ? platform::SB_LINEUP : platform::SB_LINEDOWN);
    for (int i = 0; i < steps; ++i) {
        Send(vertical ? WM_VSCROLL : WM_HSCROLL, MakeWParam(code, 0));
    }
}

void TerminalView::wheelEvent(QWheelEvent* e) {
    const QPoint d = e->angleDelta();
    if (e->modifiers() == Qt::ShiftModifier) {
        // Into the history and back, by the lines of a notch; some systems turn a shifted wheel
        // sideways.
        int& rest = wheelRest_[1];
        const int delta = std::clamp(d.y() != 0 ? d.y() : d.x(), -1200, 1200);
        if (rest != 0 && (rest < 0) != (delta < 0)) {
            rest = 0;
        }
        rest += delta * std::clamp(QApplication::wheelScrollLines(), 1, 100);
        const int steps = rest / 120;
        rest -= steps * 120;
        for (int i = 0; i < std::abs(steps); ++i) {
            Send(WM_HISTORY, steps > 0 ? platform::SB_LINEUP : platform::SB_LINEDOWN);
        }
        e->accept();
        return;
    }
    const bool vertical = std::abs(d.y()) >= std::abs(d.x());
    OnWheel(vertical, vertical ? d.y() : d.x(), e->modifiers());
    e->accept();
}

bool TerminalView::eventFilter(QObject* watched, QEvent* e) {
    // The wheel over a bar scrolls along that bar, through the same codes as over the text.
    const bool vbar = watched == verticalScrollBar();
    if (e->type() == QEvent::Wheel && (vbar || watched == horizontalScrollBar())) {
        auto* we = static_cast<QWheelEvent*>(e);
        const QPoint d = we->angleDelta();
        OnWheel(vbar, std::abs(d.y()) >= std::abs(d.x()) ? d.y() : d.x(), we->modifiers());
        we->accept();
        return true;
    }
    return QAbstractScrollArea::eventFilter(watched, e);
}

bool TerminalView::event(QEvent* e) {
    // Tab is typed at the target, not used to move the focus.
    if (e->type() == QEvent::KeyPress) {
        auto* ke = static_cast<QKeyEvent*>(e);
        if (ke->key() == Qt::Key_Tab || ke->key() == Qt::Key_Backtab) {
            keyPressEvent(ke);
            return true;
        }
    }
    return QAbstractScrollArea::event(e);
}

void TerminalView::paintEvent(QPaintEvent* e) {
    if (owner_ != nullptr) {
        owner_->PaintView(e);
    }
}

void TerminalView::Send(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam) {
    if (owner_ != nullptr) {
        owner_->Send(msg, wParam, lParam);
    }
}

bool TerminalView::viewportEvent(QEvent* e) {
    // The client area is the viewport: it also changes size when a scroll bar comes or goes.
    if (e->type() == QEvent::Resize) {
        const QSize s = viewport()->size();
        Send(WM_SIZE, 0,
             MakeLParam(static_cast<std::uint16_t>(std::clamp(s.width(), 0, 0xFFFF)),
                        static_cast<std::uint16_t>(std::clamp(s.height(), 0, 0xFFFF))));
    }
    return QAbstractScrollArea::viewportEvent(e);
}

void TerminalView::focusInEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusInEvent(e);
    Send(WM_SETFOCUS);
}

void TerminalView::focusOutEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusOutEvent(e);
    Send(WM_KILLFOCUS);
}

void TerminalView::SendMouse(unsigned msg, const QMouseEvent* e, std::uintptr_t wParam) {
    const QPoint p = e->position().toPoint();
    Send(msg, wParam,
         MakeLParam(static_cast<std::uint16_t>(std::clamp(p.x(), 0, 0xFFFF)),
                    static_cast<std::uint16_t>(std::clamp(p.y(), 0, 0xFFFF))));
}

void TerminalView::OnPress(QMouseEvent* e) {
    if (e->button() == Qt::MiddleButton) {
        Send(WM_PASTE, 1);
        e->accept();
        return;
    }
    if (e->button() != Qt::LeftButton) {
        return;
    }
    const auto now = static_cast<std::uint64_t>(e->timestamp());
    const QPoint at = e->position().toPoint();
    const bool inRow =
        clicks_ > 0 &&
        now - lastPressMs_ < static_cast<std::uint64_t>(QApplication::doubleClickInterval()) &&
        (at - lastPressAt_).manhattanLength() < QApplication::startDragDistance();
    clicks_ = inRow ? clicks_ % 3 + 1 : 1;
    lastPressMs_ = now;
    lastPressAt_ = at;
    SendMouse(WM_LBUTTONDOWN, e, static_cast<std::uintptr_t>(clicks_));
    e->accept();
}

void TerminalView::mousePressEvent(QMouseEvent* e) {
    OnPress(e);
}

void TerminalView::mouseDoubleClickEvent(QMouseEvent* e) {
    OnPress(e);
}

void TerminalView::mouseMoveEvent(QMouseEvent* e) {
    if ((e->buttons() & Qt::LeftButton) != 0) {
        SendMouse(WM_MOUSEMOVE, e);
    }
    e->accept();
}

void TerminalView::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) {
        SendMouse(WM_LBUTTONUP, e);
    }
    e->accept();
}

void TerminalView::keyPressEvent(QKeyEvent* e) {
    const Qt::KeyboardModifiers mods =
        e->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    if (mods == Qt::ShiftModifier && (e->key() == Qt::Key_PageUp || e->key() == Qt::Key_PageDown)) {
        Send(WM_HISTORY, e->key() == Qt::Key_PageUp ? platform::SB_PAGEUP : platform::SB_PAGEDOWN);
        e->accept();
        return;
    }
    // Ctrl+Shift+C and V copy and paste; Ctrl+C alone still types 0x03.
    if (mods == (Qt::ShiftModifier | Qt::ControlModifier) &&
        (e->key() == Qt::Key_C || e->key() == Qt::Key_V)) {
        Send(e->key() == Qt::Key_C ? WM_COPY : WM_PASTE, 0);
        e->accept();
        return;
    }
    const std::string bytes = TranslateKey(e->key(), e->modifiers(), e->text());
    if (bytes.empty()) {
        QAbstractScrollArea::keyPressEvent(e);
        return;
    }
    for (const char b : bytes) {
        Send(WM_CHAR, static_cast<std::uint8_t>(b));
    }
    e->accept();
}

} // namespace pelko::qt
