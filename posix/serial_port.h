#pragma once
// A serial device through termios: opened exclusively (UUCP lock file, flock, TIOCEXCL), raw,
// non-blocking, its settings put back when it is closed.
//   OpenSerialPort(path, lockDir)  the open port, or nullptr when the device is missing, cannot
//                                  be opened, or another program holds it (a UUCP lock in
//                                  lockDir, a flock on the device, or its exclusive mode). The
//                                  lock is named after the device with its links resolved.
//   LastSerialOpenError()          why the last OpenSerialPort on this thread failed: the path,
//                                  the system's reason and, where it helps, what to do ("" after
//                                  a success)
//   ReleaseOpenSerialPorts()       for a program that ends without closing its ports (exit()
//                                  from a library): takes them out of exclusive mode, which a
//                                  pty another program keeps open would otherwise keep, and
//                                  removes their UUCP lock files; cannot fail
//   BaudConstant(rate)             the termios speed for a rate in bits per second; B0 when the
//                                  rate is not one termios knows
#include <cstdint>
#include <memory>
#include <string>
#include <termios.h>

#include "platform/port.h"

namespace pelko::posix {

inline constexpr const char* kDefaultLockDir = "/var/lock";

std::unique_ptr<platform::Port> OpenSerialPort(const std::string& path,
                                               const std::string& lockDir = kDefaultLockDir);
void ReleaseOpenSerialPorts();
std::string LastSerialOpenError();
speed_t BaudConstant(std::uint32_t rate);

} // namespace pelko::posix
