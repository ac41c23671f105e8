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

// One call's view of the record. The options and the cell geometry are read once per call: the
// window thread may change them meanwhile, and then repaints everything anyway.
struct Call {
    platform::Window* hwnd;
    TTYInfo* tty;
    bool newLine;
    bool autoWrap;
    bool hex;

    void LineFeed() const {
        const int row = tty->nCursorRow.load(kRelaxed);
        if (row < kLastRow) {
            tty->nCursorRow.store(row + 1, kRelaxed);
        } else {
            std::memmove(tty->achScreen, tty->achScreen + kScreenCols,
                         static_cast<std::size_t>(kLastRow) * kScreenCols);
            std::memset(tty->achScreen + kLastRow * kScreenCols, ' ', kScreenCols);
            hwnd->InvalidateRect(nullptr, false);
        }
        MoveTTYCursor(hwnd);
    }

    // Stores one cell at the cursor and advances it; at the last column Autowrap starts a new
    // line by interpreting "\r\n" as if it had been received.
    void Put(std::uint8_t ch) const {
        const int row = tty->nCursorRow.load(kRelaxed);
        const int col = tty->nCursorCol.load(kRelaxed);
        tty->achScreen[row * kScreenCols + col] = ch;
        const platform::Rect cell = CellRect(*tty, row, col);
        hwnd->InvalidateRect(&cell, false);
        if (col < kLastCol) {
            tty->nCursorCol.store(col + 1, kRelaxed);
        } else if (autoWrap) {
            WriteTTYBlock(hwnd, "\r\n", 2);
        }
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
    const Call call{hwnd, tty, tty->fNewLine.load(kRelaxed) != 0,
                    tty->fAutoWrap.load(kRelaxed) != 0, tty->fHexPrint.load(kRelaxed) != 0};
    for (std::int32_t i = 0; i < length; ++i) {
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
