#include "posix/port_map.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_io.h"
#include "platform/temp_file.h"
#include "resources/port_names.h"

namespace pelko::posix {

namespace {

// A mapping file holds a handful of lines; anything much larger is not one.
constexpr std::size_t kMaxFileBytes = 64 * 1024;

using platform::ReadResult;

// The whole file at `path` into `text`; `why` says what went wrong.
ReadResult ReadMapFile(const std::string& path, std::string& text, std::string& why) {
    return platform::ReadSmallFile(path, kMaxFileBytes, text, why);
}

std::string_view Trim(std::string_view s) {
    const std::size_t first = s.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

// Text from the file as it can go into a message: control characters as '?', 40 at most.
std::string Printable(std::string_view s) {
    std::string out;
    for (const char c : s.substr(0, 40)) {
        const auto u = static_cast<unsigned char>(c);
        out += u < 0x20 || u == 0x7f ? '?' : c;
    }
    return s.size() > 40 ? out + "..." : out;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

bool HasControl(std::string_view s) {
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f) {
            return true;
        }
    }
    return false;
}

// Whether `value` is something port `port` can lead to; `why` says why not.
bool ValidValue(int port, const std::string& value, std::string& why) {
    const std::string label = PortLabel(port);
    if (port == kTelnetPortNum) {
        std::string host;
        std::uint16_t number = 0;
        if (!HasControl(value) && ParseHostPort(value, host, number)) {
            return true;
        }
        why = label + " wants HOST:PORT, not \"" + Printable(value) + "\"";
        return false;
    }
    if (value.empty() || value[0] != '/' || HasControl(value)) {
        why = label + " wants a device path such as /dev/ttyUSB0, not \"" + Printable(value) + "\"";
        return false;
    }
    return true;
}

// The port number a line's key names, -1 for a line without "KEY=" or with an unknown key.
int KeyOf(std::string_view line) {
    const std::size_t eq = line.find('=');
    return eq == std::string_view::npos ? -1
                                        : ParsePortLabel(std::string(Trim(line.substr(0, eq))));
}

// A "COMn.reset=" or "COMn.reset-ms=" line: which lines a reset pulses and for how long. True
// when the key is one of these (a bad value then adds a warning and changes nothing).
bool ResetLine(std::string_view key, std::string_view value, const std::string& where,
               DeviceMap& map, std::vector<std::string>& warnings) {
    key = Trim(key);
    const std::size_t dot = key.find('.');
    if (dot == std::string_view::npos) {
        return false;
    }
    const int port = ParsePortLabel(std::string(key.substr(0, dot)));
    std::string what(key.substr(dot + 1));
    for (char& c : what) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (port < 1 || (what != "reset" && what != "reset-ms")) {
        return false;
    }
    platform::ResetPlan& plan = map.reset[static_cast<std::size_t>(port)];
    std::string v(value);
    for (char& c : v) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (what == "reset") {
        if (v == "dtr" || v == "rts" || v == "dtr+rts" || v == "rts+dtr" || v == "none") {
            plan.dtr = v.find("dtr") != std::string::npos;
            plan.rts = v.find("rts") != std::string::npos;
            return true;
        }
        warnings.push_back(where + PortLabel(port) +
                           ".reset wants dtr, rts, dtr+rts or none, not \"" + Printable(value) +
                           "\"; line ignored");
        return true;
    }
    const bool digits =
        !v.empty() && v.size() <= 5 && v.find_first_not_of("0123456789") == std::string::npos;
    const int ms = digits ? std::atoi(v.c_str()) : 0;
    if (ms < 1 || ms > 10000) {
        warnings.push_back(where + PortLabel(port) +
                           ".reset-ms wants 1 to 10000 milliseconds, not \"" + Printable(value) +
                           "\"; line ignored");
        return true;
    }
    plan.ms = ms;
    return true;
}

// Every folder on the way to `file`, made 0700 where missing.
bool MakeFolders(const std::string& file) {
    for (std::size_t slash = file.find('/', 1); slash != std::string::npos;
         slash = file.find('/', slash + 1)) {
        const std::string dir = file.substr(0, slash);
        if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
    }
    return true;
}

} // namespace

std::string DefaultPortMapPath() {
    std::string base;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        base = xdg;
    } else if (home != nullptr && home[0] == '/') {
        base = std::string(home) + "/.config";
    } else {
        char buf[16384];
        passwd pw{};
        passwd* found = nullptr;
        if (::getpwuid_r(::getuid(), &pw, buf, sizeof buf, &found) == 0 && found != nullptr &&
            pw.pw_dir != nullptr && pw.pw_dir[0] == '/') {
            base = std::string(pw.pw_dir) + "/.config";
        }
    }
    while (base.size() > 1 && base.back() == '/') {
        base.pop_back();
    }
    return base.empty() ? base : base + "/pelko/ports";
}

