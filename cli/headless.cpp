#include "cli/headless.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

#include "app/handoff_wire.h"
#include "cli/handoff_client.h"
#include "cli/upload_report.h"
#include "platform/echo_waiter.h"
#include "platform/null_window.h"
#include "platform/port.h"
#include "platform/system.h"
#include "posix/devices.h"
#include "posix/handoff_socket.h"
#include "resources/globals.h"
#include "resources/port_names.h"
#include "serial/connection.h"
#include "serial/settings_dialog.h"
#include "serial/target_control.h"
#include "settings/settings.h"
#include "terminal/tty_info.h"
#include "terminal/view.h"
#include "upload/source.h"
#include "upload/upload.h"

namespace pelko::cli {

namespace {

std::atomic<int> gInterrupted{0};

// FILE:LINE of the text the reader is at, for messages; the line does not wrap as the
// screen's does.
std::string At() {
    return PlaceText(SourceWhere());
}

// The signal that interrupted the upload: SIGPIPE for a closed standard output.
void OnSignal(int sig) {
    gInterrupted.store(sig);
    gLink.fCancel.store(1); // no further line goes out
}

// A signal ignored when Pelko started (SIGHUP under nohup, SIGINT in a background job) stays
// ignored. A closed standard output is seen as a failed write, not as SIGPIPE.
void CatchSignals() {
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0; // no restart: a prompt waiting for input gives up at once
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old {};
        if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler != SIG_IGN) {
            sigaction(sig, &sa, nullptr);
        }
    }
    std::signal(SIGPIPE, SIG_IGN);
}

// A window with no screen: the upload's progress goes to stdout, its boxes to stderr (or to
// the terminal, for the pause), and the echo wait can run out of time or be interrupted.
class ConsoleWindow : public platform::NullWindow {
public:
    ConsoleWindow(const Options& o, bool dryRun) : o_(o), dryRun_(dryRun) {}

    bool timedOut = false;

    // A box's first line is its message; the second says what FILE:LINE says here already. A
    // source that cannot be read is said from the reader's status once the upload has ended.
    int MessageBox(const std::string& box, const std::string& /*caption*/,
                   unsigned /*style*/) override {
        const std::string text = box.substr(0, box.find('\n'));
        if (text == gszContinueStr) {
            Pause();
        } else if (SourceFailed(SourceEndStatus())) {
        } else if (dryRun_) {
            std::printf("      ! %s\n", text.c_str());
        } else {
            std::fflush(stdout);
            std::fprintf(stderr, "%s: %s\n", At().c_str(), text.c_str());
        }
        return platform::IDOK;
    }
    void PostMessageBox(const std::string& text, const std::string& caption,
                        unsigned /*style*/) override {
        std::fprintf(stderr, "pelko: %s: %s\n", caption.c_str(), text.c_str());
    }
    // Once standard output is gone (a closed pipe), progress stops and the upload ends as
    // interrupted.
    void UploadProgress(const std::uint8_t* text, std::int32_t n) override {
        if (outputGone_) {
            return;
        }
        for (std::int32_t i = 0; i < n; ++i) {
            std::fputc(text[i] == '\r' ? '\n' : text[i], stdout);
        }
        if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
            outputGone_ = true;
            OnSignal(SIGPIPE);
        }
    }
    bool WaitForEcho(const std::atomic<std::uint8_t>& sync) override {
        if (gfHighDropped != 0) { // the line is out: this wait is the first word on it
            WarnHighDropped(SourceWhere());
        }
        using Clock = platform::EchoWaiter::Clock;
        const auto deadline = o_.timeout > 0
                                  ? Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                       std::chrono::duration<double>(o_.timeout))
                                  : Clock::time_point::max();
        // Signals cannot wake the waiter; a look every 100 ms notices them.
        bool late = false;
        const bool answered = echo_.Wait(sync, [&]() -> std::optional<Clock::time_point> {
            if (gInterrupted.load() != 0) {
                return std::nullopt;
            }
            const auto now = Clock::now();
            if (now >= deadline) {
                late = true;
                return std::nullopt;
            }
            return std::min(deadline, now + std::chrono::milliseconds(100));
        });
        if (!answered && late) {
            timedOut = true;
        }
        return answered;
    }
    void WakeEchoWait() override { echo_.Wake(); }

