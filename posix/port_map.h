#pragma once
// The per-user file that says where COM1 to COM4 and TELNET lead: plain "KEY=VALUE" lines,
//   COM1=/dev/serial/by-id/usb-Zemra_Board_0001-if00
//   COM2=/dev/ttyUSB0
//   TELNET=lab.example:4001          (ParseHostPort: an IPv6 address as [::1]:2217)
//   COM1.reset=dtr+rts               what Reset Target pulses: dtr (the default), rts, dtr+rts
//   COM1.reset-ms=250                or none, and for how long (100 ms by default, 1 to 10000)
// with blank lines and "#" comments. Keys are COM1 to COM4 and TELNET in any case.
//   DefaultPortMapPath()              "$XDG_CONFIG_HOME/pelko/ports", or "$HOME/.config/pelko/
//                                     ports" when XDG_CONFIG_HOME is unset or not absolute; ""
//                                     when neither folder can be found
//   LoadPortMap(path, map, warnings)  sets in `map` what the file names; which of COM1..COM4 it
//                                     set (index = port number). A missing file sets nothing
//                                     and warns nothing; an unreadable one adds one warning; a
//                                     line that is not KEY=VALUE or names an unknown key adds
//                                     one warning "PATH:LINE: ..." and is skipped; one that holds
//                                     a bad value makes its port unusable (map.unusable, and for
//                                     COMn set, so that nothing maps it elsewhere) with the same
//                                     warning. Later lines win over earlier ones; a byte order
//                                     mark at the start is skipped.
//   SavePortEntry(path, key, value)   rewrites the file with `key` (a port, or a port's
//                                     ".reset" or ".reset-ms") set to `value` (an empty value
//                                     removes the key), other lines and comments kept;
//                                     the new file replaces the old one whole (temporary file
//                                     and rename), folders made 0700. False, with a one-line
//                                     reason in `error`, for a bad key or value or a file that
//                                     cannot be read or written; the file is then unchanged.
#include <array>
#include <string>
#include <vector>

#include "posix/devices.h"

namespace pelko::posix {

std::string DefaultPortMapPath();
std::array<bool, 5> LoadPortMap(const std::string& path, DeviceMap& map,
                                std::vector<std::string>& warnings);
bool SavePortEntry(const std::string& path, const std::string& key, const std::string& value,
                   std::string* error = nullptr);

} // namespace pelko::posix
