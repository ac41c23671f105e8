#pragma once
// Names and the main window handle shared by the whole program.
#include <atomic>

#include "platform/window.h"

namespace pelko {

inline constexpr const char* gszAppName = "Pelko v3.1";

// The main window; set by the entry once the window exists, read by the receive thread.
extern std::atomic<platform::Window*> hTTYWnd;

} // namespace pelko
