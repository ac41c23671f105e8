#pragma once
// The state of the session at a glance, for a status line under the terminal.
//   DescribeStatus(hwnd)  the port ("COM1", "TELNET") and what it leads to, the baud rate, the
//                         connection's state, the selected source file and, during an upload,
//                         its progress ("line N of about M", "in FILE" behind it while an
//                         included file is read); empty fields when the window holds
//                         no record. Window thread only; never opens a port.
//   ScrollbackRowsUp(hwnd)  how many rows up the view is scrolled into the history; 0 when it
//                         shows the live screen or the window holds no record
#include <cstdint>
#include <string>

#include "platform/window.h"

namespace pelko {

struct StatusInfo {
    std::string port;
    std::string device;
    std::uint32_t baud = 0;
    std::string state; // "connected", "connecting", "not connected", "connection lost"
    std::string source;
    std::string progress;
    std::string control; // the last reset or BREAK: "target reset at 12:03:04"
    std::string log;     // why the log cannot be written now, "" while it can
};

StatusInfo DescribeStatus(platform::Window* hwnd);
int ScrollbackRowsUp(const platform::Window* hwnd);

} // namespace pelko
