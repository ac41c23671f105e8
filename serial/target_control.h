#pragma once
// Resetting the target and sending it a BREAK, on the window thread. Each drops a line (or starts
// the break) at once and leaves it to the control timer (kControlTimer) to raise it again, so the
// window never waits for the pulse:
//   ResetTarget(hwnd, why)     drops the port's reset lines (platform::ResetPlanFor); true when
//                              the pulse is under way. false, with the reason in why, when there
//                              is no connection, a pulse is already under way, the ports file
//                              names no reset lines, or the device or server cannot (any line
//                              already dropped is raised again)
//   SendBreak(hwnd, why)       starts a break of kBreakMs; false as for ResetTarget
//   EndTargetControl(hwnd)     the timer's tick: raises the lines again or ends the break, and
//                              notes the time for the status line; false when nothing was under
//                              way. A program without timers calls it after ControlHoldMs()
//   ControlHoldMs()            how long the pulse under way holds; 0 when none is
//   TargetControlNote()        for the status line: "resetting target", "target reset at
//                              12:03:04", "BREAK sent at 12:03:04"; "" until either was done
#include <string>

#include "platform/window.h"

namespace pelko {

inline constexpr unsigned kControlTimer = 4;
inline constexpr int kBreakMs = 250;
inline constexpr const char* gszCannotReset = "Cannot reset the target.";
inline constexpr const char* gszCannotBreak = "Cannot send a BREAK.";

bool ResetTarget(platform::Window* hwnd, std::string& why);
bool SendBreak(platform::Window* hwnd, std::string& why);
bool EndTargetControl(platform::Window* hwnd);
int ControlHoldMs();
std::string TargetControlNote();

} // namespace pelko
