#pragma once
// Pelko from scripts: the upload without a window, and a dry run of the source reader.
//   ParseCommandLine(argc, argv)  reads the device options and the headless ones; the result
//                                 says whether to show help, fail (with a one-line reason),
//                                 start the window, upload or dry-run. argv keeps what is left
//                                 for the window system.
//   HelpText(program)             the --help text: every option and exit status
//   RunUpload(options)            uploads the file through the same reader and handshake as the
//                                 window; progress on stdout, problems on stderr; an ExitStatus
//   RunDryRun(options)            prints what an upload would send (format in HelpText); never
//                                 connects; kExitOk, or kExitFile when the file cannot be read
#include <string>

#include "posix/devices.h"

namespace pelko::cli {

enum ExitStatus {
    kExitOk = 0,
    kExitRejected = 1,   // the target rejected a line
    kExitConnection = 2, // the port could not be opened, or it died during the upload
    kExitFile = 3,       // the source file could not be opened or read
    kExitAborted = 4,    // interrupted (Ctrl+C, SIGTERM) or an echo did not come in time
    kExitUsage = 64,     // a bad command line
};

enum class Action { Window, Help, Error, Upload, DryRun };

struct Options {
    Action action = Action::Window;
    std::string error;
    posix::DeviceMap map;
    std::string file;
    bool visible = false;
    int port = 0;           // 1..4 for COM1..COM4, 5 for TELNET; 0: as PELKO.SET says
    std::uint32_t baud = 0; // 0: as PELKO.SET says
    bool max40 = false;     // true: 40 columns whatever PELKO.SET says
    double timeout = 0;     // seconds one echo may take; 0: no limit
};

Options ParseCommandLine(int& argc, char** argv);
std::string HelpText(const std::string& program);
int RunUpload(const Options& options);
int RunDryRun(const Options& options);

} // namespace pelko::cli
