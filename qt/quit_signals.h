#pragma once
// Ending Pelko from outside. SIGTERM, SIGINT and SIGHUP end the event loop, an upload's echo
// wait included; the caller then destroys the window, which closes the connection and so
// removes its UUCP lock file, and ends by the same signal. A second such signal ends the program
// at once. When exit() ends the program elsewhere (the window system's plug-in does so when the
// display goes away), the serial ports still open leave exclusive mode and their UUCP lock files
// are removed all the same.
//   WatchQuitSignals()  once, after the QApplication is made; false when the signals cannot be
//                       caught (they then keep their default action). A signal that is ignored
//                       when Pelko starts (nohup) stays ignored.
//   QuitSignal()        the signal that ended the event loop; 0 when none did
namespace pelko::qt {

bool WatchQuitSignals();
int QuitSignal();

} // namespace pelko::qt
