#pragma once
// Opening, configuring and closing the port named by the record.
//   OpenConnection(hwnd)   nonzero when the port is open, set up and the receive thread runs;
//                          0 otherwise (or when the window holds no record)
//   SetupConnection(hwnd)  nonzero when the port accepted the record's line settings; 0 otherwise
//   CloseConnection(hwnd)  1 after the connection is closed; 0 when the window holds no record
#include "platform/window.h"

namespace pelko {

int OpenConnection(platform::Window* hwnd);
int SetupConnection(platform::Window* hwnd);
int CloseConnection(platform::Window* hwnd);

} // namespace pelko
