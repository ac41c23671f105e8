#pragma once
// The client area: where the screen is painted, keys are typed and the caret stands. Its two
// bars report their arrows, track, keys and the mouse wheel as the procedure's scroll codes; a
// bar's value only ever shows the view's offset, since the procedure sets it. Shift+PgUp/PgDn
// and Shift+wheel move the view into the history; the left button selects (a second and third
// click in a row: a word, a row), Ctrl+Shift+C copies, Ctrl+Shift+V and the middle button
// paste. Every event becomes a message to the owner's window procedure; nothing here can fail.
//   TerminalView(owner)  the view inside `owner`, with both bars empty
//   Detach()             stops passing events on; the owner is going away
#include <QAbstractScrollArea>
#include <QPoint>
#include <cstdint>

class QPaintEvent;
class QWheelEvent;
class QMouseEvent;

namespace pelko::qt {

class QtWindow;

class TerminalView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TerminalView(QtWindow* owner);
    void Detach() { owner_ = nullptr; }

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    bool viewportEvent(QEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void scrollContentsBy(int, int) override {}

private:
    void OnBarAction(bool vertical, int action);
    void OnWheel(bool vertical, int delta, Qt::KeyboardModifiers modifiers);
    void Send(unsigned msg, std::uintptr_t wParam = 0, std::intptr_t lParam = 0);
    void SendMouse(unsigned msg, const QMouseEvent* e, std::uintptr_t wParam = 0);
    void OnPress(QMouseEvent* e);
    QtWindow* owner_;
    // Wheel turning not yet scrolled, per axis (horizontal, vertical), in 1/120 lines or pages.
    int wheelRest_[2] = {0, 0};
    // Presses of the left button in a row: how many, when and where the last one was.
    int clicks_ = 0;
    std::uint64_t lastPressMs_ = 0;
    QPoint lastPressAt_;
};

} // namespace pelko::qt
