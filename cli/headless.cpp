#include "cli/headless.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <unistd.h>

#include "platform/null_window.h"
#include "platform/system.h"
#include "resources/globals.h"
#include "serial/connection.h"
#include "serial/settings_dialog.h"
#include "settings/settings.h"
#include "terminal/tty_info.h"
#include "terminal/view.h"
#include "upload/source.h"
#include "upload/upload.h"

namespace pelko::cli {

namespace {

std::atomic<int> gInterrupted{0};

// The file line the reader is in, for FILE:LINE messages; it does not wrap as the screen's does.
unsigned long long FileLine() {
    return gqwSourceLine;
}

// Says that the line just read lost bytes the target cannot take, if it did.
void WarnHighDropped(const Options& o) {
    if (gfHighDropped != 0) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s:%llu: warning: bytes above 0x7F dropped\n", o.file.c_str(),
                     FileLine());
    }
}

void OnSignal(int) {
    gInterrupted.store(1);
}

void CatchSignals() {
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0; // no restart: a prompt waiting for input gives up at once
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(sig, &sa, nullptr);
    }
}

// A window with no screen: the upload's progress goes to stdout, its boxes to stderr (or to
// the terminal, for the pause), and the echo wait can run out of time or be interrupted.
class ConsoleWindow : public platform::NullWindow {
public:
    ConsoleWindow(const Options& o, bool dryRun) : o_(o), dryRun_(dryRun) {}

    bool fileFailed = false; // a box said the file could not be opened or read
    bool timedOut = false;

    int MessageBox(const std::string& text, const std::string& /*caption*/,
                   unsigned /*style*/) override {
        if (text == gszContinueStr) {
            Pause();
        } else if (dryRun_) {
            std::printf("      ! %s\n", text.c_str());
        } else if (text == gszOpenErrorStr) {
            std::fprintf(stderr, "%s: %s\n", o_.file.c_str(), text.c_str());
        } else {
            std::fflush(stdout);
            std::fprintf(stderr, "%s:%llu: %s\n", o_.file.c_str(), FileLine(), text.c_str());
        }
        if (text == gszOpenErrorStr || text == gszReadErrorStr) {
            fileFailed = true;
        }
        return platform::IDOK;
    }
    void PostMessageBox(const std::string& text, const std::string& caption,
                        unsigned /*style*/) override {
        std::fprintf(stderr, "pelko: %s: %s\n", caption.c_str(), text.c_str());
    }
    void UploadProgress(const std::uint8_t* text, std::int32_t n) override {
        for (std::int32_t i = 0; i < n; ++i) {
            std::fputc(text[i] == '\r' ? '\n' : text[i], stdout);
        }
        std::fflush(stdout);
    }
    bool WaitForEcho(const std::atomic<std::uint8_t>& sync) override {
        WarnHighDropped(o_); // the line is out: this wait is the first word on it
        using Clock = std::chrono::steady_clock;
        const auto deadline = o_.timeout > 0
                                  ? Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                       std::chrono::duration<double>(o_.timeout))
                                  : Clock::time_point::max();
        std::unique_lock<std::mutex> lock(mu_);
        // Signals cannot take the lock to wake us; a look every 100 ms notices them.
        while (sync.load() == 0) {
            if (gInterrupted.load() != 0) {
                return false;
            }
            if (Clock::now() >= deadline) {
                timedOut = true;
                return false;
            }
            wake_.wait_until(lock,
                             std::min(deadline, Clock::now() + std::chrono::milliseconds(100)));
        }
        return true;
    }
    void WakeEchoWait() override {
        // Passing through the lock orders this after a waiter's look at the word; the waiter
        // then need not wait for the lock again once woken.
        { std::lock_guard<std::mutex> lock(mu_); }
        wake_.notify_all();
    }

private:
    void Pause() {
        if (dryRun_) {
            std::printf("      = pause\n");
            return;
        }
        std::fflush(stdout);
        if (::isatty(STDIN_FILENO) == 1) {
            std::fprintf(stderr, "%s:%llu: pause: press Enter to continue ", o_.file.c_str(),
                         FileLine());
            char line[256];
            if (std::fgets(line, sizeof line, stdin) == nullptr) {
                std::fputc('\n', stderr);
            }
        } else {
            std::fprintf(stderr, "%s:%llu: pause: continuing, standard input is not a terminal\n",
                         o_.file.c_str(), FileLine());
        }
    }

    const Options& o_;
    bool dryRun_;
    std::mutex mu_;
    std::condition_variable wake_;
};

