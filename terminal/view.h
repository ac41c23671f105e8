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
//   CellRect(tty, row, col)        the pixel rectangle of one cell in client coordinates
#include <cstdint>

#include "platform/window.h"

namespace pelko {
struct TTYInfo;

// Scroll-bar codes as the window system reports them.
inline constexpr std::uint16_t SB_LINEUP = 0;
inline constexpr std::uint16_t SB_LINEDOWN = 1;
inline constexpr std::uint16_t SB_PAGEUP = 2;
inline constexpr std::uint16_t SB_PAGEDOWN = 3;
inline constexpr std::uint16_t SB_THUMBPOSITION = 4;
inline constexpr std::uint16_t SB_THUMBTRACK = 5;
inline constexpr std::uint16_t SB_TOP = 6;
inline constexpr std::uint16_t SB_BOTTOM = 7;
inline constexpr std::uint16_t SB_ENDSCROLL = 8;

bool PaintTTY(platform::Window* hwnd);
bool SizeTTY(platform::Window* hwnd, std::uint16_t height, std::uint16_t width);
bool ScrollTTYVert(platform::Window* hwnd, std::uint16_t code, std::uint16_t pos);
bool ScrollTTYHorz(platform::Window* hwnd, std::uint16_t code, std::uint16_t pos);
bool SetTTYFocus(platform::Window* hwnd);
bool KillTTYFocus(platform::Window* hwnd);
bool MoveTTYCursor(platform::Window* hwnd);

platform::Rect CellRect(const TTYInfo& tty, int row, int col);

} // namespace pelko
