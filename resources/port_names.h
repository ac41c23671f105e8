#pragma once
// The names of Pelko's ports: COM1 to COM4 and the Telnet port, as the core opens them and as the
// user writes them.
//   PortDeviceName(n)     the device name the core opens for a port number: "COM1" .. "COM4"
//                         (0 gives "COM0"), "\\.\TELNET" for 5 and above; cannot fail
//   PortNumberOf(device)  the port number a device name stands for: 1..4 for "COM1".."COM4", 5
//                         for "\\.\TELNET"; -1 for any other name
//   PortLabel(n)          what the user sees and types: "COM1" .. "COM4", "TELNET" for 5 and
//                         above; cannot fail
//   ParsePortLabel(text)  the port number for a label, any case ("com2", "TELNET"); -1 for
//                         anything else
#include <cstdint>
#include <string>

namespace pelko {

inline constexpr const char* gszTelnetDevice = "\\\\.\\TELNET";
inline constexpr const char* kTelnetEntry = "TELNET";
// The port number of the Telnet port in the record, the settings file and the Setup dialog.
inline constexpr int kTelnetPortNum = 5;

std::string PortDeviceName(std::uint8_t portNum);
int PortNumberOf(const std::string& device);
std::string PortLabel(int portNum);
int ParsePortLabel(const std::string& text);

} // namespace pelko
