#pragma once
// The main window's procedure: every window message and menu command goes through it.
//   TTYWndProc(hwnd, msg, wParam, lParam)  the creation message answers 1, or -1 when the terminal
//                                          could not be built; every other message answers 0
//   EndUploadForQuit()                     on a quit signal: an upload waiting for its echo ends
//                                          as for a lost port; any thread, never fails
#include <cstdint>

#include "platform/window.h"

namespace pelko {

std::intptr_t TTYWndProc(platform::Window* hwnd, unsigned msg, std::uintptr_t wParam,
                         std::intptr_t lParam);
void EndUploadForQuit();

} // namespace pelko
