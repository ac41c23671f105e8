#pragma once
// The receive thread: it sleeps until the port has bytes, reads what is there and hands it on
// in blocks of at most 80, each to the screen, or to the upload's echo scanner while an upload
// runs.
//   CommWatchProc(record)             the thread's body; 1 after a normal end, 0 when it could
//                                     not start (its event or its port was missing)
//   ReadCommBlock(hwnd, buf, max)     reads at most max bytes of what the port already holds;
//                                     the count, 0 when nothing is there, on failure, or when
//                                     the window holds no record
// The thread addresses the window through hTTYWnd and never waits for the window thread.
#include <cstdint>

#include "platform/window.h"

namespace pelko {

struct TTYInfo;

inline constexpr std::int32_t kReadBlockSize = 80;
inline constexpr const char gszComError[] = "<COM Error>";
inline constexpr std::int32_t kComErrorLength = sizeof gszComError - 1;

int CommWatchProc(TTYInfo* tty);
std::int32_t ReadCommBlock(platform::Window* hwnd, std::uint8_t* buffer, std::int32_t maxLength);

} // namespace pelko
