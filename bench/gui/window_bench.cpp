// The window's painting costs, offscreen: a full 80 x 25 repaint and a one-cell repaint. What
// receiving costs through a real pty and receive thread is in receive_bench.cpp.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstring>
#include <memory>

#include "app/wndproc.h"
#include "qt/qt_window.h"
#include "resources/messages.h"
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
