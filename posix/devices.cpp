#include "posix/devices.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/port.h"
#include "posix/device_list.h"
#include "posix/handoff_socket.h"
#include "posix/port_map.h"
#include "posix/serial_port.h"
#include "posix/telnet_port.h"
#include "resources/port_names.h"

namespace pelko::posix {

namespace {

class PosixPortFactory : public platform::PortFactory {
public:
    explicit PosixPortFactory(DeviceMap map) : map_(std::move(map)) {}

    std::unique_ptr<platform::Port> Open(const std::string& device) override {
        const int n = PortNumberOf(device);
        std::unique_ptr<platform::Port> port;
        if (n >= 1 && !map_.unusable[static_cast<std::size_t>(std::min(n, 5))].empty()) {
            lastError_ = map_.unusable[static_cast<std::size_t>(std::min(n, 5))];
        } else if (n == kTelnetPortNum) {
            port = ConnectTelnetPort(map_.telnetHost, map_.telnetPort);
            lastError_ = port ? "" : LastTelnetConnectError();
        } else if (n < 1 || map_.com[static_cast<std::size_t>(n)].empty()) {
            lastError_ = device + ": no device is set for it";
        } else {
            port = OpenSerialPort(map_.com[static_cast<std::size_t>(n)], map_.lockDir);
            lastError_ = port ? "" : LastSerialOpenError();
        }
        return port;
    }

    std::string DescribeDevice(const std::string& device) override { return map_.Describe(device); }

    std::string LastOpenError() override { return lastError_; }

    void ReleaseOpenPorts() override {
        ReleaseOpenSerialPorts();
        RemoveHandoffSocket();
    }

    // A device's socket is named after its real path, so that every name of it meets the same
    // window; a server after HOST:PORT.
    std::unique_ptr<platform::HandoffListener> ListenForHandoff(const std::string& device,
                                                                std::string& why) override {
        const std::string where = HandoffWhere(map_, device);
        if (where.empty()) {
            why = device + ": leads nowhere";
            return nullptr;
        }
        return ListenHandoffSocket(where, why);
    }

    std::vector<platform::DeviceChoice> DeviceChoices() override {
        std::vector<platform::DeviceChoice> out;
        for (const SerialDevice& d : ListSerialDevices()) {
            out.push_back(
                {d.byId.empty() ? d.path : d.byId,
                 d.path + (d.product.empty() ? "" : "  " + d.product) +
                     (d.byId.empty() ? "" : "  (" + d.byId.substr(d.byId.rfind('/') + 1) + ")")});
        }
        return out;
    }

    platform::Remap RemapPort(int n, const std::string& value, std::string& why) override {
        return RemapInstalledPort(n, value, why);
    }

    platform::Remap SetResetPlan(int n, const platform::ResetPlan& plan,
                                 std::string& why) override {
        return SetInstalledResetPlan(n, plan, why);
    }

    platform::ResetPlan ResetPlanFor(const std::string& device) override {
        const int n = PortNumberOf(device);
        return n >= 1 ? map_.reset[static_cast<std::size_t>(std::min(n, 5))]
                      : platform::ResetPlan{};
    }

private:
    DeviceMap map_;
    std::string lastError_;
};

} // namespace

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

std::string HandoffWhere(const DeviceMap& map, const std::string& device) {
    std::string where = map.Describe(device);
    if (!where.empty() && where[0] == '/') {
        if (char* real = ::realpath(where.c_str(), nullptr); real != nullptr) {
            where = real;
            std::free(real);
        }
    }
    return where;
}

std::string DeviceMap::Describe(const std::string& device) const {
    const int n = PortNumberOf(device);
    if (n >= 1 && !unusable[static_cast<std::size_t>(std::min(n, 5))].empty()) {
        return {}; // leads nowhere
    }
    if (n == kTelnetPortNum) {
        const bool v6 = telnetHost.find(':') != std::string::npos;
        return (v6 ? "[" + telnetHost + "]" : telnetHost) + ":" + std::to_string(telnetPort);
    }
    return n >= 1 ? com[static_cast<std::size_t>(n)] : std::string();
}

namespace {
// Window thread only, as the installs are.
DeviceMap& InstalledMapSlot() {
    static DeviceMap map;
    return map;
}
} // namespace

void InstallPortFactory(const DeviceMap& map) {
    // Factories stay alive for the life of the program: the core may still hold the old one.
    static std::mutex mu;
    static std::vector<std::unique_ptr<platform::PortFactory>> made;
    std::lock_guard lock(mu);
    made.push_back(MakePortFactory(map));
    InstalledMapSlot() = map;
    platform::SetPortFactory(made.back().get());
}

namespace {
// Opens ports through `map` from now on and keeps `entries` (key, value) in the ports file:
// Kept, or NotKept with why when the file could not be written.
platform::Remap InstallAndKeep(const DeviceMap& map,
                               std::initializer_list<std::pair<std::string, std::string>> entries,
                               std::string& why) {
    const std::string file = DefaultPortMapPath();
    bool kept = !file.empty();
    for (const auto& [key, value] : entries) {
        kept = kept && SavePortEntry(file, key, value, &why);
    }
    if (file.empty()) {
        why = "no folder for the ports file";
    }
    InstallPortFactory(map);
    return kept ? platform::Remap::Kept : platform::Remap::NotKept;
}
} // namespace

platform::Remap RemapInstalledPort(int n, const std::string& value, std::string& why) {
    DeviceMap map = InstalledDeviceMap();
    if (n < 1 || n > kTelnetPortNum) {
        why = "no such port";
        return platform::Remap::Refused;
    }
    if (n == kTelnetPortNum) {
        if (!ParseHostPort(value, map.telnetHost, map.telnetPort)) {
            why = "TELNET wants HOST:PORT, not \"" + value + "\".";
            return platform::Remap::Refused;
        }
    } else {
        if (value.empty() || value[0] != '/') {
            why = PortLabel(n) + " wants a device path such as /dev/ttyUSB0.";
            return platform::Remap::Refused;
        }
        map.com[static_cast<std::size_t>(n)] = value;
    }
    map.unusable[static_cast<std::size_t>(n)].clear();
    return InstallAndKeep(map, {{PortLabel(n), value}}, why);
}

platform::Remap SetInstalledResetPlan(int n, const platform::ResetPlan& plan, std::string& why) {
    if (n < 1 || n > kTelnetPortNum || plan.ms < 1 || plan.ms > 10000) {
        why = "no such port, or a pulse outside 1 to 10000 ms";
        return platform::Remap::Refused;
    }
    DeviceMap map = InstalledDeviceMap();
    map.reset[static_cast<std::size_t>(n)] = plan;
    const std::string lines = plan.dtr && plan.rts ? "dtr+rts"
                              : plan.dtr           ? "dtr"
                              : plan.rts           ? "rts"
                                                   : "none";
    return InstallAndKeep(
        map,
        {{PortLabel(n) + ".reset", lines}, {PortLabel(n) + ".reset-ms", std::to_string(plan.ms)}},
        why);
}

DeviceMap InstalledDeviceMap() {
    return InstalledMapSlot();
}

std::unique_ptr<platform::PortFactory> MakePortFactory(const DeviceMap& map) {
    return std::make_unique<PosixPortFactory>(map);
}

} // namespace pelko::posix
