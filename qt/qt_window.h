#pragma once
// The main window on Qt 6: a menu bar, the function keys, and the terminal view with its two
// scroll bars. Qt events become the window procedure's messages; the procedure's requests come
// back through platform::Window. Widgets are touched on the GUI thread only: requests from any
// other thread (invalidations, caret moves, repaint requests) are collected and applied there.
//   QtWindow(proc)    builds the window, not yet shown, with no record
//   Create()          delivers the creation message; false when the procedure refused (-1)
//   SendCommand(id)   delivers a menu or key command as the procedure's command message
// Every platform::Window operation behaves as that interface describes.
#include <QAbstractScrollArea>
#include <QMainWindow>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/window.h"
#include "qt/glyphs.h"

class QAction;
class QPaintEvent;
class QPainter;
class QWheelEvent;

namespace pelko::qt {

using WndProc = std::intptr_t (*)(platform::Window*, unsigned, std::uintptr_t, std::intptr_t);

class QtWindow;

// The client area: where the screen is painted, keys are typed and the caret stands. Its two
// bars report their arrows, track, keys and the mouse wheel as the procedure's scroll codes; a
// bar's value only ever shows the view's offset, since the procedure sets it.
class TerminalView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TerminalView(QtWindow* owner);
    // Stops passing events on; the owner is going away.
    void Detach() { owner_ = nullptr; }

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    bool viewportEvent(QEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void scrollContentsBy(int, int) override {}

private:
    void OnBarAction(bool vertical, int action);
    void OnWheel(bool vertical, int delta, Qt::KeyboardModifiers modifiers);
    void Send(unsigned msg, std::uintptr_t wParam = 0, std::intptr_t lParam = 0);
    QtWindow* owner_;
    // Wheel turning not yet scrolled, per axis (horizontal, vertical), in 1/120 lines or pages.
    int wheelRest_[2] = {0, 0};
};

class QtWindow : public QMainWindow, public platform::Window {
    Q_OBJECT
public:
    explicit QtWindow(WndProc proc);
    ~QtWindow() override;

    bool Create();
    void SendCommand(unsigned id);
    std::intptr_t Send(unsigned msg, std::uintptr_t wParam = 0, std::intptr_t lParam = 0);
    TerminalView* view() const { return view_; }
    QAction* MenuAction(unsigned id) const;
    QRect CaretRect() const;
    bool CaretVisible() const { return caretExists_ && caretShown_; }

    // Tests watch commands here; returning true keeps a command from the procedure.
    std::function<bool(unsigned)> commandHook;
    // Counts paints of the terminal view (for benchmarks).
    std::atomic<long> paintCount{0};

    // platform::Window
    void InvalidateRect(const platform::Rect* rect, bool erase) override;
    void UpdateWindow() override;
    void RequestRepaint() override;
    void CreateCaret(std::int32_t width, std::int32_t height) override;
    void ShowCaret() override;
    void HideCaret() override;
    void DestroyCaret() override;
    void SetCaretPos(std::int32_t x, std::int32_t y) override;
    void SetScrollRange(platform::ScrollBar bar, std::int32_t min, std::int32_t max,
                        bool redraw) override;
    void SetScrollPos(platform::ScrollBar bar, std::int32_t pos, bool redraw) override;
    void ScrollWindow(std::int32_t dx, std::int32_t dy) override;
    platform::Size GetClientSize() const override;
    std::unique_ptr<platform::Font> CreateFontIndirect(const platform::LogFont& lf) override;
    platform::TextMetrics GetTextMetrics(const platform::Font& font) override;
    std::unique_ptr<platform::PaintDC> BeginPaint() override;
    void EnableMenuItem(unsigned id, unsigned flags) override;
    platform::CursorShape SetCursor(platform::CursorShape shape) override;
    int MessageBox(const std::string& text, const std::string& caption, unsigned style) override;
    void PostClose() override;
    void DestroyWindow() override;
    void PostQuitMessage(int code) override;
    int DialogBoxParam(int templateId, platform::DlgProc proc, std::intptr_t param) override;
    bool ChooseFont(platform::LogFont& lf, std::uint32_t& color) override;
    bool GetOpenFileName(std::string& path, std::string& title,
                         std::span<const platform::FileFilter> filters,
                         const std::string& defaultExt) override;
    bool WaitForEcho(const std::atomic<std::uint8_t>& sync) override;
    void WakeEchoWait() override;
    void PostMessageBox(const std::string& text, const std::string& caption,
                        unsigned style) override;
    void PostConnectionLost() override;

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    friend class TerminalView;
    void BuildMenu();
    void BuildKeys();
    bool OnGuiThread() const;
    void PostFlush();
    void Flush();
    void ApplyPending();
    void MoveCaretTo(QPoint pos);
    void PaintView(QPaintEvent* e);

    WndProc proc_;
    const void* guiThread_ = ThreadTag(); // the window is made on it
    static const void* ThreadTag();
    TerminalView* view_;
    std::map<unsigned, QAction*> actions_;
    bool destroyed_ = false;
    platform::CursorShape cursor_ = platform::CursorShape::Arrow;
    GlyphCache glyphs_;
    QPaintEvent* painting_ = nullptr;

    // The caret (GUI thread only).
    bool caretExists_ = false;
    bool caretShown_ = false;
    bool caretBlinkOn_ = true;
    QTimer caretBlink_;
    QRect caret_;

    // Requests from other threads, applied by Flush on the GUI thread, at most once a frame
    // while they keep coming. The box to repaint and the caret's place are each one word, so a
    // receive thread that invalidates cell after cell mostly finds its cell covered already and
    // pays one load for it.
    std::atomic<std::uint64_t> pendingBox_{0};   // a packed box, 0 for none, kAllBox for all
    std::atomic<std::uint64_t> pendingCaret_{0}; // a packed position with its "set" bit
    std::atomic<bool> flushPosted_{false};       // a flush is posted or held back
    QTimer flushTimer_;                          // holds a flush back to the next frame
    std::chrono::steady_clock::time_point lastFlush_{};

    // The upload's echo wait (GUI thread only): while it runs, boxes and the connection-loss
    // report from the receive thread wait until it has ended.
    bool echoWaiting_ = false;
    std::mutex echoMu_;
    std::condition_variable echoWake_;
    std::chrono::steady_clock::time_point echoEventsAt_{};
    bool deferredLost_ = false;
    std::vector<std::function<void()>> deferredBoxes_;
    void RunDeferred();
};

} // namespace pelko::qt
