#pragma once
// Drawing the screen buffer into the window, following its size with the scroll bars, scrolling
// the view, and the block caret. Each takes the main window and returns false at once when the
// window holds no record; otherwise true, except the scroll operations for the codes they ignore.
//   PaintTTY(hwnd)                 draws the rows and columns that meet the invalid area
//   SizeTTY(hwnd, height, width)   stores the client size, recomputes ranges and clamps offsets
//   ScrollTTYVert/Horz(hwnd, code, pos)  scrolls by line, page, thumb, top, bottom; false for
//                                  thumb tracking (5) and codes 8 and above
//   SetTTYFocus / KillTTYFocus     make or remove the caret while connected
//   MoveTTYCursor(hwnd)            places the caret on the cursor cell while it is shown
//   ScrollTTYHistory(hwnd, code)   moves the view into the history and back: SB_LINEUP/DOWN by a
//                                  row, SB_PAGEUP/DOWN by a window less one row, SB_TOP to the
//                                  oldest row kept, SB_BOTTOM to the live screen; false for other
//                                  codes
//   CellRect(tty, row, col)        the pixel rectangle of one screen cell in client coordinates
#include <algorithm>
#include <cstdint>
#include <limits>

#include "platform/window.h"
#include "terminal/tty_info.h"

namespace pelko {

using platform::SB_BOTTOM;
using platform::SB_ENDSCROLL;
using platform::SB_LINEDOWN;
using platform::SB_LINEUP;
using platform::SB_PAGEDOWN;
using platform::SB_PAGEUP;
using platform::SB_THUMBPOSITION;
using platform::SB_THUMBTRACK;
using platform::SB_TOP;

bool PaintTTY(platform::Window* hwnd);
bool SizeTTY(platform::Window* hwnd, std::uint16_t height, std::uint16_t width);
bool ScrollTTYVert(platform::Window* hwnd, std::uint16_t code, std::uint16_t pos);
bool ScrollTTYHorz(platform::Window* hwnd, std::uint16_t code, std::uint16_t pos);
bool ScrollTTYHistory(platform::Window* hwnd, std::uint16_t code);
bool SetTTYFocus(platform::Window* hwnd);
bool KillTTYFocus(platform::Window* hwnd);
bool MoveTTYCursor(platform::Window* hwnd);

namespace view_detail {
inline std::int32_t Saturate(std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}
} // namespace view_detail

inline platform::Rect CellRect(const TTYInfo& tty, int row, int col) {
    constexpr auto relaxed = std::memory_order_relaxed;
    const std::int64_t cx = tty.cxChar.load(relaxed);
    const std::int64_t cy = tty.cyChar.load(relaxed);
    const std::int64_t left = col * cx - tty.nHScrollPos.load(relaxed);
    const std::int64_t top =
        (row + std::int64_t{tty.nHistoryPos.load(relaxed)}) * cy - tty.nVScrollPos.load(relaxed);
    using view_detail::Saturate;
    return platform::Rect{Saturate(left), Saturate(top), Saturate(left + cx), Saturate(top + cy)};
}

} // namespace pelko