std::array<bool, 5> LoadPortMap(const std::string& path, DeviceMap& map,
                                std::vector<std::string>& warnings) {
    std::array<bool, 5> mapped{};
    std::string text;
    std::string why;
    const ReadResult read = ReadMapFile(path, text, why);
    if (read != ReadResult::Ok) {
        if (read == ReadResult::Failed) {
            warnings.push_back(path + ": " + why + "; no ports mapped from it");
        }
        return mapped;
    }
    std::size_t lineNo = 0;
    const std::size_t start =
        text.starts_with("\xEF\xBB\xBF") ? 3 : 0; // an editor's byte order mark
    for (std::size_t at = start; at < text.size();) {
        std::size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end;
        const std::string_view line = Trim(std::string_view(text).substr(at, end - at));
        at = end + 1;
        ++lineNo;
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const std::string where = path + ":" + std::to_string(lineNo) + ": ";
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            warnings.push_back(where + "not KEY=VALUE; line ignored");
            continue;
        }
        if (ResetLine(line.substr(0, eq), Trim(line.substr(eq + 1)), where, map, warnings)) {
            continue;
        }
        const int port = KeyOf(line);
        if (port < 1) {
            warnings.push_back(where + "unknown port \"" + Printable(Trim(line.substr(0, eq))) +
                               "\" (COM1 to COM4 or TELNET); line ignored");
            continue;
        }
        const std::string value(Trim(line.substr(eq + 1)));
        // A port whose line is unusable leads nowhere rather than to a device never chosen.
        const auto p = static_cast<std::size_t>(port);
        if (!ValidValue(port, value, why)) {
            warnings.push_back(where + why + "; " + PortLabel(port) + " is not opened");
            map.unusable[p] = where + why;
            if (port != kTelnetPortNum) {
                map.com[p].clear();
                mapped[p] = true;
            }
            continue;
        }
        map.unusable[p].clear();
        if (port == kTelnetPortNum) {
            ParseHostPort(value, map.telnetHost, map.telnetPort);
        } else {
            map.com[static_cast<std::size_t>(port)] = value;
            mapped[static_cast<std::size_t>(port)] = true;
        }
    }
    return mapped;
}

bool SavePortEntry(const std::string& path, const std::string& key, const std::string& value,
                   std::string* error) {
    const auto fail = [&](const std::string& why) {
        if (error != nullptr) {
            *error = why;
        }
        return false;
    };
    // "COM1" or "COM1.reset" / "COM1.reset-ms"
    const std::size_t dot = key.find('.');
    const int port = ParsePortLabel(key.substr(0, dot));
    std::string why;
    if (port < 1) {
        return fail("unknown port \"" + Printable(key) + "\" (COM1 to COM4 or TELNET)");
    }
    std::string name = PortLabel(port);
    if (dot != std::string::npos) {
        DeviceMap scratch;
        std::vector<std::string> warnings;
        // An empty value removes the key: only the key is checked.
        const std::string checked = !value.empty()                          ? value
                                    : Lower(key.substr(dot)) == ".reset-ms" ? "100"
                                                                            : "none";
        if (!ResetLine(key, checked, "", scratch, warnings)) {
            return fail("unknown key \"" + Printable(key) + "\" (PORT.reset or PORT.reset-ms)");
        }
        if (!warnings.empty()) {
            return fail(warnings.front().substr(0, warnings.front().rfind(';')));
        }
        name += Lower(key.substr(dot));
    } else if (!value.empty() && !ValidValue(port, value, why)) {
        return fail(why);
    }
    if (path.empty() || path[0] != '/') {
        return fail("no folder for the port mapping file");
    }
    std::string old;
    if (ReadMapFile(path, old, why) == ReadResult::Failed) {
        return fail(path + ": " + why);
    }
    // The first line of this key takes the new value; later ones go.
    const std::string entry = value.empty() ? "" : name + "=" + value + "\n";
    const auto same = [&](std::string_view line) {
        const std::size_t eq = line.find('=');
        return dot == std::string::npos
                   ? KeyOf(line) == port
                   : eq != std::string_view::npos && Lower(Trim(line.substr(0, eq))) == Lower(name);
    };
    bool placed = false;
    std::string text;
    for (std::size_t at = 0; at < old.size();) {
        std::size_t end = old.find('\n', at);
        end = end == std::string::npos ? old.size() : end;
        const std::string_view line = std::string_view(old).substr(at, end - at);
        at = end + 1;
        if (!same(line)) {
            text.append(line).append("\n");
        } else if (!placed) {
            text += entry;
            placed = true;
        }
    }
    if (!placed) {
        text += entry;
    }

    if (!MakeFolders(path)) {
        return fail(path + ": cannot make its folder: " + std::strerror(errno));
    }
    std::string temp;
    const int fd = platform::CreateTempBeside(path, ".ports.", 0644, temp);
    if (fd < 0) {
        return fail(path + ": " + std::strerror(errno));
    }
    int err = 0;
    if (platform::WriteAll(fd, text.data(), text.size()) != text.size() || ::fsync(fd) != 0) {
        err = errno != 0 ? errno : EIO;
    }
    if (::close(fd) != 0 && err == 0) {
        err = errno;
    }
    if (err == 0 && ::rename(temp.c_str(), path.c_str()) != 0) {
        err = errno;
    }
    if (err != 0) {
        ::unlink(temp.c_str());
        return fail(path + ": " + std::strerror(err));
    }
    return true;
}

} // namespace pelko::posix
