#pragma once
// The status line under the terminal: port and device, baud rate, the connection's state, the
// selected source file and the upload's progress, refreshed four times a second (also while an
// upload waits for its echo, which runs the window's events). The window grows by the line's
// height, so the terminal keeps its size.
//   AttachStatusBar(window)  adds and starts it; cannot fail
namespace pelko::qt {

class QtWindow;

void AttachStatusBar(QtWindow& window);

} // namespace pelko::qt
