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
#include <cstdint>

#include "platform/window.h"

namespace pelko {

inline constexpr int kWriteTimeoutMs = 1000;

int ProcessTTYCharacter(platform::Window* hwnd, std::uint8_t character);
int WriteCommBlock(platform::Window* hwnd, const std::uint8_t* bytes, std::int32_t length);

} // namespace pelko
