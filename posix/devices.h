#pragma once
// Where Pelko's port names lead on this machine, the command-line options that move them, and
// the port factory the program installs. With no options COM1 to COM4 are /dev/ttyS0 to
// /dev/ttyS3 and the Telnet port is 127.0.0.1:2217; COM0 (port number 0) leads nowhere.
//   ParseDeviceOptions(argc, argv)  reads and removes Pelko's device options from argv (other
//                                   arguments stay, in order, for the window system); the
//                                   result says Run, Help (--help or -h was given) or Error
//                                   (with a one-line text naming the bad argument)
//   DeviceOptionsHelp(program)      the --help text
//   InstallPortFactory(map)         opens ports through `map` from now on (replaces any
//                                   earlier one); cannot fail
//   MakePortFactory(map)            a factory for `map` that is not installed
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

    std::string Describe(const std::string& device) const;
};

enum class OptionsAction { Run, Help, Error };

struct DeviceOptions {
    OptionsAction action = OptionsAction::Run;
    std::string error;
    DeviceMap map;
};

DeviceOptions ParseDeviceOptions(int& argc, char** argv);
std::string DeviceOptionsHelp(const std::string& program);
void InstallPortFactory(const DeviceMap& map);
std::unique_ptr<platform::PortFactory> MakePortFactory(const DeviceMap& map);

} // namespace pelko::posix
