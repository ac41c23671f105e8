// The window's costs, offscreen: a full 80 x 25 repaint, a one-cell repaint, and a flood of
// text written from a second thread (as the receive thread does) while the window's loop runs.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

#include "app/wndproc.h"
#include "qt/qt_window.h"
#include "resources/messages.h"
#include "terminal/interpreter.h"
#include "terminal/tty_info.h"

namespace {

using namespace pelko;

TTYInfo* gRecord = nullptr;

// The window procedure, with a creation that attaches a plain record instead of opening ports.
std::intptr_t Proc(platform::Window* hwnd, unsigned msg, std::uintptr_t wParam,
                   std::intptr_t lParam) {
    if (msg == WM_CREATE) {
        hwnd->SetRecord(gRecord);
        ResetTTYScreen(hwnd, gRecord);
        return 1;
    }
    if (msg == WM_DESTROY) {
        hwnd->SetRecord(nullptr);
        return 0;
    }
    return TTYWndProc(hwnd, msg, wParam, lParam);
}

struct Terminal {
    TTYInfo tty;
    std::unique_ptr<qt::QtWindow> win;
    Terminal() {
        SetTTYDefaults(&tty);
        std::memset(tty.achScreen, ' ', sizeof tty.achScreen);
        tty.fConnected = 0;
        gRecord = &tty;
        win = std::make_unique<qt::QtWindow>(&Proc);
        win->Create();
        win->show();
        QApplication::processEvents();
    }
    void FillScreen() {
        for (int i = 0; i < kScreenCells; ++i) {
            tty.achScreen[i] = static_cast<std::uint8_t>(0x20 + (i * 7) % 224);
        }
    }
};

void BM_FullRepaint(benchmark::State& state) {
    Terminal t;
    t.FillScreen();
    QWidget* vp = t.win->view()->viewport();
    for (auto _ : state) {
        vp->repaint();
    }
    state.counters["cells"] = kScreenCells;
}
BENCHMARK(BM_FullRepaint)->Unit(benchmark::kMicrosecond);

void BM_OneCellRepaint(benchmark::State& state) {
    Terminal t;
    t.FillScreen();
    QWidget* vp = t.win->view()->viewport();
    const int cx = t.tty.cxChar;
    const int cy = t.tty.cyChar;
    const QRect cell(10 * cx, 5 * cy, cx, cy);
    for (auto _ : state) {
        vp->repaint(cell);
    }
}
BENCHMARK(BM_OneCellRepaint)->Unit(benchmark::kMicrosecond);

// 1 MB of mixed text in blocks of at most 80 bytes from a second thread, each block followed by
// a repaint request, while the window's loop runs and a 5 ms timer measures how long the loop
// is kept from its events.
void BM_ReceiveFlood(benchmark::State& state) {
    constexpr std::size_t kTotal = 1 << 20;
    std::string text(kTotal, ' ');
    for (std::size_t i = 0; i < kTotal; ++i) {
        const std::size_t k = i % 97;
        text[i] = k == 96 ? '\n' : (k == 95 ? '\r' : static_cast<char>(0x20 + (i * 13) % 95));
    }
    for (auto _ : state) {
        Terminal t;
        t.tty.fConnected = 1;
        t.win->Send(WM_SETFOCUS);
        const long paintsBefore = t.win->paintCount.load();
        qint64 longestStall = 0;
        QElapsedTimer sinceTick;
        sinceTick.start();
        QTimer ticker;
        ticker.setInterval(5);
        QObject::connect(&ticker, &QTimer::timeout,
                         [&] { longestStall = std::max(longestStall, sinceTick.restart() - 5); });
        ticker.start();
        std::atomic<bool> done{false};
        const auto start = std::chrono::steady_clock::now();
        std::thread writer([&] {
            for (std::size_t at = 0; at < kTotal; at += 80) {
                const auto n = static_cast<std::int32_t>(std::min<std::size_t>(80, kTotal - at));
                WriteTTYBlock(t.win.get(), text.data() + at, n);
                t.win->RequestRepaint();
            }
            done = true;
        });
        while (!done.load()) {
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        writer.join();
        QApplication::processEvents(); // the last repaint reaches the screen
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ticker.stop();
        state.SetIterationTime(seconds);
        state.counters["wall_ms"] = seconds * 1000.0;
        state.counters["paints"] = static_cast<double>(t.win->paintCount.load() - paintsBefore);
        state.counters["longest_stall_ms"] = static_cast<double>(longestStall);
        state.counters["MB_per_s"] = static_cast<double>(kTotal) / seconds / 1e6;
    }
}
BENCHMARK(BM_ReceiveFlood)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
