#include "terminal/view.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <mutex>

#include "terminal/selection.h"
#include "terminal/tty_info.h"

namespace pelko {

using platform::Rect;
using platform::ScrollBar;

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

using view_detail::Saturate;

// Moves the view by `step` pixels along one axis after clamping it to 0..max, the way both
// scroll bars do; returns the clamped step.
std::int32_t ClampStep(std::int64_t step, std::int32_t pos, std::int32_t max) {
    if (pos + step > max) {
        step = static_cast<std::int64_t>(max) - pos;
    }
    if (pos + step < 0) {
        step = -static_cast<std::int64_t>(pos);
    }
    return Saturate(step);
}

bool Scroll(platform::Window* hwnd, ScrollBar bar, std::uint16_t code, std::uint16_t pos) {
    TTYInfo* tty = hwnd->GetRecord();
    if (tty == nullptr) {
        return false;
    }
    const bool vert = bar == ScrollBar::Vert;
    std::atomic<std::int32_t>& offset = vert ? tty->nVScrollPos : tty->nHScrollPos;
    const std::int32_t max = vert ? tty->nVScrollMax : tty->nHScrollMax;
    const std::int32_t unit = (vert ? tty->cyChar : tty->cxChar).load(kRelaxed);
    const std::int32_t page = vert ? tty->cyClient : tty->cxClient;
    const std::int32_t cur = offset.load(kRelaxed);

    std::int64_t step = 0;
    switch (code) {
    case SB_LINEUP:
        step = -static_cast<std::int64_t>(unit);
        break;
    case SB_LINEDOWN:
        step = unit;
        break;
    case SB_PAGEUP:
        step = -static_cast<std::int64_t>(page);
        break;
    case SB_PAGEDOWN:
        step = page;
        break;
    case SB_THUMBPOSITION:
        step = static_cast<std::int64_t>(pos) - cur;
        break;
    case SB_TOP:
        step = -static_cast<std::int64_t>(cur);
        break;
    case SB_BOTTOM:
        step = static_cast<std::int64_t>(max) - cur;
        break;
    default: // thumb tracking, end of scroll and anything unknown
        return false;
    }
    const std::int32_t clamped = ClampStep(step, cur, max);
    if (vert) {
        hwnd->ScrollWindow(0, -clamped);
    } else {
        hwnd->ScrollWindow(-clamped, 0);
    }
    offset.store(cur + clamped, kRelaxed);
    hwnd->SetScrollPos(bar, cur + clamped, true);
    return true;
}

// Recomputes one axis for a new client extent: the range, then pulls the offset back inside it.
void SizeAxis(platform::Window* hwnd, ScrollBar bar, std::int32_t pageExtent, std::int32_t client,
              std::int32_t& maxField, std::atomic<std::int32_t>& offset) {
    maxField = Saturate(std::max<std::int64_t>(0, static_cast<std::int64_t>(pageExtent) - client));
    const std::int32_t cur = offset.load(kRelaxed);
    const std::int32_t d = std::min(maxField, cur) - cur;
    if (bar == ScrollBar::Vert) {
        hwnd->ScrollWindow(0, -d);
    } else {
        hwnd->ScrollWindow(-d, 0);
    }
    offset.store(cur + d, kRelaxed);
    hwnd->SetScrollPos(bar, cur + d, false);
    hwnd->SetScrollRange(bar, 0, maxField, true);
}

} // namespace

bool PaintTTY(platform::Window* hwnd) {
    TTYInfo* tty = hwnd->GetRecord();
    if (tty == nullptr) {
        return false;
    }
    if (std::unique_ptr<platform::PaintDC> dc = hwnd->BeginPaint()) {
        const Rect rc = dc->PaintRect();
        const std::int64_t cx = std::max(1, tty->cxChar.load(kRelaxed));
        const std::int64_t cy = std::max(1, tty->cyChar.load(kRelaxed));
        const std::int64_t hpos = tty->nHScrollPos.load(kRelaxed);
        const std::int64_t vpos = tty->nVScrollPos.load(kRelaxed);

        const int firstRow =
            static_cast<int>(std::clamp<std::int64_t>((rc.top + vpos) / cy, 0, kScreenRows - 1));
        const int lastRow =
            static_cast<int>(std::min<std::int64_t>((rc.bottom + vpos - 1) / cy, kScreenRows - 1));
        const int firstCol =
            static_cast<int>(std::clamp<std::int64_t>((rc.left + hpos) / cx, 0, kScreenCols - 1));
        const int lastCol =
            static_cast<int>(std::min<std::int64_t>((rc.right + hpos - 1) / cx, kScreenCols - 1));
        const int count = lastCol - firstCol + 1;

        if (count > 0 && lastRow >= firstRow) {
            // Copy what is drawn under the screen lock so the receive thread never waits long.
            // A view back in the history starts that many rows above the screen.
            std::uint8_t rows[kScreenRows][kScreenCols];
            int selFrom[kScreenRows];
            int selTo[kScreenRows];
            bool selected[kScreenRows];
            {
                std::lock_guard lock(tty->screenLock);
                const std::uint64_t top =
                    tty->history.Total() -
                    static_cast<std::uint64_t>(tty->nHistoryPos.load(kRelaxed));
                for (int r = firstRow; r <= lastRow; ++r) {
                    const std::uint64_t number = top + static_cast<std::uint64_t>(r);
                    const std::uint8_t* row = RowAt(*tty, number);
                    if (row != nullptr) {
                        std::memcpy(rows[r] + firstCol, row + firstCol,
                                    static_cast<std::size_t>(count));
                    } else {
                        std::memset(rows[r] + firstCol, ' ', static_cast<std::size_t>(count));
                    }
                    selected[r] = SelectedSpan(*tty, number, selFrom[r], selTo[r]);
                }
            }
            const std::uint32_t background = dc->WindowColor();
            const std::uint32_t text = tty->rgbTextColor;
            for (int r = firstRow; r <= lastRow; ++r) {
                const std::int64_t y = r * cy - vpos;
                // Columns c0..c1 in one call; the selected ones in swapped colours.
                auto draw = [&](int c0, int c1, bool inverse) {
                    if (c1 < c0) {
                        return;
                    }
                    const std::int64_t x = c0 * cx - hpos;
                    const Rect box{Saturate(x), Saturate(y), Saturate(x + (c1 - c0 + 1) * cx),
                                   Saturate(y + cy)};
                    dc->ExtTextOut(box.left, box.top, box, rows[r] + c0, c1 - c0 + 1,
                                   tty->hTTYFont.get(), inverse ? background : text,
                                   inverse ? text : background);
                };
                if (!selected[r] || selTo[r] < firstCol || selFrom[r] > lastCol) {
                    draw(firstCol, lastCol, false);
                    continue;
                }
                const int s0 = std::max(firstCol, selFrom[r]);
                const int s1 = std::min(lastCol, selTo[r]);
                draw(firstCol, s0 - 1, false);
                draw(s0, s1, true);
                draw(s1 + 1, lastCol, false);
            }
        }
    }
    MoveTTYCursor(hwnd);
    return true;
}

