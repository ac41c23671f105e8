// Two threads writing to one record at once, as the receive thread and the window thread do,
// while a third reads it the way painting does. Run under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "terminal/interpreter.h"
#include "terminal/view.h"
#include "tests/support/recording_window.h"
#include "tests/support/terminal_record.h"

namespace pelko::test {
namespace {

// A window that counts invalidations and caret moves without keeping them, so the test can run
// long enough to matter.
class CountingWindow : public RecordingWindow {
public:
    std::atomic<long> cells{0};
    std::atomic<long> wholes{0};
    void InvalidateRect(const platform::Rect* r, bool) override {
        (r == nullptr ? wholes : cells).fetch_add(1, std::memory_order_relaxed);
    }
    void SetCaretPos(std::int32_t, std::int32_t) override {}
};

TEST(InterpreterThreads, TwoWritersNeverInterleaveAWrap) {
    CountingWindow win;
    AttachedRecord tty(win);
    tty->fConnected = 1;
    tty->wCaretState = 1;
    tty->fNewLine = 0;
    tty->fAutoWrap = 1;

    // Each writer sends whole 80-byte rows of its own letter; each row wraps exactly once. If
    // two calls interleaved, some row would hold both letters.
    constexpr int kRows = 40000;
    const std::string rowA(80, 'A');
    const std::string rowB(80, 'B');
    std::atomic<bool> stop{false};
    std::atomic<long> badCursor{0};

    auto writer = [&](const std::string& row) {
        for (int i = 0; i < kRows; ++i) {
            WriteTTYBlock(&win, row.data(), static_cast<std::int32_t>(row.size()));
        }
    };
    // The painter: cursor reads and locked row copies, as painting does.
    std::thread painter([&] {
        while (!stop.load()) {
            const int r = tty->nCursorRow.load();
            const int c = tty->nCursorCol.load();
            if (r < 0 || r >= kScreenRows || c < 0 || c >= kScreenCols) {
                badCursor.fetch_add(1);
            }
            std::uint8_t copy[kScreenCells];
            {
                std::lock_guard lock(tty->screenLock);
                std::memcpy(copy, tty->achScreen, sizeof copy);
            }
            MoveTTYCursor(&win);
        }
    });
    std::thread a(writer, rowA);
    std::thread b(writer, rowB);
    a.join();
    b.join();
    stop = true;
    painter.join();

    EXPECT_EQ(badCursor.load(), 0);
    EXPECT_EQ(win.cells.load(), 2L * kRows * 80);
    // Every row on screen is one writer's row, never a mix; the last row is the fresh blank one
    // left by the final wrap's scroll.
    for (int r = 0; r < kScreenRows - 1; ++r) {
        const std::string row = tty.Row(r);
        EXPECT_TRUE(row == rowA || row == rowB) << "row " << r << ": " << row;
    }
    EXPECT_EQ(tty.Row(kScreenRows - 1), std::string(80, ' '));
    EXPECT_EQ(tty->nCursorRow, kScreenRows - 1);
    EXPECT_EQ(tty->nCursorCol, 0);
}

} // namespace
} // namespace pelko::test