// The terminal record as the window would build it from PELKO.SET, with the options on top.
struct Record {
    TTYInfo tty;
    explicit Record(const Options& o) {
        SetTTYDefaults(&tty);
        std::memset(tty.achScreen, ' ', sizeof tty.achScreen);
        LoadDefaults(&tty);
        if (o.port != 0) {
            tty.bPortNum = static_cast<std::uint8_t>(o.port);
        }
        if (o.baud != 0) {
            tty.dwBaudRate = o.baud;
        }
        if (o.max40) {
            tty.fMax40 = 1;
        }
        gwMaxColumn = MaxColumnFor(tty.fMax40.load());
        tty.fConnected = 0;
    }
};

bool ParseNumber(const std::string& text, double& out) {
    char* end = nullptr;
    errno = 0;
    out = std::strtod(text.c_str(), &end);
    return errno == 0 && end != text.c_str() && *end == '\0' && out >= 0 && out < 1e9;
}

std::string EchoText() {
    std::uint8_t echo[kRXBufSize];
    const std::int32_t n = TakeEcho(echo);
    std::string text;
    for (std::int32_t i = 0; i < n; ++i) {
        if (echo[i] >= 0x20 && echo[i] != 0x7F) {
            text += static_cast<char>(echo[i]);
        }
    }
    return text;
}

} // namespace

Options ParseCommandLine(int& argc, char** argv) {
    Options o;
    const posix::DeviceOptions dev = posix::ParseDeviceOptions(argc, argv);
    o.map = dev.map;
    if (dev.action == posix::OptionsAction::Error) {
        o.action = Action::Error;
        o.error = dev.error;
        return o;
    }
    bool headlessOnly = false;
    int kept = argc > 0 ? 1 : 0;
    const int count = argc;
    for (int i = kept; i < count; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= count) {
                o.action = Action::Error;
                o.error = arg + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::string v;
        if (arg == "--upload" || arg == "--dry-run") {
            if (!value(v)) {
                return o;
            }
            o.action = arg == "--upload" ? Action::Upload : Action::DryRun;
            o.file = v;
        } else if (arg == "--visible") {
            o.visible = headlessOnly = true;
        } else if (arg == "--max40") {
            o.max40 = headlessOnly = true;
        } else if (arg == "--port") {
            if (!value(v)) {
                return o;
            }
            headlessOnly = true;
            if (v == "TELNET" || v == "telnet") {
                o.port = 5;
            } else if (v.size() == 4 &&
                       (v.compare(0, 3, "COM") == 0 || v.compare(0, 3, "com") == 0) &&
                       v[3] >= '1' && v[3] <= '4') {
                o.port = v[3] - '0';
            } else {
                o.action = Action::Error;
                o.error = "--port wants COM1 to COM4 or TELNET, not \"" + v + "\"";
                return o;
            }
        } else if (arg == "--baud") {
            if (!value(v)) {
                return o;
            }
            headlessOnly = true;
            for (std::uint32_t rate : BaudTable) {
                if (v == std::to_string(rate)) {
                    o.baud = rate;
                }
            }
            if (o.baud == 0) {
                o.action = Action::Error;
                o.error = "--baud wants 9600, 19200, 38400, 57600 or 115200, not \"" + v + "\"";
                return o;
            }
        } else if (arg == "--timeout") {
            if (!value(v)) {
                return o;
            }
            headlessOnly = true;
            if (!ParseNumber(v, o.timeout) || o.timeout <= 0) {
                o.action = Action::Error;
                o.error = "--timeout wants a number of seconds above 0, not \"" + v + "\"";
                return o;
            }
        } else {
            argv[kept++] = argv[i]; // for the window system
        }
    }
    for (int i = kept; i < argc; ++i) {
        argv[i] = nullptr;
    }
    argc = kept;
    if (dev.action == posix::OptionsAction::Help) {
        o.action = Action::Help;
    } else if (o.action == Action::Window && headlessOnly) {
        o.action = Action::Error;
        o.error = "--visible, --port, --baud, --max40 and --timeout go with --upload";
    } else if (o.action != Action::Window && argc > 1) {
        o.action = Action::Error;
        o.error = std::string("unknown argument \"") + argv[1] + "\"";
    }
    return o;
}

