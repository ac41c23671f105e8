#pragma once
// The main window's creation and destruction as the window procedure runs them.
//   CreateTTYInfo(hwnd)   builds the record, loads the settings into it, attaches it, measures
//                         the font, opens the connection (a failure says "Connection failed."
//                         and goes on unconnected) and prepares the file dialog; 1 when the
//                         record is attached, -1 when its storage or its event could not be had
//                         (nothing is then attached)
//   ConnectOrSay(hwnd)    opens the connection; when that fails, says "Connection failed." with
//                         the device and the reason on a second line; OpenConnection's result
//   FinishConnectOrSay(hwnd)  the connect timer's tick: FinishConnection, and when the connect
//                         of a Connect (not of a retry) failed, the same box; its result
//   DestroyTTYInfo(hwnd)  closes an open connection, detaches and frees the record; 1 after
//                         teardown, 0 when the window holds no record
#include "platform/window.h"

namespace pelko {

int CreateTTYInfo(platform::Window* hwnd);
bool DestroyTTYInfo(platform::Window* hwnd);
int ConnectOrSay(platform::Window* hwnd);
int FinishConnectOrSay(platform::Window* hwnd);

} // namespace pelko
