// The upload through the real window (offscreen), the real receive thread and a pty to the
// target simulator:
//   Upload/HandshakeRate  lines per second of a fast upload of 40-byte lines, against a bare
//                         ping-pong over a pty in the same run (write the line, the simulator
//                         returns it, wait for the CR): ratio is Pelko's rate over the bare one;
//                         echo_lines_per_s is the same ping-pong with a plain echo process
//   Upload/SlowTarget     200 lines, 5 ms each and every 25th 40 ms: overhead_pct is the wall
//                         time over the sum of processing times, less 100 %
//   Upload/Ser2netSlowTarget  the SlowTarget workload through ser2net as installed (Nagle's
//                         algorithm on, its character delay) and on the pty directly, in one
//                         run: ratio is the time through ser2net over the time on the pty
//   Upload/BaudPaced      the simulator at 115200 baud: wire_over_wall is the time the lines and
//                         their answers take on the wire over the wall time
//   Upload/Cpu20msLines   a visible upload to a target taking 20 ms a line: cpu_pct is this
//                         process's CPU time over the wall time
#include <benchmark/benchmark.h>

#include <QApplication>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "bench/gui/bench_window.h"
#include "qt/qt_window.h"
#include "settings/settings.h"
#include "terminal/tty_info.h"
#include "tools/rig/raw_tty.h"
#include "tools/rig/rig.h"
#include "upload/source.h"
#include "upload/upload.h"

namespace {

using namespace pelko;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kLineBytes = 40; // 39 characters and the CR

// The simulator on a pty behind COM1, a real window holding the record, connected to it, and a
// source file of `lines` lines of kLineBytes bytes.
class Session {
public:
    // Through `telnet` (a ser2net port) when given, else on the simulator's own pty.
    Session(const std::vector<std::string>& simArgs, int lines, std::uint16_t telnet = 0)
        : sim_(rig::Simulator::Start(simArgs)),
          win_(!sim_         ? std::string()
               : telnet != 0 ? "telnet:" + std::to_string(telnet)
                             : sim_->Path(),
               [](TTYInfo& tty) { tty.dwBaudRate = 115200; }) {
        path_ = "/tmp/pelko-upload-bench-" + std::to_string(::getpid()) + ".src";
        std::ofstream out(path_, std::ios::binary);
        for (int i = 0; i < lines; ++i) {
            std::string line = "line " + std::to_string(i) + " ";
            line.resize(kLineBytes - 1, 'x');
            out << line << "\r\n";
        }
        out.close();
        gszSourcePath = path_;
        gwMaxColumn = 80;
    }
    ~Session() { ::unlink(path_.c_str()); }
    bool Ok() const { return sim_ && win_.Ok(); }
    // Runs one upload; its wall time in seconds, or -1 when it did not end with " Ready".
    double Upload(UploadMode mode) {
        const auto start = Clock::now();
        const int ran = UploadSource(&win_.Win(), mode);
        const double s = std::chrono::duration<double>(Clock::now() - start).count();
        return ran == 1 && gLink.gfUploading.load() == 0 &&
                       gLink.gUploadSync.load() == kUploadAccepted
                   ? s
                   : -1;
    }

private:
    std::unique_ptr<rig::Simulator> sim_;
    bench::ConnectedWindow win_;
    std::string path_;
};

// Lines per second of a bare round trip on fd: write the line, wait for a CR back; -1 on failure.
double PingPong(int fd, int lines) {
    std::string line(kLineBytes - 1, 'x');
    line += '\r';
    const auto start = Clock::now();
    bool ok = true;
    for (int i = 0; i < lines && ok; ++i) {
        ok = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
        for (bool cr = false; ok && !cr;) {
            char buf[256];
            const ssize_t n = ::read(fd, buf, sizeof buf);
            ok = n > 0;
            cr = ok && std::memchr(buf, '\r', static_cast<std::size_t>(n)) != nullptr;
        }
    }
    const double s = std::chrono::duration<double>(Clock::now() - start).count();
    return ok ? lines / s : -1;
}

// The bare round trip with the simulator that Pelko talks to: the same peer, no Pelko.
double PingPongSimulator(int lines) {
    auto sim = rig::Simulator::Start({});
    if (!sim) {
        return -1;
    }
    const int fd = ::open(sim->Path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    pelko::rig::MakeRawTty(fd);
    const double rate = PingPong(fd, lines);
    ::close(fd);
    return rate;
}

// The bare round trip with the plainest peer: a forked process that echoes every byte.
double PingPongEcho(int lines) {
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        return -1;
    }
    pelko::rig::MakeRawTty(slave);
    pelko::rig::MakeRawTty(master);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(master);
        char buf[256];
        for (;;) {
            const ssize_t n = ::read(slave, buf, sizeof buf);
            if (n <= 0 || ::write(slave, buf, static_cast<std::size_t>(n)) != n) {
                ::_exit(0);
            }
        }
    }
    ::close(slave);
    const double rate = PingPong(master, lines);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(master);
    return rate;
}

