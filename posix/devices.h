#pragma once
// Where Pelko's port names lead on this machine, and the port factory the program installs.
// By default COM1 to COM4 are /dev/ttyS0 to /dev/ttyS3 and the Telnet port is 127.0.0.1:2217;
// COM0 (port number 0) leads nowhere.
//   ParseHostPort(text, host, port) reads "HOST:PORT" or "[V6ADDRESS]:PORT" (port 1..65535);
//                                   false, with host and port untouched, for anything else
//   InstallPortFactory(map)         opens ports through `map` from now on (replaces any
//                                   earlier one); cannot fail
//   InstalledDeviceMap()            the map InstallPortFactory last installed (the default map
//                                   before any); window thread only
//   MakePortFactory(map)            a factory for `map` that is not installed
//   RemapInstalledPort(n, value, why)  port n leads to value from now on (a new factory is
//                                   installed) and in the ports file; see platform::RemapPort
//   SetInstalledResetPlan(n, plan, why)  a reset of port n pulses as `plan` from now on (a new
//                                   factory is installed) and in the ports file; see
//                                   platform::SetResetPlan
//   HandoffWhere(map, device)       what names the hand-off socket of the port behind device: a
//                                   device's real path (as given when it is missing), a server's
//                                   HOST:PORT; "" for a name that leads nowhere
//   DeviceMap::Describe(device)     "/dev/ttyS0", "127.0.0.1:2217", or "" for a name that leads
//                                   nowhere
#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/port.h"
#include "posix/serial_port.h"

namespace pelko::posix {

struct DeviceMap {
    std::array<std::string, 5> com{"", "/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2", "/dev/ttyS3"};
    std::string telnetHost = "127.0.0.1";
    std::uint16_t telnetPort = 2217;
    std::string lockDir = kDefaultLockDir; // UUCP lock files
    // Ports whose line in the ports file is there but cannot be used ("FILE:LINE: reason"): they
    // lead nowhere, and opening them fails with this. Index = port number (5: TELNET).
    std::array<std::string, 6> unusable{};
    // What a reset pulses on each port, and for how long (COMn.reset=, COMn.reset-ms=).
    std::array<platform::ResetPlan, 6> reset{};

    std::string Describe(const std::string& device) const;
};

bool ParseHostPort(const std::string& text, std::string& host, std::uint16_t& port);
std::string HandoffWhere(const DeviceMap& map, const std::string& device);
void InstallPortFactory(const DeviceMap& map);
DeviceMap InstalledDeviceMap();
std::unique_ptr<platform::PortFactory> MakePortFactory(const DeviceMap& map);
platform::Remap RemapInstalledPort(int n, const std::string& value, std::string& why);
platform::Remap SetInstalledResetPlan(int n, const platform::ResetPlan& plan, std::string& why);

} // namespace pelko::posix
