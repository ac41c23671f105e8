#pragma once
// Choosing text on the screen and in the history with the mouse, and handing it out.
//   RowAt(tty, number)        the 80 bytes of row `number` (screen row r is history.Total() + r),
//                             nullptr when it is neither on the screen nor kept; screenLock held
//   SelectedSpan(tty, number, from, to)  true with the first and last selected column of that
//                             row; false when none of it is selected
//   SelectTTYText(hwnd, phase, x, y, clicks)  a press (clicks 1 characters, 2 a word, 3 whole
//                             rows), a move or a release of the left button at client pixel (x,
//                             y); a release hands the text to the PRIMARY selection. False when
//                             the window holds no record
//   TTYSelectionText(tty)     the selected text, rows joined by LF, blanks at row ends dropped;
//                             "" when nothing is selected
//   CopyTTYSelection(hwnd)    the selected text to the clipboard; false when there is none
#include <cstdint>
#include <string>

#include "platform/window.h"
#include "terminal/tty_info.h"

namespace pelko {

enum class SelectPhase { Press, Move, Release };

const std::uint8_t* RowAt(const TTYInfo& tty, std::uint64_t number);
bool SelectedSpan(const TTYInfo& tty, std::uint64_t number, int& from, int& to);
bool SelectTTYText(platform::Window* hwnd, SelectPhase phase, std::int32_t x, std::int32_t y,
                   int clicks);
std::string TTYSelectionText(TTYInfo& tty);
bool CopyTTYSelection(platform::Window* hwnd);

} // namespace pelko
