#include "terminal/selection.h"

#include <algorithm>
#include <mutex>

namespace pelko {

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr int kLastCol = kScreenCols - 1;

bool Before(const TextSelection::Cell& a, const TextSelection::Cell& b) {
    return a.row < b.row || (a.row == b.row && a.col < b.col);
}

bool IsBlank(const std::uint8_t* row, int col) {
    return row == nullptr || row[col] == ' ' || row[col] == 0;
}

// The cell under client pixel (x, y), the page clamped to 80 x 25.
TextSelection::Cell CellAt(const TTYInfo& tty, std::int32_t x, std::int32_t y) {
    const std::int64_t cx = std::max(1, tty.cxChar.load(kRelaxed));
    const std::int64_t cy = std::max(1, tty.cyChar.load(kRelaxed));
    const auto col = static_cast<int>(std::clamp<std::int64_t>(
        (x + std::int64_t{tty.nHScrollPos.load(kRelaxed)}) / cx, 0, kLastCol));
    const auto row = std::clamp<std::int64_t>(
        (y + std::int64_t{tty.nVScrollPos.load(kRelaxed)}) / cy, 0, kScreenRows - 1);
    const std::uint64_t top =
        tty.history.Total() - static_cast<std::uint64_t>(tty.nHistoryPos.load(kRelaxed));
    return {top + static_cast<std::uint64_t>(row), col};
}

// Widens from..to to whole words or whole rows.
void Widen(const TTYInfo& tty, TextSelection& sel) {
    if (sel.unit >= 3) {
        sel.from.col = 0;
        sel.to.col = kLastCol;
    } else if (sel.unit == 2) {
        const std::uint8_t* first = RowAt(tty, sel.from.row);
        const bool blank = IsBlank(first, sel.from.col);
        while (sel.from.col > 0 && IsBlank(first, sel.from.col - 1) == blank) {
            --sel.from.col;
        }
        const std::uint8_t* last = RowAt(tty, sel.to.row);
        const bool lastBlank = IsBlank(last, sel.to.col);
        while (sel.to.col < kLastCol && IsBlank(last, sel.to.col + 1) == lastBlank) {
            ++sel.to.col;
        }
    }
}

} // namespace

const std::uint8_t* RowAt(const TTYInfo& tty, std::uint64_t number) {
    const std::uint64_t total = tty.history.Total();
    if (number >= total) {
        return number - total < kScreenRows ? tty.achScreen + (number - total) * kScreenCols
                                            : nullptr;
    }
    return tty.history.Row(number);
}

bool SelectedSpan(const TTYInfo& tty, std::uint64_t number, int& from, int& to) {
    const TextSelection& sel = tty.selection;
    if (!sel.active || number < sel.from.row || number > sel.to.row) {
        return false;
    }
    from = number == sel.from.row ? sel.from.col : 0;
    to = number == sel.to.row ? sel.to.col : kLastCol;
    return true;
}

bool SelectTTYText(platform::Window* hwnd, SelectPhase phase, std::int32_t x, std::int32_t y,
                   int clicks) {
    TTYInfo* tty = hwnd->GetRecord();
    if (tty == nullptr) {
        return false;
    }
    TextSelection& sel = tty->selection;
    const bool wasActive = sel.active;
    {
        std::lock_guard lock(tty->screenLock);
        const TextSelection::Cell at = CellAt(*tty, x, y);
        if (phase == SelectPhase::Press) {
            sel.unit = std::clamp(clicks, 1, 3);
            sel.anchor = at;
        }
        sel.from = Before(at, sel.anchor) ? at : sel.anchor;
        sel.to = Before(at, sel.anchor) ? sel.anchor : at;
        // A plain click chooses nothing; a drag chooses every cell it passed, both ends included.
        sel.active = sel.unit > 1 || sel.from.row != sel.to.row || sel.from.col != sel.to.col;
        Widen(*tty, sel);
    }
    if (sel.active || wasActive) {
        hwnd->InvalidateRect(nullptr, false);
    }
    if (phase == SelectPhase::Release && sel.active) {
        const std::string text = TTYSelectionText(*tty);
        if (!text.empty()) {
            hwnd->SetClipboardText(platform::Clipboard::Primary, text);
        }
    }
    return true;
}

std::string TTYSelectionText(TTYInfo& tty) {
    const TextSelection& sel = tty.selection;
    std::string text;
    if (!sel.active) {
        return text;
    }
    std::lock_guard lock(tty.screenLock);
    for (std::uint64_t n = sel.from.row; n <= sel.to.row; ++n) {
        int from = 0;
        int to = 0;
        SelectedSpan(tty, n, from, to);
        const std::uint8_t* row = RowAt(tty, n);
        while (row != nullptr && to >= from && IsBlank(row, to)) {
            --to;
        }
        if (row != nullptr && to >= from) {
            text.append(reinterpret_cast<const char*>(row) + from,
                        static_cast<std::size_t>(to - from + 1));
        }
        if (n != sel.to.row) {
            text.push_back('\n');
        }
    }
    return text;
}

bool CopyTTYSelection(platform::Window* hwnd) {
    TTYInfo* tty = hwnd->GetRecord();
    if (tty == nullptr) {
        return false;
    }
    const std::string text = TTYSelectionText(*tty);
    if (text.empty()) {
        return false;
    }
    hwnd->SetClipboardText(platform::Clipboard::Clipboard, text);
    return true;
}

} // namespace pelko