std::string HelpText(const std::string& program) {
    return posix::DeviceOptionsHelp(program) +
           "\n"
           "Without a window, for scripts:\n"
           "  " +
           program +
           " --upload FILE [--visible] [--port COM1..COM4|TELNET] [--baud N]\n"
           "        [--max40] [--timeout SECONDS] [device options]\n"
           "                     uploads FILE to the target, paced by its echo, as Upload Fast\n"
           "                     (or Upload Visible) does; progress goes to standard output,\n"
           "                     problems to standard error as FILE:LINE: message\n"
           "  --port, --baud, --max40\n"
           "                     the port, baud rate (9600 19200 38400 57600 115200) and\n"
           "                     40-column limit for this run; by default PELKO.SET in the\n"
           "                     working folder decides, as for the window. Never saved.\n"
           "  --timeout SECONDS  the longest wait for one line's echo (default: no limit)\n"
           "  " +
           program +
           " --dry-run FILE [--max40]\n"
           "                     prints what an upload would send, without connecting:\n"
           "                       '   12 | text'  line 12 of the file goes out as text and CR\n"
           "                       '   13 + text'  a line cut at the column limit, sent\n"
           "                                       without a CR\n"
           "                       '      = pause' the upload stops and asks to go on\n"
           "                       '      ! text'  a message the upload shows\n"
           "\n"
           "A pause directive asks on the terminal when standard input is one; otherwise the\n"
           "upload goes on and says so on standard error.\n"
           "\n"
           "Exit status of --upload and --dry-run:\n"
           "  0   the whole file was sent and accepted (or listed)\n"
           "  1   the target rejected a line\n"
           "  2   the port could not be opened, or the connection was lost\n"
           "  3   the source file could not be opened or read\n"
           "  4   interrupted (Ctrl+C), or an echo did not come within --timeout\n"
           "  64  the command line was wrong\n";
}

int RunUpload(const Options& o) {
    CatchSignals();
    posix::InstallPortFactory(o.map);
    ConsoleWindow win(o, false);
    Record rec(o);
    TTYInfo* tty = &rec.tty;
    tty->osRead.hEvent = platform::Sys().CreateEvent();
    tty->osWrite.hEvent = platform::Sys().CreateEvent();
    win.SetRecord(tty);
    ResetTTYScreen(&win, tty);
    hTTYWnd.store(&win);
    gszSourcePath = o.file;

    int status = kExitOk;
    if (OpenConnection(&win) == 0) {
        const std::string device = PortDeviceName(tty->bPortNum);
        const std::string where = platform::DescribeDevice(device).empty()
                                      ? ""
                                      : " (" + platform::DescribeDevice(device) + ")";
        std::fprintf(stderr, "pelko: cannot open %s%s\n",
                     tty->bPortNum >= 5 ? "TELNET" : device.c_str(), where.c_str());
        status = kExitConnection;
    } else if (UploadSource(&win, o.visible ? UploadMode::Visible : UploadMode::Fast) == 0) {
        status = win.fileFailed ? kExitFile : kExitConnection;
    } else {
        switch (gUploadEnd) {
        case UploadEnd::Ready:
            status = win.fileFailed ? kExitFile : kExitOk;
            break;
        case UploadEnd::Rejected:
            std::fprintf(stderr, "%s:%llu: error: the target rejected the line: %s\n",
                         o.file.c_str(), FileLine(), EchoText().c_str());
            status = kExitRejected;
            break;
        case UploadEnd::LinkLost:
            std::fprintf(stderr, "%s:%llu: error: the connection was lost\n", o.file.c_str(),
                         FileLine());
            status = kExitConnection;
            break;
        case UploadEnd::Cancelled:
        case UploadEnd::None:
            std::fprintf(stderr, "%s:%llu: error: %s\n", o.file.c_str(), FileLine(),
                         win.timedOut ? "no echo within the time-out" : "interrupted");
            status = kExitAborted;
            break;
        }
    }
    CloseConnection(&win);
    hTTYWnd.store(nullptr);
    win.SetRecord(nullptr);
    platform::Sys().CloseEvent(tty->osRead.hEvent);
    platform::Sys().CloseEvent(tty->osWrite.hEvent);
    return status;
}

int RunDryRun(const Options& o) {
    ConsoleWindow win(o, true);
    Record rec(o);
    gszSourcePath = o.file;
    if (OpenSourceFile(&win) == 0) {
        return kExitFile;
    }
    gwSourceLine = 1;
    for (int got; (got = ReadSourceLine(&win)) != kSourceEnd;) {
        if (got == kSourcePause) {
            win.MessageBox(gszContinueStr, gszUpStr, platform::MB_OK);
        } else if (got == kSourceLine) {
            const bool cr = gwTXCol > 0 && gsTXBuf[gwTXCol - 1] == '\r';
            std::printf("%5llu %c ", FileLine(), cr ? '|' : '+');
            std::fwrite(gsTXBuf, 1, gwTXCol - (cr ? 1U : 0U), stdout);
            std::fputc('\n', stdout);
            WarnHighDropped(o);
            ++gwSourceLine;
        }
    }
    CloseSourceFile();
    std::fflush(stdout);
    return win.fileFailed ? kExitFile : kExitOk;
}

} // namespace pelko::cli
