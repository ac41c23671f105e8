#pragma once
// Ending Pelko from outside. SIGTERM, SIGINT and SIGHUP end the event loop, an upload's echo
// wait included; the caller then destroys the window, which closes the connection and so
// removes its UUCP lock file, and ends by the same signal. A window thread too busy to do so
// within kQuitGraceMs is not waited for: a watchdog thread takes the serial ports out of
// exclusive mode, removes their lock files and ends Pelko by the signal. A second such signal
// ends the program at once. When exit() ends the program elsewhere (the window system's plug-in
// does so when the display goes away), the serial ports still open leave exclusive mode and their
// UUCP lock files are removed all the same. When the window system destroys the main window's
// native window (another X client's XDestroyWindow, `xdotool windowclose`), the event loops end as
// for a signal, with status 0, and the caller takes the window down the same way.
//   WatchQuitSignals()  once, after the QApplication is made; false when the signals cannot be
//                       caught (they then keep their default action). A signal that is ignored
//                       when Pelko starts (nohup) stays ignored.
//   QuitSignal()        the signal that ended the event loop; 0 when none did
//   PortsReleased()     tells the watchdog that the window has closed its port; cannot fail
//   WatchWindowGone(w)  once, with the main window; watches for its native window's end (X11
//                       only; elsewhere nothing happens). Cannot fail
class QWidget;

namespace pelko::qt {

inline constexpr int kQuitGraceMs = 800;

bool WatchQuitSignals();
int QuitSignal();
void PortsReleased();
void WatchWindowGone(QWidget* window);

} // namespace pelko::qt
