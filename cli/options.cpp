#include "cli/options.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <getopt.h>
#include <set>
#include <vector>

#include "log/session_log.h"
#include "posix/device_list.h"
#include "posix/port_map.h"
#include "resources/globals.h"
#include "resources/port_names.h"
#include "settings/settings.h"

namespace pelko::cli {

namespace {

enum OptionId {
    kHelp = 'h',
    kVersion = 'V',
    kBaud = 'b',
    kUpload = 256,
    kDryRun,
    kVisible,
    kPort,
    kMax40,
    kTimeout,
    kCom1,
    kCom2,
    kCom3,
    kCom4,
    kTelnet,
    kList,
    kLog,
    kLogTimestamps,
    kNoReconnect,
    kDeps,
    kReset,
    kResetWait,
};

constexpr option kLongOptions[] = {
    {"help", no_argument, nullptr, kHelp},
    {"version", no_argument, nullptr, kVersion},
    {"upload", required_argument, nullptr, kUpload},
    {"dry-run", required_argument, nullptr, kDryRun},
    {"visible", no_argument, nullptr, kVisible},
    {"port", required_argument, nullptr, kPort},
    {"baud", required_argument, nullptr, kBaud},
    {"max40", no_argument, nullptr, kMax40},
    {"timeout", required_argument, nullptr, kTimeout},
    {"com1", required_argument, nullptr, kCom1},
    {"com2", required_argument, nullptr, kCom2},
    {"com3", required_argument, nullptr, kCom3},
    {"com4", required_argument, nullptr, kCom4},
    {"telnet", required_argument, nullptr, kTelnet},
    {"list", no_argument, nullptr, kList},
    {"log", required_argument, nullptr, kLog},
    {"log-timestamps", no_argument, nullptr, kLogTimestamps},
    {"no-reconnect", no_argument, nullptr, kNoReconnect},
    {"deps", required_argument, nullptr, kDeps},
    {"reset", no_argument, nullptr, kReset},
    {"reset-wait", required_argument, nullptr, kResetWait},
    {nullptr, 0, nullptr, 0},
};

std::string NameOf(int id) {
    for (const option& o : kLongOptions) {
        if (o.name != nullptr && o.val == id) {
            return std::string("--") + o.name;
        }
    }
    return "?";
}

bool ParseSeconds(const std::string& text, double& out) {
    char* end = nullptr;
    errno = 0;
    out = std::strtod(text.c_str(), &end);
    return errno == 0 && end != text.c_str() && *end == '\0' && out >= 0 && out < 1e9;
}

bool ParseBaud(const std::string& text, std::uint32_t& out) {
    if (text.empty() || text.size() > 7 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    const long value = std::strtol(text.c_str(), nullptr, 10);
    if (value < 50 || value > 4000000) {
        return false;
    }
    out = static_cast<std::uint32_t>(value);
    return true;
}

Options Fail(Options o, std::string why) {
    o.action = Action::Error;
    o.error = std::move(why);
    return o;
}

} // namespace

Options ParseCommandLine(int argc, char** argv) {
    Options o;
    // getopt_long reorders what it is given; it works on a copy.
    std::vector<char*> args(argv, argv + argc);
    args.push_back(nullptr);
    std::set<int> seen;
    bool help = false;
    bool version = false;
    opterr = 0;
    optind = 0; // start afresh (GNU), also on a second call
    for (;;) {
        int index = -1;
        const int id = getopt_long(argc, args.data(), ":hVb:", kLongOptions, &index);
        if (id == -1) {
            break;
        }
        if (id == '?') {
            const std::string arg = optind > 0 && optind <= argc ? args[optind - 1] : "";
            return Fail(o, optopt != 0 && arg.rfind("--", 0) != 0
                               ? std::string("unknown option -") + static_cast<char>(optopt)
                               : "unknown option " + arg.substr(0, arg.find('=')));
        }
        if (id == ':') {
            return Fail(
                o, (optopt >= 256 ? NameOf(optopt) : std::string("-") + static_cast<char>(optopt)) +
                       " needs a value");
        }
        const std::string name = id == kBaud ? "--baud" : NameOf(id);
        const bool mode = id == kUpload || id == kDryRun || id == kDeps;
        if (!seen.insert(mode ? kUpload : id).second) {
            return Fail(o, mode ? "give one of --upload, --dry-run and --deps, once"
                                : name + " is given twice");
        }
        const std::string value = optarg != nullptr ? optarg : "";
        // "--upload --port COM2": an option's name where its value belongs.
        if (optarg != nullptr && value.size() > 1 && value[0] == '-') {
            return Fail(o, name + " needs a value, not the option " + value);
        }
        switch (id) {
        case kHelp:
            help = true;
            break;
        case kVersion:
            version = true;
            break;
        case kLog:
            o.log = value;
            if (value.empty()) {
                return Fail(o, "--log needs a file name");
            }
            break;
        case kLogTimestamps:
            o.logTimestamps = true;
            break;
        case kList:
            o.action = o.action == Action::Window ? Action::List : o.action;
            break;
        case kUpload:
        case kDryRun:
        case kDeps:
            o.action = id == kUpload   ? Action::Upload
                       : id == kDryRun ? Action::DryRun
                                       : Action::Deps;
            o.file = value;
            if (value.empty()) {
                return Fail(o, name + " needs a file name");
            }
            break;
        case kVisible:
            o.visible = true;
            break;
        case kMax40:
            o.max40 = true;
            break;
        case kNoReconnect:
            o.noReconnect = true;
            break;
        case kReset:
            o.reset = true;
            break;
        case kResetWait: {
            double ms = -1;
            if (!ParseSeconds(value, ms) || ms > kMaxResetWaitMs || ms != std::floor(ms)) {
                return Fail(o, "--reset-wait wants a number of milliseconds up to 60000, not \"" +
                                   value + "\"");
            }
            o.resetWaitMs = static_cast<int>(ms);
            break;
        }
        case kPort:
            o.port = ParsePortLabel(value);
            if (o.port < 1) {
                return Fail(o, "--port wants COM1 to COM4 or TELNET, not \"" + value + "\"");
            }
            break;
        case kBaud:
            if (!ParseBaud(value, o.baud)) {
                return Fail(o, "--baud wants a rate such as 9600 or 115200, not \"" + value + "\"");
            }
            break;
        case kTimeout:
            if (!ParseSeconds(value, o.timeout)) {
                return Fail(o, "--timeout wants a number of seconds (0: no limit), not \"" + value +
                                   "\"");
            }
            break;
        case kTelnet:
            if (!posix::ParseHostPort(value, o.map.telnetHost, o.map.telnetPort)) {
                return Fail(o, "--telnet wants HOST:PORT, not \"" + value + "\"");
            }
            o.telnetGiven = true;
            break;
        default: // --com1 .. --com4
            if (value.empty()) {
                return Fail(o, name + " needs a device path");
            }
            o.map.com[static_cast<std::size_t>(id - kCom1 + 1)] = value;
            o.comGiven[static_cast<std::size_t>(id - kCom1 + 1)] = true;
            break;
        }
    }
    for (int i = optind; i < argc; ++i) {
        if (!o.device.empty()) {
            return Fail(o, std::string("one device at most, not also \"") + args[i] + "\"");
        }
        o.device = args[i];
        if (o.device.empty()) {
            return Fail(o, "an empty device name");
        }
    }
    if (help) {
        o.action = Action::Help;
        return o;
    }
    if (version) {
        o.action = Action::Version;
        return o;
    }
    if (seen.count(kList) != 0 && (o.action != Action::List || !o.device.empty())) {
        return Fail(o, "--list goes alone");
    }
    if (o.logTimestamps && o.log.empty()) {
        return Fail(o, "--log-timestamps goes with --log FILE");
    }
    if (seen.count(kResetWait) != 0 && !o.reset) {
        return Fail(o, "--reset-wait goes with --reset");
    }
    if (o.reset && o.action != Action::Upload) {
        return Fail(o, "--reset goes with --upload");
    }
    if (o.action == Action::Window && (o.visible || o.max40 || seen.count(kTimeout) != 0)) {
        return Fail(o, "--visible, --max40 and --timeout go with --upload or --dry-run");
    }
    if (!o.device.empty()) {
        if (seen.count(kCom1) != 0 || (o.port != 0 && o.port != 1)) {
            return Fail(o, "a DEVICE is COM1 for this run: leave out --com1 and --port");
        }
        // A name below /dev/serial/by-id may be given without its folder.
        std::string path = o.device;
        if (path.find('/') == std::string::npos) {
            path = "/dev/" + path;
        }
        o.map.com[1] = path;
        o.comGiven[1] = true;
        o.port = 1;
    }
    return o;
}

void ResolveDevices(Options& o, std::vector<std::string>& warnings) {
    posix::DeviceMap map;
    std::array<bool, 5> given = posix::LoadPortMap(posix::DefaultPortMapPath(), map, warnings);
    for (std::size_t n = 1; n < given.size(); ++n) {
        if (o.comGiven[n]) {
            map.com[n] = o.map.com[n];
            map.unusable[n].clear();
            given[n] = true;
        }
    }
    if (o.telnetGiven) {
        map.telnetHost = o.map.telnetHost;
        map.telnetPort = o.map.telnetPort;
        map.unusable[kTelnetPortNum].clear();
    }
    map.lockDir = o.map.lockDir;
    // A run that opens no device, or only ones named, has no need to look through sysfs.
    bool named = o.action == Action::DryRun || o.action == Action::Deps;
    if (o.action == Action::Upload) {
        named = o.port == kTelnetPortNum || (given[1] && given[2] && given[3] && given[4]) ||
                (o.port >= 1 && o.port <= 4 && given[static_cast<std::size_t>(o.port)]);
    }
    posix::AutoMap(map, named ? std::vector<posix::SerialDevice>{} : posix::ListSerialDevices(),
                   given);
    o.map = map;
}

std::string ListText(const Options& o, std::vector<std::string>& warnings) {
    std::string text =
        posix::FormatDeviceList(posix::ListSerialDevices({}, &warnings), o.map, o.map.lockDir);
    for (int n = 1; n <= kTelnetPortNum; ++n) {
        const std::string& why = o.map.unusable[static_cast<std::size_t>(n)];
        if (!why.empty()) {
            text += PortLabel(n) + ": unusable, leads nowhere: " + why + "\n";
        }
    }
    return Printable(text);
}

std::string Printable(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if ((b < 0x20 && c != '\n') || b == 0x7F) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\x%02x", b);
            out += esc;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

void StartLog(const Options& o, const std::string& program) {
    std::string why;
    if (!o.log.empty() && !OpenSessionLog(o.log, o.logTimestamps, why)) {
        std::fprintf(stderr, "%s: cannot write the log %s; going on without one\n", program.c_str(),
                     why.c_str());
    }
}

void ApplyRunOverrides(const Options& o) {
    gRunOverrides.port = static_cast<std::uint8_t>(o.port);
    gRunOverrides.baud = o.baud;
    gRunOverrides.max40 = o.max40;
    gRunOverrides.noReconnect = o.noReconnect;
}

std::string VersionText() {
    return std::string(gszAppName) + " (pelko " PELKO_VERSION ")\n";
}

std::string HelpText(const std::string& program) {
    return "Usage: " + program + " [options] [DEVICE]\n" + "       " + program +
           " --upload FILE [options] [DEVICE]\n" + "       " + program +
           " --dry-run FILE [--max40]\n" + "       " + program +
           " --deps FILE\n"
           "\n"
           "Pelko v3.1, the Zemra terminal and source uploader.\n"
           "\n"
           "DEVICE (a path such as /dev/ttyACM0, or a name in /dev) is COM1 for this run.\n"
           "The Setup dialog offers COM1 to COM4 and TELNET. These options choose what each\n"
           "of them opens:\n"
           "  --com1=PATH        serial device for COM1 (default /dev/ttyS0)\n"
           "  --com2=PATH        serial device for COM2 (default /dev/ttyS1)\n"
           "  --com3=PATH        serial device for COM3 (default /dev/ttyS2)\n"
           "  --com4=PATH        serial device for COM4 (default /dev/ttyS3)\n"
           "  --telnet=HOST:PORT RFC 2217 server for TELNET (default 127.0.0.1:2217);\n"
           "                     write an IPv6 address as [ADDRESS]:PORT\n"
           "  --port=PORT        COM1 to COM4 or TELNET for this run\n"
           "  -b, --baud=N       baud rate for this run (Save Setup keeps it when PELKO.SET\n"
           "                     can hold it)\n"
           "  --log=FILE         append what is received and typed, raw, and the upload's\n"
           "                     events as lines of their own, to FILE\n"
           "  --log-timestamps   begin each received line in the log with the local time\n"
           "                     in ISO 8601\n"
           "  --no-reconnect     when the port is lost, ask to Disconnect and Connect again;\n"
           "                     by default Pelko waits for the device (or retries the TELNET\n"
           "                     server) and reconnects by itself\n"
           "  -h, --help         show this text and exit\n"
           "  -V, --version      show the version and exit\n"
           "  --list             list the serial devices of this machine (device, by-id name,\n"
           "                     driver, USB id and product, COM port, in use) and exit\n"
           "\n"
           "Each option also takes its value as the next argument (--com1 /dev/ttyUSB0); `--`\n"
           "ends the options. Without them PELKO.SET in the working folder decides.\n"
           "COM1 to COM4 and TELNET may also be set for good in ~/.config/pelko/ports\n"
           "(XDG_CONFIG_HOME), one KEY=VALUE a line: COM1=/dev/serial/by-id/..., "
           "TELNET=HOST:PORT.\n"
           "A COM port that nothing names goes to the USB serial boards present (in the order\n"
           "of their /dev/serial/by-id names), then to /dev/ttyS0 and up.\n"
           "A serial device is opened for Pelko alone: a UUCP lock file in /var/lock, flock\n"
           "and TIOCEXCL keep other programs off it while it is connected.\n"
           "\n"
           "Without a window, for scripts:\n"
           "  --upload FILE      uploads FILE to the target, paced by its echo, as Upload Fast\n"
           "                     does; progress goes to standard output, problems to standard\n"
           "                     error as FILE:LINE: message; a FILE of - is standard input\n"
           "  --visible          as Upload Visible does\n"
           "  --max40            the 40-column limit for this run\n"
           "  --reset            resets the target first (the port's reset lines, DTR by\n"
           "                     default) and shows what it prints while it starts\n"
           "  --reset-wait=MS    how long the target is given to start (default 500)\n"
           "  --timeout=SECONDS  the longest wait for the answer to one line (default 10;\n"
           "                     0 waits for ever)\n"
           "  --dry-run FILE     prints what an upload would send, without connecting:\n"
           "                       '   12 | text'  line 12 of the file goes out as text and CR\n"
           "                       '   13 + text'  a line cut at the column limit, sent\n"
           "                                       without a CR\n"
           "                       '      = pause' the upload stops and asks to go on\n"
           "                       '      ! text'  a message the upload shows\n"
           "                     a line of an included file has its file before the number\n"
           "                       'lib/a.src:3 | text'\n"
           "  --deps FILE        prints the files an upload of FILE reads besides FILE, in\n"
           "                     make's syntax: 'FILE: lib/a.src lib/b.src'\n"
           "\n"
           "Pelko reads source lines ended by CR, LF or CR LF; a last line without an end is\n"
           "sent as if it had one. A pause directive asks on the terminal when standard input\n"
           "is one; otherwise the upload goes on and says so on standard error.\n"
           "A line '#include PATH' or '#require PATH' is not sent: the file it names is read\n"
           "in its place (a relative PATH from the folder of the file naming it; #require\n"
           "skips a file read already). A missing file, a loop or more than 16 levels stop\n"
           "the upload before its first line.\n"
           "\n"
           "Exit status of --upload, --dry-run and --deps:\n"
           "  0   the whole file was sent and accepted (or listed)\n"
           "  1   the target rejected a line\n"
           "  2   the port could not be opened, or the connection was lost\n"
           "  3   the source file, or a file it includes, could not be opened or read\n"
           "  4   no answer within the time-out, or a closed output\n"
           "  64  the command line was wrong\n"
           "SIGINT (Ctrl+C), SIGTERM and SIGHUP end Pelko by that signal (status 128 + N in a\n"
           "shell), once the port is closed and its lock file removed.\n"
           "\n"
           "A Pelko window of the same user that holds the port takes the upload: it runs\n"
           "there as F3 (F4) does, and this command prints and ends as above. A busy window\n"
           "refuses (status 2); -b, --max40, --log and --reset cannot apply to it (status 64).\n"
           "\n"
           "In a Makefile:\n"
           "  upload: app.src\n"
           "  \tpelko --upload $< /dev/ttyACM0\n";
}

} // namespace pelko::cli
