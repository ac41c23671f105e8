#pragma once
// Pelko's command line, one parser for the window and for scripts (getopt_long: --opt=value and
// --opt value, `--` ends the options).
//   ParseCommandLine(argc, argv)  the action to take and its settings; Action::Error with a
//                                 one-line reason for an unknown option, a bad value, an
//                                 option given twice, two modes at once, or an option name
//                                 where a value belongs. argv is left as it was.
//   HelpText(program)             the --help text: every option and exit status
//   VersionText()                 the --version line
//   ResolveDevices(options, warnings)  where COM1 to COM4 and TELNET lead for this run: the
//                                 per-user port file, the command line on top, and for a COM
//                                 port neither names, the serial boards present, then
//                                 /dev/ttyS0 and up; the file's bad lines become warnings
//   ListText(options, warnings)   the --list text for the resolved map (never opens a device),
//                                 and what the listing had to warn of
//   Printable(text)               text with its control bytes shown escaped (\x1b), line ends
//                                 kept: for names that come from outside
//   StartLog(options, program)    opens the --log file; a file that cannot be opened is said on
//                                 standard error once and the session goes on without it
//   ApplyRunOverrides(options)    hands the port, baud rate, column limit and --no-reconnect
//                                 chosen for this run to the settings (gRunOverrides); cannot
//                                 fail
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "posix/devices.h"

namespace pelko::cli {

enum ExitStatus {
    kExitOk = 0,
    kExitRejected = 1,   // the target rejected a line
    kExitConnection = 2, // the port could not be opened, or it died during the upload
    kExitFile = 3,       // the source file (or one it includes) could not be opened or read
    kExitAborted = 4,    // interrupted (Ctrl+C, SIGTERM), or no answer within the time-out
    kExitUsage = 64,     // a bad command line
};

enum class Action { Window, Help, Version, List, Error, Upload, DryRun, Deps };

inline constexpr double kDefaultTimeout = 10; // seconds
inline constexpr int kDefaultResetWaitMs = 500;
inline constexpr int kMaxResetWaitMs = 60000;

struct Options {
    Action action = Action::Window;
    std::string error;
    posix::DeviceMap map;
    std::string file;
    std::string device; // a DEVICE given by itself: COM1 for this run
    bool visible = false;
    int port = 0;                     // 1..4 for COM1..COM4, 5 for TELNET; 0: as PELKO.SET says
    std::uint32_t baud = 0;           // 0: as PELKO.SET says
    bool max40 = false;               // true: 40 columns whatever PELKO.SET says
    double timeout = kDefaultTimeout; // seconds one answer may take; 0: no limit
    std::array<bool, 5> comGiven{};   // --comN (or DEVICE for COM1) named a device
    bool telnetGiven = false;
    std::string log; // --log FILE: the session's record; "" for none
    bool logTimestamps = false;
    bool noReconnect = false;              // a lost port is not waited for
    bool reset = false;                    // --reset: the target is reset before the upload
    int resetWaitMs = kDefaultResetWaitMs; // how long it is given to start after the reset
};

Options ParseCommandLine(int argc, char** argv);
std::string HelpText(const std::string& program);
std::string VersionText();
void ApplyRunOverrides(const Options& options);
void StartLog(const Options& options, const std::string& program);
void ResolveDevices(Options& options, std::vector<std::string>& warnings);
std::string ListText(const Options& options, std::vector<std::string>& warnings);
std::string Printable(const std::string& text);

} // namespace pelko::cli
