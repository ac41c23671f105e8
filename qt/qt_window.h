#pragma once
// The main window on Qt 6: a menu bar, the function keys, and the terminal view with its two
// scroll bars. Qt events become the window procedure's messages; the procedure's requests come
// back through platform::Window. Widgets are touched on the GUI thread only: requests from any
// other thread (invalidations, caret moves, repaint requests) are collected and applied there.
//   QtWindow(proc)    builds the window, not yet shown, with no record
//   Create()          delivers the creation message; false when the procedure refused (-1)
//   SendCommand(id)   delivers a menu or key command as the procedure's command message
//   Send(msg, w, l)   delivers any message; the procedure's answer
//   view()            the terminal view (qt/terminal_view.h)
//   MenuAction(id)    a command's menu item; nullptr for an unknown id
//   CaretRect()       the caret's place and size in client pixels; CaretVisible() whether it shows
//   CellSize()        the cell the procedure last told (SetCellSize); {0, 0} before that
// Every platform::Window operation behaves as that interface describes. The window's parts live
// in files of their own: the view (terminal_view), the caret (caret), requests from other
// threads (repaint_queue), painting (paint_dc), menus and keys (menus_and_keys), boxes
// (message_boxes), the echo wait (echo_wait), the source dialog (file_dialog), timers (timers),
// and the clipboard with the history marker (clipboard).
#include <QMainWindow>
#include <QMessageBox>
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <vector>

#include "platform/echo_waiter.h"
#include "platform/window.h"
#include "qt/caret.h"
#include "qt/glyphs.h"
#include "qt/repaint_queue.h"
#include "qt/terminal_view.h"

class QAction;
class QPaintEvent;
class QTimer;

namespace pelko::qt {

using WndProc = std::intptr_t (*)(platform::Window*, unsigned, std::uintptr_t, std::intptr_t);

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
    QRect CaretRect() const { return caret_.Rect(); }
    bool CaretVisible() const { return caret_.Visible(); }
    platform::Size CellSize() const { return cell_; }

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
    void SetCellSize(std::int32_t cx, std::int32_t cy) override;
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
    void CancelEchoWait() override;
    bool ModalOpen() const override;
    void PostMessageBox(const std::string& text, const std::string& caption,
                        unsigned style) override;
    void PostConnectionLost() override;
    void SetTimer(unsigned id, int ms) override;
    void KillTimer(unsigned id) override;
    void SetClipboardText(platform::Clipboard which, const std::string& text) override;
    std::string GetClipboardText(platform::Clipboard which) override;

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    friend class TerminalView;
    void BuildMenu();
    void BuildKeys();
    void PaintView(QPaintEvent* e);
    // The box in the viewport's top right corner that says how far back the view is, drawn
    // over the text while it is (qt/clipboard.cpp).
    QRect HistoryMarkerRect() const;
    void PaintHistoryMarker(const QRect& dirty);

    WndProc proc_;
    TerminalView* view_;
    std::map<unsigned, QAction*> actions_;
    bool destroyed_ = false;
    platform::CursorShape cursor_ = platform::CursorShape::Arrow;
    platform::Size cell_;
    GlyphCache glyphs_;
    QPaintEvent* painting_ = nullptr;
    Caret caret_;           // GUI thread only
    RepaintQueue repaints_; // requests from other threads

    // The upload's echo wait (GUI thread only): while it runs, boxes and the connection-loss
    // report from the receive thread wait until it has ended.
    platform::EchoWaiter echo_;
    bool echoWaiting_ = false;
    bool echoCancelled_ = false;     // CancelEchoWait came during the wait
    QMessageBox* procBox_ = nullptr; // the procedure's own box while it is up (the upload's pause)
    std::chrono::steady_clock::time_point echoEventsAt_{};
    bool deferredLost_ = false;
    std::vector<std::function<void()>> deferredBoxes_;
    void RunDeferred();

    std::map<unsigned, QTimer*> timers_; // the procedure's timers by id (qt/timers.cpp)
};

} // namespace pelko::qt
