// The serial link against the target simulator over a pty, and through ser2net:
//   Link/KeystrokeRoundTrip   a typed character until its echo is on the screen buffer
//                             (median_us, p99_us)
//   Link/BulkReceiveNoWindow  a flood from the target into the screen buffer, through the receive
//                             thread and the interpreter, with a window that ignores every
//                             request (MB/s, cpu_s); the real window is in Receive/PtyFlood
//   Link/IdleNoWindow         connected with no traffic for 10 s, the receive thread alone
//                             (cpu_ms; the goal is under 10); with the window:
//                             Receive/IdleConnected
//   Link/TelnetRoundTrip      the keystroke round trip through ser2net and a socat pty pair, to
//                             the simulator on the far pty
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "bench/sink_window.h"
#include "platform/system.h"
#include "posix/devices.h"
#include "resources/globals.h"
#include "serial/connection.h"
#include "serial/transmit.h"
#include "terminal/tty_info.h"
#include "tools/rig/rig.h"

namespace {

using namespace pelko;
using Clock = std::chrono::steady_clock;

// Counts the receive thread's repaint requests, one per block put on the screen.
class CountingWindow : public bench::SinkWindow {
public:
    std::atomic<std::uint64_t> blocks{0};
    void RequestRepaint() override {
        blocks.fetch_add(1);
        blocks.notify_all();
    }
};

// Counts the bytes the receive thread reads.
class CountingFactory : public platform::PortFactory {
public:
    explicit CountingFactory(const posix::DeviceMap& map) : real_(posix::MakePortFactory(map)) {}
    std::atomic<std::uint64_t> bytes{0};

    std::unique_ptr<platform::Port> Open(const std::string& device) override {
        auto port = real_->Open(device);
        return port ? std::make_unique<Port>(std::move(port), bytes) : nullptr;
    }
    std::string DescribeDevice(const std::string& device) override {
        return real_->DescribeDevice(device);
    }

private:
    class Port : public platform::Port {
    public:
        Port(std::unique_ptr<platform::Port> p, std::atomic<std::uint64_t>& n)
            : p_(std::move(p)), n_(n) {}
        bool Configure(const platform::LineSettings& l) override { return p_->Configure(l); }
        bool SetDtr(bool on) override { return p_->SetDtr(on); }
        bool Purge() override { return p_->Purge(); }
        std::int64_t BytesWaiting() override { return p_->BytesWaiting(); }
        std::int64_t Read(std::uint8_t* buf, std::size_t max) override {
            const std::int64_t got = p_->Read(buf, max);
            if (got > 0) {
                n_.fetch_add(static_cast<std::uint64_t>(got));
            }
            return got;
        }
        platform::WriteResult Write(const std::uint8_t* b, std::size_t n, int ms) override {
            return p_->Write(b, n, ms);
        }
        platform::WaitResult WaitForInput(platform::Event wake) override {
            return p_->WaitForInput(wake);
        }
        void Close() override { p_->Close(); }
        platform::Reach Progress(int ms, std::string& why) override {
            return p_->Progress(ms, why);
        }

    private:
        std::unique_ptr<platform::Port> p_;
        std::atomic<std::uint64_t>& n_;
    };
    std::unique_ptr<platform::PortFactory> real_;
};

// A connected terminal record on COM1 or the Telnet port.
class Link {
public:
    Link(const posix::DeviceMap& map, std::uint8_t portNum) : factory_(map) {
        InitTTYInfo(&tty);
        tty.cxChar = 8;
        tty.cyChar = 16;
        tty.fConnected = 0;
        tty.bPortNum = portNum;
        tty.dwBaudRate = 115200;
        win.SetRecord(&tty);
        hTTYWnd = &win;
        platform::SetPortFactory(&factory_);
        int opened = OpenConnection(&win);
        std::string why;
        while (opened == kConnecting) {
            opened = FinishConnection(&win, 100, why);
        }
        ok = opened != 0;
    }
    ~Link() {
        CloseConnection(&win);
        hTTYWnd = nullptr;
        platform::SetPortFactory(nullptr);
        win.SetRecord(nullptr);
        FreeTTYResources(&tty);
    }
    // Types one character and waits until its echo has been put on the screen.
    bool RoundTrip(std::uint8_t ch) {
        const std::uint64_t before = win.blocks.load();
        ProcessTTYCharacter(&win, ch);
        const auto end = Clock::now() + std::chrono::seconds(5);
        std::uint64_t now = before;
        while ((now = win.blocks.load()) == before && Clock::now() < end) {
            win.blocks.wait(now);
        }
        return now != before;
    }
    std::uint64_t BytesRead() const { return factory_.bytes.load(); }

