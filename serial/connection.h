#pragma once
// Opening, configuring and closing the port named by the record. All run on the window thread.
//   OpenConnection(hwnd)   nonzero when the port is open, set up and the receive thread runs,
//                          or kConnecting when the port (a network one) is still connecting:
//                          the connect timer (kConnectTimer) then carries the open on with
//                          FinishConnection. 0 otherwise (or when the window holds no record)
//   FinishConnection(hwnd, ms, why)  the connect timer's tick (ms 0), and the wait of a program
//                          without timers: waits up to ms for the connect, then does the rest
//                          of the open once it is made. 1 then, kConnecting while it is still
//                          under way, 0 when it failed (the reason in why; the port is closed,
//                          and a retry waits for its next turn), or when nothing was connecting
//   SetupConnection(hwnd)  nonzero when the port accepted the record's line settings; 0 when it
//                          refused them, no port is open, or the window holds no record
//   CloseConnection(hwnd)  1 after the receive thread has ended, the port is closed and any
//                          wait for a lost port or a connect has stopped; 0 when the window
//                          holds no record
//   ConnectionLost(hwnd)   the window thread's answer to Window::PostConnectionLost: tells the
//                          user once that the port died. Unless gRunOverrides.noReconnect is
//                          set, it then closes the dead port, says on the screen what it waits
//                          for and starts the retry timer (kReconnectTimer), with no box;
//                          otherwise a box asks for Disconnect and Connect. 1 when it told, 0
//                          when there was nothing to tell (already told, or closed meanwhile)
//                          or no record
//   RetryConnection(hwnd)  the retry timer's tick: opens the lost port again if it can, with no
//                          box. 1 when it is open again (the screen says so); 0 while it is
//                          still away, still connecting or an upload still runs, and when
//                          nothing waits (the timer is then stopped)
#include <atomic>
#include <cstdint>
#include <string>

#include "platform/window.h"

namespace pelko {

inline constexpr const char* gszConnectionLost =
    "Connection lost.\nDisconnect, then Connect to open the port again.";
inline constexpr const char* gszReconnected = "<Reconnected>";
inline constexpr const char* gszConnectionFailed = "Connection failed.";

inline constexpr int kConnecting = 2;

// The window timer that retries a lost port, and the one that looks at a connect under way.
inline constexpr unsigned kReconnectTimer = 1;
inline constexpr unsigned kConnectTimer = 3; // 2 is the typing timer (transmit.h)
inline constexpr int kConnectLookMs = 20;
// A serial device is looked for this often, always; a Telnet server is tried again after 1 s,
// then after twice the last wait, up to kRetryLimitMs, and a server that drops the link again
// within kSteadyMs of coming back waits twice as long as the last time before the next try.
inline constexpr int kSerialRetryMs = 500;
inline constexpr int kTelnetRetryMs = 1000;
inline constexpr int kRetryLimitMs = 30000;
inline constexpr int kSteadyMs = 10000;

int OpenConnection(platform::Window* hwnd);
int FinishConnection(platform::Window* hwnd, int waitMs, std::string& why);
int SetupConnection(platform::Window* hwnd);
int CloseConnection(platform::Window* hwnd);
int ConnectionLost(platform::Window* hwnd);
int RetryConnection(platform::Window* hwnd);

} // namespace pelko
