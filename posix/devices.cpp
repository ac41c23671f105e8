#include "posix/devices.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/port.h"
#include "posix/serial_port.h"
#include "posix/telnet_port.h"
#include "resources/port_names.h"

namespace pelko::posix {

namespace {

bool ParseHostPort(const std::string& text, std::string& host, std::uint16_t& port) {
    std::string h;
    std::string p;
    if (!text.empty() && text[0] == '[') { // [v6-address]:port
        const std::size_t close = text.find(']');
        if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':') {
            return false;
        }
        h = text.substr(1, close - 1);
        p = text.substr(close + 2);
    } else {
        const std::size_t colon = text.rfind(':');
        if (colon == std::string::npos) {
            return false;
        }
        h = text.substr(0, colon);
        p = text.substr(colon + 1);
    }
    if (h.empty() || p.empty() || p.size() > 5 ||
        p.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    const long value = std::strtol(p.c_str(), nullptr, 10);
    if (value < 1 || value > 65535) {
        return false;
    }
    host = h;
    port = static_cast<std::uint16_t>(value);
    return true;
}

class PosixPortFactory : public platform::PortFactory {
public:
    explicit PosixPortFactory(DeviceMap map) : map_(std::move(map)) {}

    std::unique_ptr<platform::Port> Open(const std::string& device) override {
        const int n = PortNumberOf(device);
        if (n == kTelnetPortNum) {
            return ConnectTelnetPort(map_.telnetHost, map_.telnetPort);
        }
        if (n < 1 || map_.com[static_cast<std::size_t>(n)].empty()) {
            return nullptr;
        }
        return OpenSerialPort(map_.com[static_cast<std::size_t>(n)], map_.lockDir);
    }

    std::string DescribeDevice(const std::string& device) override { return map_.Describe(device); }

private:
    DeviceMap map_;
};

} // namespace

std::string DeviceMap::Describe(const std::string& device) const {
    const int n = PortNumberOf(device);
    if (n == kTelnetPortNum) {
        const bool v6 = telnetHost.find(':') != std::string::npos;
        return (v6 ? "[" + telnetHost + "]" : telnetHost) + ":" + std::to_string(telnetPort);
    }
    return n >= 1 ? com[static_cast<std::size_t>(n)] : std::string();
}

DeviceOptions ParseDeviceOptions(int& argc, char** argv) {
    DeviceOptions result;
    int kept = argc > 0 ? 1 : 0;
    for (int i = kept; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            result.action = OptionsAction::Help;
            continue;
        }
        // --com1=PATH, --com1 PATH, ..., --telnet=HOST:PORT, --telnet HOST:PORT
        std::string name = arg;
        std::string value;
        bool hasValue = false;
        const std::size_t eq = arg.find('=');
        if (eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            hasValue = true;
        }
        const bool isCom = name.size() == 6 && name.compare(0, 5, "--com") == 0 && name[5] >= '1' &&
                           name[5] <= '4';
        if (!isCom && name != "--telnet") {
            argv[kept++] = argv[i]; // not ours: left for the window system
            continue;
        }
        if (!hasValue) {
            if (i + 1 >= argc) {
                result.action = OptionsAction::Error;
                result.error = name + " needs a value";
                break;
            }
            value = argv[++i];
        }
        if (isCom) {
            if (value.empty()) {
                result.action = OptionsAction::Error;
                result.error = name + " needs a device path";
                break;
            }
            result.map.com[static_cast<std::size_t>(name[5] - '0')] = value;
        } else if (!ParseHostPort(value, result.map.telnetHost, result.map.telnetPort)) {
            result.action = OptionsAction::Error;
            result.error = "--telnet wants HOST:PORT, not \"" + value + "\"";
            break;
        }
    }
    if (result.action == OptionsAction::Error) {
        return result; // argv is left as it was
    }
    for (int i = kept; i < argc; ++i) {
        argv[i] = nullptr;
    }
    argc = kept;
    return result;
}

std::string DeviceOptionsHelp(const std::string& program) {
    return "Usage: " + program +
           " [options]\n"
           "\n"
           "Pelko v3.1, the Zemra terminal and source uploader.\n"
           "\n"
           "The Setup dialog offers COM1 to COM4 and TELNET. These options choose what each\n"
           "of them opens:\n"
           "  --com1=PATH        serial device for COM1 (default /dev/ttyS0)\n"
           "  --com2=PATH        serial device for COM2 (default /dev/ttyS1)\n"
           "  --com3=PATH        serial device for COM3 (default /dev/ttyS2)\n"
           "  --com4=PATH        serial device for COM4 (default /dev/ttyS3)\n"
           "  --telnet=HOST:PORT RFC 2217 server for TELNET (default 127.0.0.1:2217);\n"
           "                     write an IPv6 address as [ADDRESS]:PORT\n"
           "  -h, --help         show this text and exit\n"
           "\n"
           "Each option also takes its value as the next argument (--com1 /dev/ttyUSB0).\n"
           "A serial device is opened for Pelko alone: a UUCP lock file in /var/lock, flock\n"
           "and TIOCEXCL keep other programs off it while it is connected.\n"
           "\n"
           "Example, a USB serial adapter as COM1:\n"
           "  " +
           program + " --com1=/dev/ttyUSB0\n";
}

void InstallPortFactory(const DeviceMap& map) {
    // Factories stay alive for the life of the program: the core may still hold the old one.
    static std::mutex mu;
    static std::vector<std::unique_ptr<platform::PortFactory>> made;
    std::lock_guard lock(mu);
    made.push_back(MakePortFactory(map));
    platform::SetPortFactory(made.back().get());
}

std::unique_ptr<platform::PortFactory> MakePortFactory(const DeviceMap& map) {
    return std::make_unique<PosixPortFactory>(map);
}

} // namespace pelko::posix