    CountingWindow win;
    TTYInfo tty;
    bool ok = false;

private:
    CountingFactory factory_;
};

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1))];
}

// COM1 leads to the simulator's pty; lock files go where the benchmark may write them.
posix::DeviceMap SimulatorOnCom1(const rig::Simulator& sim) {
    posix::DeviceMap map;
    map.com[1] = sim.Path();
    map.lockDir = "/tmp";
    return map;
}

void RunRoundTrips(benchmark::State& state, Link& link) {
    if (!link.ok) {
        state.SkipWithError("cannot connect");
        return;
    }
    for (int i = 0; i < 20; ++i) { // warm up
        link.RoundTrip('w');
    }
    std::vector<double> us;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        if (!link.RoundTrip('x')) {
            state.SkipWithError("no echo");
            return;
        }
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    state.counters["median_us"] = Percentile(us, 0.5);
    state.counters["p99_us"] = Percentile(us, 0.99);
}

void KeystrokeRoundTrip(benchmark::State& state) {
    auto sim = rig::Simulator::Start({});
    if (!sim) {
        state.SkipWithError("no simulator");
        return;
    }
    Link link(SimulatorOnCom1(*sim), 1);
    RunRoundTrips(state, link);
}
BENCHMARK(KeystrokeRoundTrip)->Name("Link/KeystrokeRoundTrip")->Iterations(2000)->UseRealTime();

void TelnetRoundTrip(benchmark::State& state) {
    auto ser2net = rig::Ser2net::Start(true, state.range(0) != 0);
    if (!ser2net) {
        state.SkipWithError("no ser2net");
        return;
    }
    auto sim = rig::Simulator::Start({"--device", ser2net->DeviceB()});
    if (!sim) {
        state.SkipWithError("no simulator");
        return;
    }
    posix::DeviceMap map;
    map.telnetPort = ser2net->Port();
    Link link(map, 5);
    RunRoundTrips(state, link);
}
// Argument 1: ser2net as it comes (it gathers device bytes for a character delay of 1 ms or
// more); 0: with that delay off, which leaves the cost of the Telnet path itself.
BENCHMARK(TelnetRoundTrip)
    ->Name("Link/TelnetRoundTrip/chardelay")
    ->Arg(1)
    ->Arg(0)
    ->Iterations(2000)
    ->UseRealTime();

void BulkReceive(benchmark::State& state) {
    const auto total = static_cast<std::uint64_t>(state.range(0));
    double cpu = 0;
    double wall = 0;
    for (auto _ : state) {
        // What the target sends before the port is open is purged by the open: it sends more
        // than is counted.
        auto sim = rig::Simulator::Start({"--flood", std::to_string(total + (1 << 20))});
        if (!sim) {
            state.SkipWithError("no simulator");
            return;
        }
        const double cpu0 = rig::CpuSeconds();
        const auto t0 = Clock::now();
        Link link(SimulatorOnCom1(*sim), 1);
        const auto end = t0 + std::chrono::seconds(60);
        while (link.BytesRead() < total && Clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        wall += std::chrono::duration<double>(Clock::now() - t0).count();
        cpu += rig::CpuSeconds() - cpu0;
        if (link.BytesRead() < total) {
            state.SkipWithError("flood did not arrive");
            return;
        }
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["MB/s"] = static_cast<double>(total) * n / wall / 1e6;
    state.counters["cpu_s"] = cpu / n;
}
BENCHMARK(BulkReceive)
    ->Name("Link/BulkReceiveNoWindow")
    ->Arg(8 << 20)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void Idle(benchmark::State& state) {
    auto sim = rig::Simulator::Start({});
    if (!sim) {
        state.SkipWithError("no simulator");
        return;
    }
    Link link(SimulatorOnCom1(*sim), 1);
    if (!link.ok) {
        state.SkipWithError("cannot connect");
        return;
    }
    double cpu = 0;
    for (auto _ : state) {
        const double cpu0 = rig::CpuSeconds();
        std::this_thread::sleep_for(std::chrono::seconds(10));
        cpu = rig::CpuSeconds() - cpu0;
    }
    state.counters["cpu_ms"] = cpu * 1000.0;
}
BENCHMARK(Idle)->Name("Link/IdleNoWindow")->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace
