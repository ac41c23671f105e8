#pragma once
// Uploads handed to the window by `pelko --upload` of the same user while the window holds the
// port: it listens on the port's hand-off socket while connected, takes one caller at a time and
// runs its upload as F3 (or F4) would, telling the caller how it goes. Window thread only.
//   StartHandoff(hwnd)      starts the hand-off timer (kHandoffTimer); cannot fail
//   HandoffTick(hwnd)       the timer's tick: listens while a port is open (and not otherwise),
//                           takes callers, refuses those it cannot serve (another user, a busy
//                           window, a malformed request) with the reason, reads the caller's
//                           cancel and sends what waits to be sent; cannot fail
//   RunHandedUpload(hwnd)   the run timer's tick (kHandoffRunTimer): runs the accepted upload
//                           and answers how it ended; does nothing when none waits
//   EndHandoff(hwnd)        at the window's end: callers are told the window closed, the socket
//                           goes away and the timers stop; cannot fail
#include "platform/window.h"

namespace pelko {

inline constexpr unsigned kHandoffTimer = 5;
inline constexpr unsigned kHandoffRunTimer = 6;
inline constexpr int kHandoffTickMs = 100;

inline constexpr const char* gszHandoffWindowClosed = "the window closed";

void StartHandoff(platform::Window* hwnd);
void HandoffTick(platform::Window* hwnd);
void RunHandedUpload(platform::Window* hwnd);
void EndHandoff(platform::Window* hwnd);

} // namespace pelko