private:
    void Pause() {
        if (dryRun_) {
            std::printf("      = pause\n");
            return;
        }
        std::fflush(stdout);
        if (::isatty(STDIN_FILENO) == 1) {
            std::fprintf(stderr, "%s: pause: press Enter to continue ", At().c_str());
            char line[256];
            if (std::fgets(line, sizeof line, stdin) == nullptr) {
                std::fputc('\n', stderr);
            }
        } else {
            std::fprintf(stderr, "%s: pause: continuing, standard input is not a terminal\n",
                         At().c_str());
        }
    }

    const Options& o_;
    bool dryRun_;
    bool outputGone_ = false;
    platform::EchoWaiter echo_;
};

// The terminal record as the window would build it from PELKO.SET, with the options on top.
struct Record {
    TTYInfo tty;
    explicit Record(const Options& o) {
        ApplyRunOverrides(o);
        InitTTYInfo(&tty);
        LoadDefaults(&tty); // with the command line's choices on top
        tty.fConnected = 0;
    }
    ~Record() { FreeTTYResources(&tty); }
    Record(const Record&) = delete;
    Record& operator=(const Record&) = delete;
};

// "-" names standard input, which is read whole before anything is sent.
bool FromStdin(const Options& o) {
    return o.file == "-";
}

bool ReadStdin(std::string& text) {
    char block[4096];
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, block, sizeof block);
        if (n < 0 && errno == EINTR && gInterrupted.load() == 0) {
            continue;
        }
        if (n < 0) {
            if (gInterrupted.load() == 0) { // else an interrupt, not a fault of the input
                std::fprintf(stderr, "-: %s\n", gszReadErrorStr);
            }
            return false;
        }
        if (n == 0) {
            return true;
        }
        text.append(block, static_cast<std::size_t>(n));
    }
}

// Sleeps up to ms, in short steps so that a signal ends the wait; false when one did.
bool SleepUnlessInterrupted(int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (gInterrupted.load() == 0 && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return gInterrupted.load() == 0;
}

// The rows the target has printed since the screen was cleared: those scrolled into the history,
// then the screen's rows down to the cursor, without their trailing blanks.
void ShowWhatWasPrinted(TTYInfo* tty) {
    std::lock_guard lock(tty->screenLock);
    const std::uint64_t total = tty->history.Total();
    const std::uint64_t first = total - static_cast<std::uint64_t>(tty->history.Count());
    auto show = [](const std::uint8_t* row) {
        int n = kScreenCols;
        while (n > 0 && (row[n - 1] == ' ' || row[n - 1] == 0)) {
            --n;
        }
        std::fwrite(row, 1, static_cast<std::size_t>(n), stdout);
        std::fputc('\n', stdout);
    };
    for (std::uint64_t r = first; r < total; ++r) {
        show(tty->history.Row(r));
    }
    const int rows = tty->nCursorRow.load() + (tty->nCursorCol.load() > 0 ? 1 : 0);
    for (int r = 0; r < rows && r < kScreenRows; ++r) {
        show(&tty->achScreen[r * kScreenCols]);
    }
    std::fflush(stdout);
}

// --reset: the reset lines are pulsed, and the target gets its time to start; what it prints
// meanwhile is shown. false, said on standard error, when the port cannot or a signal came.
bool ResetFirst(platform::Window* win, TTYInfo* tty, const Options& o) {
    std::string why;
    // A Telnet server agrees to line commands a little after the connect, or not at all.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    bool started = ResetTarget(win, why);
    while (!started && why == platform::kControlNotYet &&
           std::chrono::steady_clock::now() < until && SleepUnlessInterrupted(20)) {
        started = ResetTarget(win, why);
    }
    if (!started) {
        std::fprintf(stderr, "pelko: cannot reset the target: %s\n", why.c_str());
        return false;
    }
    const bool slept = SleepUnlessInterrupted(ControlHoldMs());
    EndTargetControl(win);
    if (!slept || !SleepUnlessInterrupted(o.resetWaitMs)) {
        return false;
    }
    ShowWhatWasPrinted(tty);
    return true;
}

// A Pelko window of this user that holds the port runs the upload: -1 when none does, else the
// upload's exit status (or why the window could not take it). The caller checks the source
// itself first, so that a missing file is said at once and nothing is handed over.
int HandToWindow(const Options& o, const TTYInfo* tty, const std::string& text) {
    const std::string label = PortLabel(tty->bPortNum);
    const std::string where =
        posix::HandoffWhere(posix::InstalledDeviceMap(), PortDeviceName(tty->bPortNum));
    std::string why;
    const int fd = where.empty() ? -1 : posix::ConnectHandoffSocket(where, why);
    if (fd < 0) {
        if (why.empty()) {
            return -1;
        }
        std::fprintf(stderr, "pelko: cannot hand the upload to the Pelko window holding %s: %s\n",
                     label.c_str(), why.c_str());
        return kExitConnection;
    }
    const char* cannot = o.baud != 0                     ? "-b"
                         : o.max40                       ? "--max40"
                         : !o.log.empty()                ? "--log"
                         : o.reset                       ? "--reset"
                         : text.size() > kMaxHandoffText ? "standard input over 4 MiB"
                                                         : nullptr;
    if (cannot != nullptr) {
        ::close(fd);
        std::fprintf(stderr,
                     "pelko: a Pelko window holds %s and runs the upload; %s cannot apply to it\n",
                     label.c_str(), cannot);
        return kExitUsage;
    }
    platform::NullWindow check;
    const int readable =
        FromStdin(o) ? OpenSourceText(&check, text, o.file) : OpenSourceFile(&check);
    CloseSourceFile();
    if (readable == 0) {
        ::close(fd);
        SaySourceFailed(SourceEndStatus(), o);
        return kExitFile;
    }
    char* cwd = ::getcwd(nullptr, 0);
    const std::string folder = cwd != nullptr ? cwd : "";
    std::free(cwd);
    HandoffRequest request;
    request.visible = o.visible;
    request.fromText = FromStdin(o);
    request.text = text;
    request.path = !request.fromText && o.file[0] == '/' ? o.file : folder + "/" + o.file;
    return HandUpload(fd, request, folder, o, label, gInterrupted);
}

} // namespace

int InterruptSignal() {
    const int sig = gInterrupted.load();
    return sig == SIGINT || sig == SIGTERM || sig == SIGHUP ? sig : 0;
}

