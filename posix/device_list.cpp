#include "posix/device_list.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_io.h"
#include "posix/uucp_lock.h"

namespace pelko::posix {

namespace {

namespace fs = std::filesystem;

// Where a path finally leads, "" when it leads nowhere. Follows links without opening anything.
std::string Resolve(const std::string& path) {
    char real[PATH_MAX];
    return ::realpath(path.c_str(), real) != nullptr ? std::string(real) : std::string();
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// Text for the user's terminal with control characters as '?': a USB device names itself, and
// a process its command, and neither may send escape sequences to the terminal that way.
std::string Printable(std::string text) {
    for (char& c : text) {
        const auto u = static_cast<unsigned char>(c);
        c = u < 0x20 || u == 0x7f ? '?' : c;
    }
    return text;
}

// A short text file of sysfs, trimmed and printable.
std::string ReadAttribute(const std::string& path) {
    std::string out;
    std::string why;
    if (platform::ReadSmallFile(path, 4096, out, why) != platform::ReadResult::Ok) {
        return {};
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ' || out.back() == '\t')) {
        out.pop_back();
    }
    out.resize(std::min<std::size_t>(out.size(), 255));
    return Printable(std::move(out));
}

// The last part of where a link points: ".../drivers/cdc_acm" -> "cdc_acm".
std::string LinkTargetName(const std::string& link) {
    char target[PATH_MAX];
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0) {
        return {};
    }
    const std::string s(target, static_cast<std::size_t>(n));
    return s.substr(s.rfind('/') + 1);
}

std::string BaseName(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

// Names in the order people count them: ttyS2 before ttyS10.
bool NaturalLess(const std::string& a, const std::string& b) {
    const auto split = [](const std::string& s) {
        const std::size_t digits = s.find_last_not_of("0123456789") + 1;
        const std::string number = s.substr(digits);
        return std::make_pair(s.substr(0, digits),
                              number.empty() || number.size() > 9 ? -1 : std::stoi(number));
    };
    const auto ka = split(a);
    const auto kb = split(b);
    return ka != kb ? ka < kb : a < b;
}

// The USB device a tty belongs to: the first folder up from its device that has idVendor.
std::string UsbDeviceFolder(std::string dir) {
    for (int up = 0; up < 5 && dir.size() > 1; ++up) {
        if (Exists(dir + "/idVendor")) {
            return dir;
        }
        dir = dir.substr(0, dir.rfind('/'));
    }
    return {};
}

// Whether a port mapping `mapped` leads to the device at `path` (by-id name `byId`).
bool LeadsTo(const std::string& mapped, const std::string& path, const std::string& byId) {
    if (mapped.empty()) {
        return false;
    }
    if (mapped == path || (!byId.empty() && mapped == byId)) {
        return true;
    }
    const std::string real = Resolve(mapped);
    return !real.empty() && real == Resolve(path);
}

} // namespace

const char* KindName(DeviceKind kind) {
    switch (kind) {
    case DeviceKind::UsbAcm:
        return "acm";
    case DeviceKind::UsbSerial:
        return "usb";
    case DeviceKind::Uart:
        return "uart";
    case DeviceKind::Other:
        break;
    }
    return "other";
}

std::vector<SerialDevice> ListSerialDevices(const ListRoots& roots,
                                            std::vector<std::string>* warnings) {
    // The by-id names, by the node each leads to.
    std::map<std::string, std::string> byId;
    std::vector<std::string> links;
    std::error_code ec;
    for (fs::directory_iterator it(roots.byId, ec), end; !ec && it != end; it.increment(ec)) {
        links.push_back(it->path().string());
    }
    std::sort(links.begin(), links.end());
    for (const std::string& link : links) {
        const std::string real = Resolve(link);
        if (real.empty()) {
            if (warnings != nullptr) {
                warnings->push_back(link + ": leads to no device; left out");
            }
        } else {
            byId.emplace(real, link); // the first name of a node is kept
        }
    }

    std::vector<SerialDevice> devices;
    for (fs::directory_iterator it(roots.sysClassTty, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const std::string tty = roots.sysClassTty + "/" + name;
        const std::string device = Resolve(tty + "/device");
        SerialDevice d;
        d.path = roots.dev + "/" + name;
        if (device.empty() || !Exists(d.path)) {
            continue; // virtual terminals, pseudo-terminals, consoles, or no node
        }
        const bool uart = Exists(tty + "/type");
        if (uart && ReadAttribute(tty + "/type") == "0") {
            continue; // a UART port with no UART behind it
        }
        d.driver = LinkTargetName(device + "/driver");
        const std::string usb = UsbDeviceFolder(device);
        if (!usb.empty()) {
            d.usbId = ReadAttribute(usb + "/idVendor") + ":" + ReadAttribute(usb + "/idProduct");
            d.product = ReadAttribute(usb + "/product");
            d.serial = ReadAttribute(usb + "/serial");
            const bool acm = d.driver == "cdc_acm" || name.compare(0, 6, "ttyACM") == 0;
            d.kind = acm ? DeviceKind::UsbAcm : DeviceKind::UsbSerial;
        } else {
            d.kind = uart ? DeviceKind::Uart : DeviceKind::Other;
        }
        const auto found = byId.find(Resolve(d.path));
        if (found != byId.end()) {
            d.byId = found->second;
        }
        devices.push_back(std::move(d));
    }
    std::sort(devices.begin(), devices.end(), [](const SerialDevice& a, const SerialDevice& b) {
        return NaturalLess(BaseName(a.path), BaseName(b.path));
    });
    return devices;
}

std::string FormatDeviceList(const std::vector<SerialDevice>& devices, const DeviceMap& comMap,
                             const std::string& lockDir) {
    if (devices.empty()) {
        return "No serial devices found.\n";
    }
    constexpr std::size_t kColumns = 6;
    std::vector<std::array<std::string, kColumns>> rows;
    std::array<std::size_t, kColumns> width{};
    for (const SerialDevice& d : devices) {
        std::string ports;
        for (std::size_t n = 1; n < comMap.com.size(); ++n) {
            if (LeadsTo(comMap.com[n], d.path, d.byId)) {
                ports += (ports.empty() ? "COM" : ",COM") + std::to_string(n);
            }
        }
        // Locks are named after the node in /dev, whatever folder the listing looked in.
        std::string state =
            Printable(UucpLockHolder(UucpLockPath(lockDir, "/dev/" + BaseName(d.path))));
        if (state.compare(0, 8, "process ") == 0) {
            state.erase(0, 8); // "process 812 (minicom)"
        }
        state = state.empty() ? "free" : "in use by " + state;
        std::string usb = d.usbId;
        if (!d.product.empty()) {
            usb += usb.empty() ? d.product : " " + d.product;
        }
        std::array<std::string, kColumns> row{d.path, d.byId, d.driver, usb, ports, state};
        for (std::size_t c = 0; c < kColumns; ++c) {
            row[c] = row[c].empty() ? "-" : row[c];
            width[c] = std::max(width[c], row[c].size());
        }
        rows.push_back(std::move(row));
    }
    std::string out;
    for (const auto& row : rows) {
        for (std::size_t c = 0; c + 1 < kColumns; ++c) {
            out += row[c] + std::string(width[c] - row[c].size() + 2, ' ');
        }
        out += row[kColumns - 1] + "\n";
    }
    return out;
}

void AutoMap(DeviceMap& map, const std::vector<SerialDevice>& devices,
             const std::array<bool, 5>& explicitlyMapped) {
    const auto taken = [&](const std::string& path, const std::string& byId) {
        for (std::size_t n = 1; n < map.com.size(); ++n) {
            if (explicitlyMapped[n] && LeadsTo(map.com[n], path, byId)) {
                return true;
            }
        }
        return false;
    };
    std::vector<const SerialDevice*> boards;
    for (const SerialDevice& d : devices) {
        const bool usb = d.kind == DeviceKind::UsbAcm || d.kind == DeviceKind::UsbSerial;
        if (usb && !taken(d.path, d.byId)) {
            boards.push_back(&d);
        }
    }
    std::stable_sort(boards.begin(), boards.end(),
                     [](const SerialDevice* a, const SerialDevice* b) {
                         if (a->byId.empty() != b->byId.empty()) {
                             return !a->byId.empty();
                         }
                         return a->byId.empty() ? NaturalLess(BaseName(a->path), BaseName(b->path))
                                                : a->byId < b->byId;
                     });
    std::size_t next = 0;
    int uart = 0;
    for (std::size_t n = 1; n < map.com.size(); ++n) {
        if (explicitlyMapped[n]) {
            continue;
        }
        if (next < boards.size()) {
            const SerialDevice& d = *boards[next++];
            map.com[n] = d.byId.empty() ? d.path : d.byId;
            continue;
        }
        std::string path;
        do {
            path = "/dev/ttyS" + std::to_string(uart++);
        } while (taken(path, ""));
        map.com[n] = path;
    }
}

} // namespace pelko::posix
