#pragma once
// The main window as Pelko's core sees it. The Qt layer implements it for real; the tests use a
// recorder. Operations and what they give back on failure:
//   GetRecord / SetRecord       the one record slot; GetRecord gives nullptr while nothing is held
//   InvalidateRect              marks a rectangle (or everything) for repainting; cannot fail
//   UpdateWindow                paints what is invalid now (window thread only)
//   RequestRepaint              asks for a paint soon; never blocks, callable from any thread
//   CreateCaret ... SetCaretPos the block caret; SetCaretPos may come from any thread
//   SetScrollRange/SetScrollPos the two standard scroll bars; a range 0..0 hides a bar
//   ScrollWindow                shifts the client pixels and marks the uncovered strip
//   GetClientSize               the client area in pixels ({0,0} while minimised or not shown)
//   SetCellSize(cx, cy)         the terminal's cell in pixels, told each time the font is
//                               measured; the scroll bars' arrows step by it. Cannot fail
//   CreateFontIndirect          a font for a description; never null (falls back to a monospace)
//   GetTextMetrics              the metrics of a font made by this window
//   BeginPaint                  the paint context for the invalid area; null when nothing to paint
//   EnableMenuItem              menu item state by command id; unknown ids are ignored
//   SetCursor                   the mouse cursor shape; returns the one it replaced
//   MessageBox                  modal box; returns IDOK, IDCANCEL, ... (IDOK when only OK is
//                               offered)
//   PostClose                   queues a close request to the window itself
//   DestroyWindow               destroys the window: it gets the destroy message, then goes away
//   PostQuitMessage(code)       ends the message loop with `code` once control returns to it
//   DialogBoxParam              runs a modal dialog; returns the value given to EndDialog, -1 if
//                               the dialog could not be made
//   ChooseFont                  the font chooser; false when cancelled, the inputs then unchanged
//   GetOpenFileName             the open-file dialog with its filters (the first shown first) and
//                               default extension, starting from `path`; false when cancelled,
//                               the inputs then unchanged. It never changes the working directory.
//   WaitForEcho(sync)           sleeps until `sync` is nonzero (true) or the user cancels the wait
//                               with Esc (false); meanwhile the window keeps painting and drops
//                               every other input (platform/echo_waiter.h does the sleeping)
//   WakeEchoWait                any thread, never blocks: WaitForEcho looks at its word again
//   CancelEchoWait              window thread: the echo wait running now ends as Esc ends it,
//                               and a box the upload shows (its pause) is answered OK (an
//                               upload handed over and cancelled by its caller); the default
//                               does nothing
//   ModalOpen                   whether a modal dialog or box is open; the default says no
//   UploadProgress              the upload's progress texts as they go to the screen; the default
//                               ignores them (a window shows them through the screen already)
//   PostMessageBox              any thread, never blocks: queues a box with no owner window
//                               (text, caption, style), shown later on the window thread
//   SetClipboardText(which, t)  puts bytes in the terminal's character set on the clipboard or
//                               the PRIMARY selection; the default drops them
//   GetClipboardText(which)     the clipboard's or PRIMARY's text in the terminal's character set
//                               (characters it has no byte for left out); "" when empty or not
//                               supported
//   PostConnectionLost          any thread, never blocks: asks the window thread to run
//                               ConnectionLost(this) (serial/connection.h) soon
//   SetTimer(id, ms)            every `ms` milliseconds from now on, the window procedure gets
//                               WM_TIMER with wParam `id`, until KillTimer(id); setting an id
//                               again restarts it with the new period. Cannot fail
//   KillTimer(id)               stops that timer; an id that runs none is ignored
// Every call except those marked "any thread" runs on the window thread.
#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/font.h"

namespace pelko {
struct TTYInfo;
}