int RunUpload(const Options& o) {
    CatchSignals();
    posix::InstallPortFactory(o.map);
    ConsoleWindow win(o, false);
    Record rec(o);
    TTYInfo* tty = &rec.tty;
    win.SetRecord(tty);
    ResetTTYScreen(&win, tty);
    hTTYWnd.store(&win);
    gszSourcePath = o.file;
    std::string text;
    if (FromStdin(o) && !ReadStdin(text)) {
        if (gInterrupted.load() != 0) {
            std::fprintf(stderr, "-: error: interrupted while reading standard input\n");
            return kExitAborted;
        }
        return kExitFile;
    }
    const UploadMode mode = o.visible ? UploadMode::Visible : UploadMode::Fast;
    if (const int handed = HandToWindow(o, tty, text); handed >= 0) {
        hTTYWnd.store(nullptr);
        win.SetRecord(nullptr);
        return handed;
    }

    int status = kExitOk;
    // With no window to keep alive, the connect of a network port is waited for here.
    std::string why;
    int opened = OpenConnection(&win);
    while (opened == kConnecting) {
        opened = gInterrupted.load() != 0 ? 0 : FinishConnection(&win, 100, why);
    }
    if (opened == 0) {
        const std::string device = PortDeviceName(tty->bPortNum);
        if (why.empty()) {
            why = platform::LastOpenError();
        }
        if (why.empty()) {
            why = platform::DescribeDevice(device);
        }
        std::fprintf(stderr, "pelko: cannot open %s%s%s\n", PortLabel(tty->bPortNum).c_str(),
                     why.empty() ? "" : ": ", why.c_str());
        status = kExitConnection;
    } else if (o.reset && !ResetFirst(&win, tty, o)) {
        status = gInterrupted.load() != 0 ? kExitAborted : kExitConnection;
    } else {
        const int started =
            FromStdin(o) ? UploadText(&win, text, mode, o.file) : UploadSource(&win, mode);
        status = ReportEnd(CurrentOutcome(started != 0), o, win.timedOut);
    }
    CloseConnection(&win);
    hTTYWnd.store(nullptr);
    win.SetRecord(nullptr);
    return status;
}

namespace {

// Opens the source for the dry run and --deps, from standard input for "-"; says why not.
bool OpenForListing(const Options& o, platform::Window& win) {
    gszSourcePath = o.file;
    std::string text;
    if (FromStdin(o) && !ReadStdin(text)) {
        return false;
    }
    if ((FromStdin(o) ? OpenSourceText(&win, std::move(text), o.file) : OpenSourceFile(&win)) ==
        0) {
        SaySourceFailed(SourceEndStatus(), o);
        return false;
    }
    return true;
}

// A file name as a make rule needs it.
std::string ForMake(const std::string& name) {
    std::string out;
    for (const char c : name) {
        if (c == '$' || c == ' ' || c == '#') {
            out.push_back(c == '$' ? '$' : '\\');
        }
        out.push_back(c);
    }
    return out;
}

} // namespace

int RunDryRun(const Options& o) {
    ConsoleWindow win(o, true);
    Record rec(o);
    if (!OpenForListing(o, win)) {
        return kExitFile;
    }
    gwSourceLine = 1;
    // The upload's own stepping, with each line printed instead of sent.
    while (NextSourceLine(&win) == kSourceLine) {
        const SourcePlace at = SourceWhere();
        const bool cr = gwTXCol > 0 && gsTXBuf[gwTXCol - 1] == '\r';
        const auto line = static_cast<unsigned long long>(at.line);
        if (at.from.empty()) {
            std::printf("%5llu %c ", line, cr ? '|' : '+');
        } else {
            std::printf("%s:%llu %c ", at.file.c_str(), line, cr ? '|' : '+');
        }
        std::fwrite(gsTXBuf, 1, gwTXCol - (cr ? 1U : 0U), stdout);
        std::fputc('\n', stdout);
        if (gfHighDropped != 0) {
            WarnHighDropped(SourceWhere());
        }
        ++gwSourceLine;
    }
    CloseSourceFile();
    return SaySourceFailed(SourceEndStatus(), o) ? kExitFile : kExitOk;
}

int RunDeps(const Options& o) {
    platform::NullWindow win;
    if (!OpenForListing(o, win)) {
        return kExitFile;
    }
    std::string rule = ForMake(o.file) + ":";
    const std::vector<std::string>& files = SourceFiles();
    for (std::size_t i = 1; i < files.size(); ++i) {
        rule += ' ';
        rule += ForMake(files[i]);
    }
    CloseSourceFile();
    std::printf("%s\n", rule.c_str());
    return std::fflush(stdout) == 0 ? kExitOk : kExitAborted;
}

} // namespace pelko::cli