bool SizeTTY(platform::Window* hwnd, std::uint16_t height, std::uint16_t width) {
    TTYInfo* tty = hwnd->GetRecord();
    if (tty == nullptr) {
        return false;
    }
    tty->cyClient = height;
    SizeAxis(hwnd, ScrollBar::Vert, Saturate(std::int64_t{kScreenRows} * tty->cyChar.load()),
             tty->cyClient, tty->nVScrollMax, tty->nVScrollPos);
    tty->cxClient = width;
    SizeAxis(hwnd, ScrollBar::Horz, Saturate(std::int64_t{kScreenCols} * tty->cxChar.load()),
             tty->cxClient, tty->nHScrollMax, tty->nHScrollPos);
    hwnd->InvalidateRect(nullptr, true);
    return true;
}

bool ScrollTTYVert(platform::Window* hwnd, std::uint16_t code, std::uint16_t pos) {
    return Scroll(hwnd, ScrollBar::Vert, code, pos);
}

bool ScrollTTYHorz(platform::Window* hwnd, std::uint16_t code, std::uint16_t pos) {
    return Scroll(hwnd, ScrollBar::Horz, code, pos);
}

bool ScrollTTYHistory(platform::Window* hwnd, std::uint16_t code) {
    TTYInfo* tty = hwnd->GetRecord();
    if (tty == nullptr) {
        return false;
    }
    const std::int64_t cy = std::max(1, tty->cyChar.load(kRelaxed));
    const std::int64_t page =
        std::max<std::int64_t>(1, std::min<std::int64_t>(tty->cyClient / cy, kScreenRows) - 1);
    std::int64_t step = 0;
    switch (code) {
    case SB_LINEUP:
        step = 1;
        break;
    case SB_LINEDOWN:
        step = -1;
        break;
    case SB_PAGEUP:
        step = page;
        break;
    case SB_PAGEDOWN:
        step = -page;
        break;
    case SB_TOP:
        step = kHistoryRows;
        break;
    case SB_BOTTOM:
        step = -std::int64_t{kHistoryRows} - 1;
        break;
    default:
        return false;
    }
    {
        std::lock_guard lock(tty->screenLock);
        const std::int32_t cur = tty->nHistoryPos.load(kRelaxed);
        const auto now = static_cast<std::int32_t>(
            std::clamp<std::int64_t>(cur + step, 0, tty->history.Count()));
        if (now == cur) {
            return true;
        }
        tty->nHistoryPos.store(now, kRelaxed);
    }
    hwnd->InvalidateRect(nullptr, true);
    MoveTTYCursor(hwnd);
    return true;
}

bool SetTTYFocus(platform::Window* hwnd) {
    TTYInfo* tty = hwnd->GetRecord();
    if (tty == nullptr) {
        return false;
    }
    if (tty->fConnected.load() != 0 && tty->wCaretState.load() != 1) {
        hwnd->CreateCaret(tty->cxChar.load(kRelaxed), tty->cyChar.load(kRelaxed));
        hwnd->ShowCaret();
        tty->wCaretState.store(1);
    }
    MoveTTYCursor(hwnd);
    return true;
}

bool KillTTYFocus(platform::Window* hwnd) {
    TTYInfo* tty = hwnd->GetRecord();
    if (tty == nullptr) {
        return false;
    }
    if (tty->fConnected.load() != 0 && tty->wCaretState.load() != 0) {
        hwnd->HideCaret();
        hwnd->DestroyCaret();
        tty->wCaretState.store(0);
    }
    return true;
}

bool MoveTTYCursor(platform::Window* hwnd) {
    TTYInfo* tty = hwnd->GetRecord();
    if (tty == nullptr) {
        return false;
    }
    if (tty->fConnected.load() != 0 && (tty->wCaretState.load() & 1U) != 0) {
        const Rect cell =
            CellRect(*tty, tty->nCursorRow.load(kRelaxed), tty->nCursorCol.load(kRelaxed));
        hwnd->SetCaretPos(cell.left, cell.top);
    }
    return true;
}

} // namespace pelko
