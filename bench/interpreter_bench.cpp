// Interpreter throughput with a window that ignores invalidations: plain text, text that
// scrolls on the last row, and hex mode.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "bench/sink_window.h"
#include "terminal/interpreter.h"
#include "terminal/tty_info.h"

namespace {

using namespace pelko;

constexpr std::size_t kBlock = 64 * 1024;

struct Terminal {
    bench::SinkWindow win;
    TTYInfo tty;
    Terminal() {
        SetTTYDefaults(&tty);
        std::memset(tty.achScreen, ' ', sizeof tty.achScreen);
        tty.cxChar = 8;
        tty.cyChar = 16;
        tty.fConnected = 1;
        tty.wCaretState = 1;
        win.SetRecord(&tty);
    }
    ~Terminal() { win.SetRecord(nullptr); }
};

std::string Printable(std::size_t n) {
    std::string s(n, ' ');
    for (std::size_t i = 0; i < n; ++i) {
        s[i] = static_cast<char>(0x20 + (i * 7) % 95);
    }
    return s;
}

void Run(benchmark::State& state, Terminal& t, const std::string& data) {
    for (auto _ : state) {
        WriteTTYBlock(&t.win, data.data(), static_cast<std::int32_t>(data.size()));
        benchmark::DoNotOptimize(t.tty.achScreen);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

// Printable text with Autowrap on and New Line off, which wraps every 80 bytes as a real
// receive stream of long lines would.
void BM_PlainText(benchmark::State& state) {
    Terminal t;
    t.tty.fNewLine = 0;
    Run(state, t, Printable(kBlock));
}
BENCHMARK(BM_PlainText);

// 79 printable bytes and a line feed, written on the last row: every line scrolls the buffer.
void BM_ScrollingLines(benchmark::State& state) {
    Terminal t;
    t.tty.fNewLine = 0;
    t.tty.fAutoWrap = 0;
    t.tty.nCursorRow = kScreenRows - 1;
    std::string data = Printable(kBlock);
    for (std::size_t i = 79; i < data.size(); i += 80) {
        data[i] = '\n';
    }
    // Return to column 0 before each line so every line is written from the start.
    for (std::size_t i = 0; i < data.size(); i += 80) {
        data[i] = '\r';
    }
    Run(state, t, data);
}
BENCHMARK(BM_ScrollingLines);

// Every byte as two hex digits and a space, wrapping as it goes.
void BM_HexMode(benchmark::State& state) {
    Terminal t;
    t.tty.fNewLine = 0;
    t.tty.fHexPrint = 1;
    std::string data(kBlock, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<char>(i * 13);
        if (data[i] == '\b' || data[i] == '\n' || data[i] == '\r') {
            data[i] = 'x';
        }
    }
    Run(state, t, data);
}
BENCHMARK(BM_HexMode);

} // namespace
