#pragma once
// Sending to the target, on the window thread.
//   ProcessTTYCharacter(hwnd, ch)   sends one typed byte and, with Local Echo on, puts it on the
//                                   screen; 1 when it was handed to the write (whatever came of
//                                   it), 0 when there is no record or no connection
//   WriteCommBlock(hwnd, bytes, n)  writes n bytes within the 1000 ms write time-out; 1 when the
//                                   write ended (also when cut short by the time-out, or when
//                                   the port failed part way, which puts "<COM Error>" on the
//                                   screen); 0 when there is no record, no port, or the write
//                                   failed at once
// A paste without a line end is typed through the same write path, but a piece at a time from a
// window timer (kTypingTimer), so the window stays free however slow the target reads:
//   StartTyping(hwnd, text)  1 when the text is queued to be typed; 0 when there is no record or
//                            connection, typing is already under way, or text is empty or longer
//                            than kTypingLimit (nothing is queued then)
//   ContinueTyping(hwnd)     the timer's tick: writes what the port takes now, with Local Echo and
//                            the log as for typed keys; 1 while more is left, 0 once all went out,
//                            typing was stopped, or the port failed (the timer is then stopped)
//   StopTyping(hwnd)         drops what is left (Esc, a closed connection); the bytes that were
//                            not sent, 0 when nothing was being typed
//   Typing(sent, total)      true while a paste is being typed, with its progress
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/window.h"

namespace pelko {

inline constexpr int kWriteTimeoutMs = 1000;
inline constexpr unsigned kTypingTimer = 2;
inline constexpr int kTypingTickMs = 10;
inline constexpr std::size_t kTypingLimit = 4 << 20;
inline constexpr const char* gszStillTyping = "Pasted text is still being typed.\nEsc stops it.";
inline constexpr const char* gszPasteTooLong =
    "The pasted text is too long to type (more than 4 MB).";

int ProcessTTYCharacter(platform::Window* hwnd, std::uint8_t character);
int WriteCommBlock(platform::Window* hwnd, const std::uint8_t* bytes, std::int32_t length);
int StartTyping(platform::Window* hwnd, const std::string& text);
int ContinueTyping(platform::Window* hwnd);
std::size_t StopTyping(platform::Window* hwnd);
bool Typing(std::size_t& sent, std::size_t& total);

} // namespace pelko
