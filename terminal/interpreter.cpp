#include "terminal/interpreter.h"

#include <cstring>
#include <mutex>

#include "terminal/tty_info.h"
#include "terminal/view.h"

namespace pelko {

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr std::uint8_t kBackspace = 0x08;
constexpr std::uint8_t kLineFeed = 0x0A;
constexpr std::uint8_t kCarriageReturn = 0x0D;
constexpr char kHexDigits[] = "0123456789abcdef";
constexpr int kLastCol = kScreenCols - 1;
constexpr int kLastRow = kScreenRows - 1;

using view_detail::Saturate;

bool IsControl(std::uint8_t b) {
    return b == kBackspace || b == kLineFeed || b == kCarriageReturn;
}

// One call's view of the record. The options and the cell geometry are read once per call: the
// window thread may change them meanwhile, and then repaints everything anyway. While the view
// is back in the history the screen sits lower in the window, which vpos takes in.
struct Call {
    platform::Window* hwnd;
    TTYInfo* tty;
    bool newLine;
    bool autoWrap;
    bool hex;
    std::int64_t cx;
    std::int64_t cy;
    std::int64_t hpos;
    std::int64_t vpos;

    // The pixel rectangle of one cell, as CellRect gives it.
    platform::Rect Cell(int row, int col) const {
        const std::int64_t left = col * cx - hpos;
        const std::int64_t top = row * cy - vpos;
        return platform::Rect{Saturate(left), Saturate(top), Saturate(left + cx),
                              Saturate(top + cy)};
    }

    void LineFeed() {
        const int row = tty->nCursorRow.load(kRelaxed);
        if (row < kLastRow) {
            tty->nCursorRow.store(row + 1, kRelaxed);
        } else {
            // The top row goes to the history. A view back in it stays on the rows it shows.
            if (tty->history.Push(tty->achScreen)) {
                const int back = tty->nHistoryPos.load(kRelaxed);
                if (back > 0 && back < tty->history.Count()) {
                    tty->nHistoryPos.store(back + 1, kRelaxed);
                    vpos += cy;
                }
            }
            std::memmove(tty->achScreen, tty->achScreen + kScreenCols,
                         static_cast<std::size_t>(kLastRow) * kScreenCols);
            std::memset(tty->achScreen + kLastRow * kScreenCols, ' ', kScreenCols);
            hwnd->InvalidateRect(nullptr, false);
        }
        MoveTTYCursor(hwnd);
    }

    // Stores one cell at the cursor and advances it; at the last column Autowrap starts a new
    // line by interpreting "\r\n" as if it had been received.
    void Put(std::uint8_t ch) {
        const int row = tty->nCursorRow.load(kRelaxed);
        const int col = tty->nCursorCol.load(kRelaxed);
        tty->achScreen[row * kScreenCols + col] = ch;
        const platform::Rect cell = Cell(row, col);
        hwnd->InvalidateRect(&cell, false);
        if (col < kLastCol) {
            tty->nCursorCol.store(col + 1, kRelaxed);
        } else if (autoWrap) {
            WriteTTYBlock(hwnd, "\r\n", 2);
        }
    }

    // Puts the plain bytes from block[i] on, as Put would one by one, as long as they are no
    // control bytes and the cursor stays short of the last column; the index after them.
    std::int32_t PutRun(const std::uint8_t* block, std::int32_t i, std::int32_t length) const {
        const int row = tty->nCursorRow.load(kRelaxed);
        int col = tty->nCursorCol.load(kRelaxed);
        std::uint8_t* line = tty->achScreen + row * kScreenCols;
        platform::Rect cell = Cell(row, col);
        while (i < length && col < kLastCol && !IsControl(block[i])) {
            line[col] = block[i++];
            const std::int64_t left = col * cx - hpos;
            cell.left = Saturate(left);
            cell.right = Saturate(left + cx);
            hwnd->InvalidateRect(&cell, false);
            tty->nCursorCol.store(++col, kRelaxed);
        }
        return i;
    }
};

} // namespace

int WriteTTYBlock(platform::Window* hwnd, const std::uint8_t* block, std::int32_t length) {
    TTYInfo* tty = hwnd->GetRecord();
    if (tty == nullptr) {
        return 0;
    }
    if (length <= 0) {
        return 1;
    }
    std::lock_guard lock(tty->screenLock);
    Call call{hwnd,
              tty,
              tty->fNewLine.load(kRelaxed) != 0,
              tty->fAutoWrap.load(kRelaxed) != 0,
              tty->fHexPrint.load(kRelaxed) != 0,
              tty->cxChar.load(kRelaxed),
              tty->cyChar.load(kRelaxed),
              tty->nHScrollPos.load(kRelaxed),
              tty->nVScrollPos.load(kRelaxed) -
                  std::int64_t{tty->nHistoryPos.load(kRelaxed)} * tty->cyChar.load(kRelaxed)};
    for (std::int32_t i = 0; i < length; ++i) {
        if (!call.hex) {
            // Most received text is plain bytes: a run of them up to the last column at once.
            i = call.PutRun(block, i, length);
            if (i == length) {
                break;
            }
        }
        const std::uint8_t b = block[i];
        switch (b) {
        case kBackspace: {
            const int col = tty->nCursorCol.load(kRelaxed);
            if (col > 0) {
                tty->nCursorCol.store(col - 1, kRelaxed);
            }
            MoveTTYCursor(hwnd);
            break;
        }
        case kCarriageReturn:
            tty->nCursorCol.store(0, kRelaxed);
            MoveTTYCursor(hwnd);
            if (call.newLine) {
                call.LineFeed();
            }
            break;
        case kLineFeed:
            call.LineFeed();
            break;
        default:
            if (call.hex) {
                call.Put(static_cast<std::uint8_t>(kHexDigits[b >> 4]));
                call.Put(static_cast<std::uint8_t>(kHexDigits[b & 0x0F]));
                call.Put(' ');
            } else {
                call.Put(b);
            }
            break;
        }
    }
    return 1;
}

} // namespace pelko
