// The window's painting costs, offscreen: a full 80 x 25 repaint and a one-cell repaint. What
// receiving costs through a real pty and receive thread is in receive_bench.cpp.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstring>
#include <memory>

#include "bench/gui/bench_window.h"
#include "qt/qt_window.h"
#include "terminal/tty_info.h"

namespace {

using namespace pelko;

// A shown window whose screen is filled with every kind of character.
struct Terminal : bench::PlainWindow {
    Terminal() {
        for (int i = 0; i < kScreenCells; ++i) {
            tty_.achScreen[i] = static_cast<std::uint8_t>(0x20 + (i * 7) % 224);
        }
    }
};

void BM_FullRepaint(benchmark::State& state) {
    Terminal t;
    QWidget* vp = t.Win().view()->viewport();
    for (auto _ : state) {
        vp->repaint();
    }
    state.counters["cells"] = kScreenCells;
}
BENCHMARK(BM_FullRepaint)->Unit(benchmark::kMicrosecond);

void BM_OneCellRepaint(benchmark::State& state) {
    Terminal t;
    QWidget* vp = t.Win().view()->viewport();
    const int cx = t.Tty().cxChar;
    const int cy = t.Tty().cyChar;
    const QRect cell(10 * cx, 5 * cy, cx, cy);
    for (auto _ : state) {
        vp->repaint(cell);
    }
}
BENCHMARK(BM_OneCellRepaint)->Unit(benchmark::kMicrosecond);

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
