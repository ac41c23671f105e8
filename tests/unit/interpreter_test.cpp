// The interpreter over every byte value, and the cases the fixtures cannot express.
#include <gtest/gtest.h>

#include "terminal/interpreter.h"
#include "tests/support/recording_window.h"
#include "tests/support/terminal_record.h"

namespace pelko::test {
namespace {

bool IsControl(int b) {
    return b == 0x08 || b == 0x0A || b == 0x0D;
}

TEST(Interpreter, WindowWithoutRecordDoesNothing) {
    RecordingWindow win;
    EXPECT_EQ(WriteTTYBlock(&win, "AB", 2), 0);
    EXPECT_EQ(WriteTTYBlock(&win, "AB", 0), 0);
    EXPECT_TRUE(win.Calls().empty());
}

TEST(Interpreter, EveryByteValueInPlainMode) {
    for (int b = 0; b < 256; ++b) {
        RecordingWindow win;
        AttachedRecord tty(win);
        tty->nCursorRow = 5;
        tty->nCursorCol = 10;
        const auto byte = static_cast<std::uint8_t>(b);
        ASSERT_EQ(WriteTTYBlock(&win, &byte, 1), 1);
        const std::uint8_t cell = tty->achScreen[5 * kScreenCols + 10];
        if (IsControl(b)) {
            EXPECT_EQ(cell, ' ') << "control byte " << b << " was stored";
            EXPECT_EQ(win.Count("InvalidateRect"), 0U) << b;
        } else {
            EXPECT_EQ(cell, byte) << "byte " << b;
            EXPECT_EQ(tty->nCursorCol, 11) << b;
            EXPECT_EQ(win.Count("InvalidateRect"), 1U) << b;
        }
    }
}

TEST(Interpreter, EveryByteValueInHexMode) {
    const char* digits = "0123456789abcdef";
    for (int b = 0; b < 256; ++b) {
        if (IsControl(b)) {
            continue;
        }
        RecordingWindow win;
        AttachedRecord tty(win);
        tty->fHexPrint = 1;
        const auto byte = static_cast<std::uint8_t>(b);
        ASSERT_EQ(WriteTTYBlock(&win, &byte, 1), 1);
        const std::string want = {digits[b >> 4], digits[b & 15], ' '};
        EXPECT_EQ(tty.Row(0).substr(0, 3), want) << "byte " << b;
        EXPECT_EQ(tty->nCursorCol, 3);
    }
}

TEST(Interpreter, CursorStaysOnScreenThroughLongMixedInput) {
    // A long run of every byte value, in each option combination, ends with the cursor inside.
    std::string block;
    for (int rep = 0; rep < 40; ++rep) {
        for (int b = 0; b < 256; ++b) {
            block.push_back(static_cast<char>((b * 37 + rep) & 0xFF));
        }
    }
    for (int options = 0; options < 8; ++options) {
        RecordingWindow win;
        AttachedRecord tty(win);
        tty->fNewLine = options & 1;
        tty->fAutoWrap = (options >> 1) & 1;
        tty->fHexPrint = (options >> 2) & 1;
        win.onCall = [&](const Call&) {
            ASSERT_GE(tty->nCursorRow, 0);
            ASSERT_LT(tty->nCursorRow, kScreenRows);
            ASSERT_GE(tty->nCursorCol, 0);
            ASSERT_LT(tty->nCursorCol, kScreenCols);
        };
        EXPECT_EQ(WriteTTYBlock(&win, block.data(), static_cast<std::int32_t>(block.size())), 1);
    }
}

TEST(Interpreter, BlockContinuesWhereThePreviousEnded) {
    RecordingWindow win;
    AttachedRecord tty(win);
    tty->fNewLine = 0;
    WriteTTYBlock(&win, "abc", 3);
    WriteTTYBlock(&win, "de\nf", 4);
    EXPECT_EQ(tty.Row(0).substr(0, 5), "abcde");
    EXPECT_EQ(tty.Row(1).substr(0, 6), "     f");
}

} // namespace
} // namespace pelko::test
