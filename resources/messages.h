#pragma once
// Window and dialog message numbers, and the helpers that pack and unpack their parameters.
#include <cstdint>

namespace pelko {

inline constexpr unsigned WM_CREATE = 1;
inline constexpr unsigned WM_DESTROY = 2;
inline constexpr unsigned WM_SIZE = 5;
inline constexpr unsigned WM_SETFOCUS = 7;
inline constexpr unsigned WM_KILLFOCUS = 8;
inline constexpr unsigned WM_PAINT = 15;
inline constexpr unsigned WM_CLOSE = 16;
inline constexpr unsigned WM_CHAR = 258;
inline constexpr unsigned WM_INITDIALOG = 272;
inline constexpr unsigned WM_COMMAND = 273;
inline constexpr unsigned WM_TIMER = 275; // wParam: the timer's id
inline constexpr unsigned WM_HSCROLL = 276;
inline constexpr unsigned WM_VSCROLL = 277;
// The mouse over the client area: lParam the client pixel (x low, y high, clamped to 0..65535);
// for the press, wParam the clicks in a row (1, 2 or 3).
inline constexpr unsigned WM_MOUSEMOVE = 0x0200;
inline constexpr unsigned WM_LBUTTONDOWN = 0x0201;
inline constexpr unsigned WM_LBUTTONUP = 0x0202;
// The selection to the clipboard; the clipboard (wParam 0) or PRIMARY (wParam 1) to the target.
inline constexpr unsigned WM_COPY = 0x0301;
inline constexpr unsigned WM_PASTE = 0x0302;
// Pelko's own: the receive thread found the port dead (posted, handled on the window thread).
inline constexpr unsigned WM_CONNECTIONLOST = 0x8001;
// Pelko's own: moves the view into the history and back; wParam a scroll code (ScrollTTYHistory).
inline constexpr unsigned WM_HISTORY = 0x8002;

constexpr std::uint16_t LoWord(std::uintmax_t v) {
    return static_cast<std::uint16_t>(v & 0xFFFF);
}
constexpr std::uint16_t HiWord(std::uintmax_t v) {
    return static_cast<std::uint16_t>((v >> 16) & 0xFFFF);
}
constexpr std::uintptr_t MakeWParam(std::uint16_t lo, std::uint16_t hi) {
    return static_cast<std::uintptr_t>(lo) | (static_cast<std::uintptr_t>(hi) << 16);
}
constexpr std::intptr_t MakeLParam(std::uint16_t lo, std::uint16_t hi) {
    return static_cast<std::intptr_t>(MakeWParam(lo, hi));
}

} // namespace pelko
