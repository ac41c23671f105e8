// Receiving through a pty into the real window (offscreen): COM1 mapped to the slave of a pty
// pair, the real receive thread, and a qt::QtWindow holding the record, with the caret up.
//   Receive/PtyFlood      a child process writes 8 MiB of text (78 characters, CR, LF a line)
//                         into the master while the window's loop runs; the run ends when the
//                         last line is on the screen buffer and painted. cpu_s_per_MiB is this
//                         process's CPU time (every thread) over the MiB sent; also MB/s, the
//                         number of paints, and the longest time the loop was kept from a 5 ms
//                         timer (longest_stall_ms)
//   Receive/IdleConnected connected, focused, the caret blinking, no traffic for 10 s: the CPU
//                         time of this process in ms per 10 s
// The writer is a separate process, so its share of the pty's cost is not counted.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "bench/gui/bench_window.h"
#include "qt/qt_window.h"
#include "resources/messages.h"
#include "terminal/tty_info.h"
#include "tools/rig/rig.h"

namespace {

using namespace pelko;
using Clock = std::chrono::steady_clock;

// Never appears in the flood: no two neighbouring characters of a flood line are equal.
constexpr char kEndMark[] = "~~flood end~~";

// `total` bytes of 78-character lines ending in CR LF, then the end mark on a line of its own.
std::string FloodText(std::size_t total) {
    std::string text;
    text.reserve(total + sizeof kEndMark);
    for (unsigned row = 0; text.size() < total; ++row) {
        for (unsigned c = 0; c < 78; ++c) {
            text.push_back(static_cast<char>('!' + (row + c) % 94));
        }
        text += "\r\n";
    }
    text.resize(total);
    return text + "\r\n" + kEndMark;
}

// A pty behind COM1, a shown window holding the record, connected and focused.
class Session {
public:
    Session()
        : open_(pty_.Open()), win_(pty_.path, [](TTYInfo& tty) {
              tty.fNewLine = 0;
              tty.dwBaudRate = 115200;
          }) {
        win_.Win().activateWindow();
        win_.Win().Send(WM_SETFOCUS);
        Spin(50);
    }
    bool Ok() { return open_ && win_.Ok() && win_.Win().CaretVisible(); }
    int Master() const { return pty_.master; }

    // Runs the window's loop for `ms` milliseconds.
    static void Spin(int ms) {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    }
    // True when the last row of the screen buffer starts with `text`.
    bool LastRowStartsWith(const char* text) {
        TTYInfo& tty = win_.Tty();
        std::lock_guard lock(tty.screenLock);
        return std::memcmp(tty.achScreen + (kScreenRows - 1) * kScreenCols, text,
                           std::strlen(text)) == 0;
    }

private:
    rig::PtyPair pty_;
    bool open_;
    bench::ConnectedWindow win_;
};

// Writes all of `text` to `fd` from a child process; its pid, or -1.
pid_t WriteFromChild(int fd, const std::string& text) {
    const pid_t child = ::fork();
    if (child == 0) {
        for (std::size_t at = 0; at < text.size();) {
            const ssize_t n = ::write(fd, text.data() + at, text.size() - at);
            if (n <= 0) {
                ::_exit(1);
            }
            at += static_cast<std::size_t>(n);
        }
        ::_exit(0);
    }
    return child;
}

void BM_PtyFlood(benchmark::State& state) {
    const auto total = static_cast<std::size_t>(state.range(0));
    const double mib = static_cast<double>(total) / (1 << 20);
    const std::string text = FloodText(total);
    for (auto _ : state) {
        Session s;
        if (!s.Ok()) {
            state.SkipWithError("no session");
            return;
        }
        const long paints0 = bench::PlainWindow::Paints();
        qint64 longestStall = 0;
        QElapsedTimer sinceTick;
        QTimer ticker;
        ticker.setInterval(5);
        QObject::connect(&ticker, &QTimer::timeout,
                         [&] { longestStall = std::max(longestStall, sinceTick.restart() - 5); });
        QEventLoop loop;
        long paintsAtEnd = -1;
        bool timedOut = false;
        QTimer watch; // ends the loop once the end mark is on the screen and painted
        watch.setInterval(10);
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (paintsAtEnd < 0 && s.LastRowStartsWith(kEndMark)) {
                paintsAtEnd = bench::PlainWindow::Paints();
            } else if (paintsAtEnd >= 0 && bench::PlainWindow::Paints() > paintsAtEnd) {
                loop.quit();
            }
        });
        QTimer::singleShot(120000, &loop, [&] {
            timedOut = true;
            loop.quit();
        });

        const double cpu0 = rig::CpuSeconds();
        const auto t0 = Clock::now();
        const pid_t writer = WriteFromChild(s.Master(), text);
        sinceTick.start();
        ticker.start();
        watch.start();
        loop.exec();
        const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
        const double cpu = rig::CpuSeconds() - cpu0;
        ticker.stop();
        watch.stop();
        int status = 0;
        if (writer > 0) {
            ::kill(writer, SIGKILL);
            ::waitpid(writer, &status, 0);
        }
        if (writer <= 0 || timedOut) {
            state.SkipWithError("the flood did not reach the screen");
            return;
        }
        state.SetIterationTime(wall);
        state.counters["cpu_s_per_MiB"] = cpu / mib;
        state.counters["cpu_s"] = cpu;
        state.counters["MB_per_s"] = static_cast<double>(total) / wall / 1e6;
        state.counters["paints"] = static_cast<double>(bench::PlainWindow::Paints() - paints0);
        state.counters["longest_stall_ms"] = static_cast<double>(longestStall);
    }
}
BENCHMARK(BM_PtyFlood)
    ->Name("Receive/PtyFlood")
    ->Arg(8 << 20)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

void BM_IdleConnected(benchmark::State& state) {
    Session s;
    if (!s.Ok()) {
        state.SkipWithError("no session");
        return;
    }
    const long paints0 = bench::PlainWindow::Paints();
    double cpu = 0;
    for (auto _ : state) {
        const double cpu0 = rig::CpuSeconds();
        Session::Spin(10000);
        cpu = rig::CpuSeconds() - cpu0;
    }
    state.counters["cpu_ms_per_10s"] = cpu * 1000.0;
    state.counters["paints"] = static_cast<double>(bench::PlainWindow::Paints() - paints0);
}
BENCHMARK(BM_IdleConnected)
    ->Name("Receive/IdleConnected")
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

} // namespace