void BM_HandshakeRate(benchmark::State& state) {
    constexpr int kLines = 3000;
    for (auto _ : state) {
        Session s({}, kLines);
        if (!s.Ok()) {
            state.SkipWithError("no session");
            return;
        }
        const double wall = s.Upload(UploadMode::Fast);
        const double bare = PingPongSimulator(kLines);
        const double echo = PingPongEcho(kLines);
        if (wall <= 0 || bare <= 0 || echo <= 0) {
            state.SkipWithError("upload or ping-pong failed");
            return;
        }
        state.SetIterationTime(wall);
        state.counters["lines_per_s"] = kLines / wall;
        state.counters["bare_lines_per_s"] = bare;
        state.counters["ratio"] = kLines / wall / bare;
        state.counters["echo_lines_per_s"] = echo;
    }
}
BENCHMARK(BM_HandshakeRate)
    ->Name("Upload/HandshakeRate")
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

void BM_SlowTarget(benchmark::State& state) {
    constexpr int kLines = 200;
    const double work = (kLines - kLines / 25) * 0.005 + (kLines / 25) * 0.040;
    for (auto _ : state) {
        Session s({"--line-delay", "5", "--slow-every", "25", "40"}, kLines);
        const double wall = s.Ok() ? s.Upload(UploadMode::Fast) : -1;
        if (wall <= 0) {
            state.SkipWithError("upload failed");
            return;
        }
        state.SetIterationTime(wall);
        state.counters["overhead_pct"] = (wall / work - 1.0) * 100.0;
    }
}
BENCHMARK(BM_SlowTarget)
    ->Name("Upload/SlowTarget")
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

void BM_Ser2netSlowTarget(benchmark::State& state) {
    constexpr int kLines = 200;
    for (auto _ : state) {
        auto ser2net = rig::Ser2net::Start(true, state.range(0) != 0);
        if (!ser2net) {
            state.SkipWithError("no ser2net");
            return;
        }
        std::vector<std::string> args = {"--line-delay", "5", "--slow-every", "25", "40"};
        double viaSer2net = -1;
        {
            std::vector<std::string> device = args;
            device.insert(device.begin(), {"--device", ser2net->DeviceB()});
            Session s(device, kLines, ser2net->Port());
            viaSer2net = s.Ok() ? s.Upload(UploadMode::Fast) : -1;
        }
        Session direct(args, kLines);
        const double onPty = direct.Ok() ? direct.Upload(UploadMode::Fast) : -1;
        if (viaSer2net <= 0 || onPty <= 0) {
            state.SkipWithError("upload failed");
            return;
        }
        state.SetIterationTime(viaSer2net);
        state.counters["pty_s"] = onPty;
        state.counters["ratio"] = viaSer2net / onPty;
    }
}
BENCHMARK(BM_Ser2netSlowTarget)
    ->Name("Upload/Ser2netSlowTarget")
    ->Arg(1)
    ->Arg(0)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

void BM_BaudPaced(benchmark::State& state) {
    constexpr int kLines = 300;
    constexpr double kBaud = 115200;
    // Each line crosses the wire once each way; the answer adds CR LF behind the echo.
    const double wire = kLines * (kLineBytes + 2) * 10 / kBaud;
    for (auto _ : state) {
        Session s({"--baud", "115200"}, kLines);
        const double wall = s.Ok() ? s.Upload(UploadMode::Fast) : -1;
        if (wall <= 0) {
            state.SkipWithError("upload failed");
            return;
        }
        state.SetIterationTime(wall);
        state.counters["wire_over_wall"] = wire / wall;
    }
}
BENCHMARK(BM_BaudPaced)
    ->Name("Upload/BaudPaced")
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

void BM_Cpu20msLines(benchmark::State& state) {
    constexpr int kLines = 100;
    for (auto _ : state) {
        Session s({"--line-delay", "20"}, kLines);
        const double cpuBefore = rig::CpuSeconds();
        const double wall = s.Ok() ? s.Upload(UploadMode::Visible) : -1;
        const double cpu = rig::CpuSeconds() - cpuBefore;
        if (wall <= 0) {
            state.SkipWithError("upload failed");
            return;
        }
        state.SetIterationTime(wall);
        state.counters["cpu_pct"] = cpu / wall * 100.0;
    }
}
BENCHMARK(BM_Cpu20msLines)
    ->Name("Upload/Cpu20msLines")
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

} // namespace