namespace pelko::platform {

enum class Clipboard { Clipboard, Primary };

struct Rect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

struct Size {
    std::int32_t cx = 0;
    std::int32_t cy = 0;
};

enum class ScrollBar { Horz, Vert };
enum class CursorShape { Arrow, Wait };

// Message box style bits and answers, with the values the window procedure's tables use.
inline constexpr unsigned MB_OK = 0x00;
inline constexpr unsigned MB_OKCANCEL = 0x01;
inline constexpr unsigned MB_TYPEMASK = 0x0F;
inline constexpr unsigned MB_ICONMASK = 0xF0;
inline constexpr unsigned MB_ICONHAND = 0x10;
inline constexpr unsigned MB_ICONQUESTION = 0x20;
inline constexpr unsigned MB_ICONEXCLAMATION = 0x30;
inline constexpr unsigned MB_ICONASTERISK = 0x40;
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// Scroll-bar codes, as the window reports scroll-bar actions to the window procedure.
inline constexpr std::uint16_t SB_LINEUP = 0;
inline constexpr std::uint16_t SB_LINEDOWN = 1;
inline constexpr std::uint16_t SB_PAGEUP = 2;
inline constexpr std::uint16_t SB_PAGEDOWN = 3;
inline constexpr std::uint16_t SB_THUMBPOSITION = 4;
inline constexpr std::uint16_t SB_THUMBTRACK = 5;
inline constexpr std::uint16_t SB_TOP = 6;
inline constexpr std::uint16_t SB_BOTTOM = 7;
inline constexpr std::uint16_t SB_ENDSCROLL = 8;

// Menu item states.
inline constexpr unsigned MF_ENABLED = 0x0;
inline constexpr unsigned MF_GRAYED = 0x1;
inline constexpr unsigned MF_DISABLED = 0x2;

// One paint pass over the window's invalid area.
class PaintDC {
public:
    virtual ~PaintDC() = default;
    // The bounding box of the invalid area, in client pixels.
    virtual Rect PaintRect() const = 0;
    // Fills `box` with `background`, then draws `count` single-byte character codes at (x, y)
    // with `font` and `color` (0x00BBGGRR), clipped to `box`.
    virtual void ExtTextOut(std::int32_t x, std::int32_t y, const Rect& box,
                            const std::uint8_t* chars, std::int32_t count, const Font* font,
                            std::uint32_t color, std::uint32_t background) = 0;
    // The system window colour, 0x00BBGGRR.
    virtual std::uint32_t WindowColor() const = 0;
};

// One entry of the open-file dialog's filter list: the text shown, and the pattern ("*.*"
// matches every name, those without a dot included; matching ignores case).
struct FileFilter {
    const char* name;
    const char* pattern;
};

class Dialog;
// A dialog procedure: the dialog, the message number, wParam, lParam; answers TRUE or FALSE.
using DlgProc = std::intptr_t (*)(Dialog* dlg, unsigned msg, std::uintptr_t wParam,
                                  std::intptr_t lParam);

class Window {
public:
    virtual ~Window() = default;

    // The record slot (index 0). Safe from any thread.
    TTYInfo* GetRecord() const { return slot_.load(std::memory_order_acquire); }
    void SetRecord(TTYInfo* record) { slot_.store(record, std::memory_order_release); }

    // Repainting. InvalidateRect and RequestRepaint may be called from any thread.
    virtual void InvalidateRect(const Rect* rect, bool erase) = 0;
    virtual void UpdateWindow() = 0;
    virtual void RequestRepaint() = 0;

    // The caret. SetCaretPos may be called from any thread.
    virtual void CreateCaret(std::int32_t width, std::int32_t height) = 0;
    virtual void ShowCaret() = 0;
    virtual void HideCaret() = 0;
    virtual void DestroyCaret() = 0;
    virtual void SetCaretPos(std::int32_t x, std::int32_t y) = 0;

    // Scroll bars and content shift.
    virtual void SetScrollRange(ScrollBar bar, std::int32_t min, std::int32_t max, bool redraw) = 0;
    virtual void SetScrollPos(ScrollBar bar, std::int32_t pos, bool redraw) = 0;
    virtual void ScrollWindow(std::int32_t dx, std::int32_t dy) = 0;
    virtual Size GetClientSize() const = 0;
    virtual void SetCellSize(std::int32_t cx, std::int32_t cy) = 0;

    // Fonts and painting.
    virtual std::unique_ptr<Font> CreateFontIndirect(const LogFont& lf) = 0;
    virtual TextMetrics GetTextMetrics(const Font& font) = 0;
    virtual std::unique_ptr<PaintDC> BeginPaint() = 0;

    // Menu, cursor, boxes and dialogs.
    virtual void EnableMenuItem(unsigned id, unsigned flags) = 0;
    virtual CursorShape SetCursor(CursorShape shape) = 0;
    virtual int MessageBox(const std::string& text, const std::string& caption, unsigned style) = 0;
    virtual void PostClose() = 0;
    virtual void DestroyWindow() {}
    virtual void PostQuitMessage(int /*code*/) {}
    virtual int DialogBoxParam(int templateId, DlgProc proc, std::intptr_t param) = 0;
    virtual bool ChooseFont(LogFont& lf, std::uint32_t& color) = 0;
    virtual bool GetOpenFileName(std::string& path, std::string& title,
                                 std::span<const FileFilter> filters,
                                 const std::string& defaultExt) = 0;

