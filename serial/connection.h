#pragma once
// Opening, configuring and closing the port named by the record. All run on the window thread.
//   OpenConnection(hwnd)   nonzero when the port is open, set up and the receive thread runs;
//                          0 otherwise (or when the window holds no record)
//   SetupConnection(hwnd)  nonzero when the port accepted the record's line settings; 0 when it
//                          refused them, no port is open, or the window holds no record
//   CloseConnection(hwnd)  1 after the receive thread has ended and the port is closed; 0 when
//                          the window holds no record
//   ConnectionLost(hwnd)   the window thread's answer to Window::PostConnectionLost: tells the
//                          user once that the port died; 1 when it told, 0 when there was
//                          nothing to tell (already told, or closed meanwhile) or no record
#include <atomic>
#include <cstdint>
#include <string>

#include "platform/window.h"

namespace pelko {

inline constexpr const char* gszConnectionLost =
    "Connection lost.\nDisconnect, then Connect to open the port again.";

int OpenConnection(platform::Window* hwnd);
int SetupConnection(platform::Window* hwnd);
int CloseConnection(platform::Window* hwnd);
int ConnectionLost(platform::Window* hwnd);

} // namespace pelko