    // The upload's wait for the target's echo (window thread), and its wake-up (any thread).
    virtual bool WaitForEcho(const std::atomic<std::uint8_t>& sync) = 0;
    virtual void WakeEchoWait() = 0;
    virtual void UploadProgress(const std::uint8_t* /*text*/, std::int32_t /*length*/) {}
    virtual void CancelEchoWait() {}
    virtual bool ModalOpen() const { return false; }

    // Requests from the receive thread; the window thread acts on them later. The defaults
    // drop them, for windows that show nothing.
    virtual void PostMessageBox(const std::string& /*text*/, const std::string& /*caption*/,
                                unsigned /*style*/) {}
    virtual void PostConnectionLost() {}

    // Timers for the window procedure (window thread).
    virtual void SetTimer(unsigned id, int ms) = 0;
    virtual void KillTimer(unsigned id) = 0;
    virtual void SetClipboardText(Clipboard /*which*/, const std::string& /*text*/) {}
    virtual std::string GetClipboardText(Clipboard /*which*/) { return {}; }

private:
    std::atomic<TTYInfo*> slot_{nullptr};
};

// A modal dialog's controls, addressed by control id. Every operation on an id the dialog does
// not have, or on a control of another kind, is ignored and answers as noted.
//   GetDlgItemText      the control's text, "" for an unknown id
//   SetDlgItemText      ignored for an unknown id
//   EndDialog           ends the dialog with `result` once the procedure returns
//   Owner               the window that owns the dialog (the main window)
//   SetProp / GetProp   the dialog's one property, which carries the procedure's data from
//   / RemoveProp        message to message; GetProp gives 0 while none is set
//   AddString           appends an entry to a drop-down list (entries stay in the order added);
//                       the new entry's index, -1 when it could not be added
//   SetItemData         attaches a number to an entry; ignored for an index that is no entry
//   GetItemData         the number attached to an entry; -1 for an index that is no entry
//   SetItemTip          a tooltip for one entry of a list; ignored for an index that is no entry
//   SetCurSel           selects an entry; an index that is no entry (-1) selects nothing
//   GetCurSel           the selected entry's index; -1 when nothing is selected
//   EnableWindow        lets the user reach a control or not
//   CheckDlgButton      ticks a check box (1) or clears it (0)
//   IsDlgButtonChecked  1 when a check box is ticked, else 0
//   ChooseFont          the font chooser, owned by the dialog; false when cancelled, the inputs
//                       then unchanged. By default it is the owner window's chooser.
// The list, check box and property operations have bodies that do nothing, for dialogs without
// such controls.
class Dialog {
public:
    virtual ~Dialog() = default;
    virtual std::string GetDlgItemText(int id) const = 0;
    virtual void SetDlgItemText(int id, const std::string& text) = 0;
    virtual void EndDialog(int result) = 0;
    virtual Window* Owner() const = 0;

    virtual void SetProp(std::intptr_t value) { prop_ = value; }
    virtual std::intptr_t GetProp() const { return prop_; }
    virtual void RemoveProp() { prop_ = 0; }

    virtual int AddString(int /*id*/, const std::string& /*text*/) { return -1; }
    virtual void SetItemData(int /*id*/, int /*index*/, std::uint32_t /*data*/) {}
    virtual std::intptr_t GetItemData(int /*id*/, int /*index*/) const { return -1; }
    virtual void SetItemTip(int /*id*/, int /*index*/, const std::string& /*tip*/) {}
    virtual void SetCurSel(int /*id*/, int /*index*/) {}
    virtual int GetCurSel(int /*id*/) const { return -1; }
    virtual void EnableWindow(int /*id*/, bool /*enable*/) {}
    virtual void CheckDlgButton(int /*id*/, unsigned /*check*/) {}
    virtual unsigned IsDlgButtonChecked(int /*id*/) const { return 0; }
    virtual bool ChooseFont(LogFont& lf, std::uint32_t& color) {
        Window* owner = Owner();
        return owner != nullptr && owner->ChooseFont(lf, color);
    }

private:
    std::intptr_t prop_ = 0;
};

} // namespace pelko::platform
