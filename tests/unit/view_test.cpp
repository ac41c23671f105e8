// Painting, sizing, scrolling and the caret on the recording window.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "terminal/interpreter.h"
#include "terminal/selection.h"
#include "terminal/view.h"
#include "tests/support/recording_window.h"
#include "tests/support/terminal_record.h"

namespace pelko::test {
namespace {

using testing::ElementsAre;

constexpr std::int64_t kVert = 1;

TEST(View, WindowWithoutRecordDoesNothing) {
    RecordingWindow win;
    EXPECT_FALSE(PaintTTY(&win));
    EXPECT_FALSE(SizeTTY(&win, 100, 100));
    EXPECT_FALSE(ScrollTTYVert(&win, SB_LINEDOWN, 0));
    EXPECT_FALSE(ScrollTTYHorz(&win, SB_LINEDOWN, 0));
    EXPECT_FALSE(SetTTYFocus(&win));
    EXPECT_FALSE(KillTTYFocus(&win));
    EXPECT_FALSE(MoveTTYCursor(&win));
    EXPECT_TRUE(win.Calls().empty());
}

TEST(View, PaintDrawsOnlyTheRowsAndColumnsThatMeetTheRectangle) {
    RecordingWindow win;
    AttachedRecord tty(win);
    WriteTTYBlock(&win, "\n\nabcdefgh", 10);
    // Pixels 20..35 wide and 33..40 high: columns 2 to 4 of rows 2 (and row 2 only).
    win.paintRect = {20, 33, 36, 41};
    win.Clear();
    PaintTTY(&win);
    EXPECT_THAT(win.Calls("ExtTextOut"),
                ElementsAre(Call{"ExtTextOut", {16, 32, 16, 32, 40, 48, 0, 0xFFFFFF}, "cde"}));

    // Scrolled by (5, 12): the same rectangle now starts in column 3, and reaches row 3.
    tty->nHScrollPos = 5;
    tty->nVScrollPos = 12;
    win.Clear();
    PaintTTY(&win);
    const auto rows = win.Calls("ExtTextOut");
    ASSERT_EQ(rows.size(), 2U);
    EXPECT_EQ(rows[0].s, "def");
    EXPECT_EQ(rows[0].n[0], 3 * 8 - 5);
    EXPECT_EQ(rows[0].n[1], 2 * 16 - 12);
    EXPECT_EQ(rows[1].s, "   ");
}

TEST(View, PaintOutsideThePageClampsToTheLastRowAndColumn) {
    RecordingWindow win;
    AttachedRecord tty(win);
    // Wholly right of column 79 and below row 24: both bounds clamp to the last cell.
    win.paintRect = {900, 500, 1000, 600};
    PaintTTY(&win);
    const auto rows = win.Calls("ExtTextOut");
    ASSERT_EQ(rows.size(), 1U);
    EXPECT_EQ(rows[0].s.size(), 1U);
    EXPECT_EQ(rows[0].n[0], 79 * 8);
    EXPECT_EQ(rows[0].n[1], 24 * 16);
    // Painting always ends by placing the caret, when there is one.
    EXPECT_EQ(win.Count("SetCaretPos"), 0U);
}

TEST(View, SizingClampsOffsetsAndShiftsTheContent) {
    RecordingWindow win;
    AttachedRecord tty(win);
    SizeTTY(&win, 200, 300);
    EXPECT_EQ(tty->nVScrollMax, 400 - 200);
    EXPECT_EQ(tty->nHScrollMax, 640 - 300);
    ScrollTTYVert(&win, SB_BOTTOM, 0);
    ScrollTTYHorz(&win, SB_BOTTOM, 0);
    win.Clear();
    // Growing while scrolled to the far end: the offsets come down to the new maxima and the
    // content moves with them, so the last row and column sit at the edges.
    SizeTTY(&win, 300, 600);
    EXPECT_EQ(tty->nVScrollPos, 100);
    EXPECT_EQ(tty->nHScrollPos, 40);
    EXPECT_THAT(win.Calls("ScrollWindow"), ElementsAre(Call{"ScrollWindow", {0, 100}, ""},
                                                       Call{"ScrollWindow", {300, 0}, ""}));
    EXPECT_THAT(win.Calls("SetScrollRange"),
                ElementsAre(Call{"SetScrollRange", {kVert, 0, 100, 1}, ""},
                            Call{"SetScrollRange", {0, 0, 40, 1}, ""}));
    EXPECT_EQ(win.Calls("InvalidateAll").back().n[0], 1); // with erase
    // A client that holds the whole page: no ranges, no offsets.
    SizeTTY(&win, 400, 640);
    EXPECT_EQ(tty->nVScrollMax, 0);
    EXPECT_EQ(tty->nHScrollPos, 0);
}

TEST(View, ScrollCodesStepAndClamp) {
    RecordingWindow win;
    AttachedRecord tty(win);
    SizeTTY(&win, 150, 300); // vertical max 250
    win.Clear();
    // Line up at the top: no move, but the position is set again.
    EXPECT_TRUE(ScrollTTYVert(&win, SB_LINEUP, 0));
    EXPECT_EQ(tty->nVScrollPos, 0);
    EXPECT_THAT(win.Calls("SetScrollPos"), ElementsAre(Call{"SetScrollPos", {kVert, 0, 1}, ""}));
    // Page down moves one client height, less where the end is nearer.
    ScrollTTYVert(&win, SB_PAGEDOWN, 0);
    EXPECT_EQ(tty->nVScrollPos, 150);
    ScrollTTYVert(&win, SB_PAGEDOWN, 0);
    EXPECT_EQ(tty->nVScrollPos, 250);
    ScrollTTYVert(&win, SB_LINEDOWN, 0);
    EXPECT_EQ(tty->nVScrollPos, 250);
    ScrollTTYVert(&win, SB_LINEUP, 0);
    EXPECT_EQ(tty->nVScrollPos, 250 - 16);
    // A released thumb sets the offset, clamped.
    ScrollTTYVert(&win, SB_THUMBPOSITION, 77);
    EXPECT_EQ(tty->nVScrollPos, 77);
    ScrollTTYVert(&win, SB_THUMBPOSITION, 60000);
    EXPECT_EQ(tty->nVScrollPos, 250);
    ScrollTTYVert(&win, SB_TOP, 0);
    EXPECT_EQ(tty->nVScrollPos, 0);
    // Thumb tracking, the end of a scroll and unknown codes change nothing.
    win.Clear();
    for (std::uint16_t code :
         {SB_THUMBTRACK, SB_ENDSCROLL, std::uint16_t{9}, std::uint16_t{0xFFFF}}) {
        EXPECT_FALSE(ScrollTTYVert(&win, code, 100)) << code;
        EXPECT_FALSE(ScrollTTYHorz(&win, code, 100)) << code;
    }
    EXPECT_TRUE(win.Calls().empty());
    // The content moves against the offset: up when the offset grows.
    ScrollTTYVert(&win, SB_LINEDOWN, 0);
    EXPECT_THAT(win.Calls("ScrollWindow"), ElementsAre(Call{"ScrollWindow", {0, -16}, ""}));
}

TEST(View, CaretExistsOnlyWhileConnectedAndFollowsTheOffsets) {
    RecordingWindow win;
    AttachedRecord tty(win);
    tty->fConnected = 0;
    SetTTYFocus(&win);
    KillTTYFocus(&win);
    EXPECT_TRUE(win.Calls().empty());

    tty->fConnected = 1;
    tty->nCursorRow = 3;
    tty->nCursorCol = 7;
    tty->nHScrollPos = 4;
    tty->nVScrollPos = 10;
    SetTTYFocus(&win);
    SetTTYFocus(&win); // a second focus makes no second caret
    EXPECT_EQ(win.Count("CreateCaret"), 1U);
    EXPECT_THAT(win.Calls("SetCaretPos").back(),
                (Call{"SetCaretPos", {7 * 8 - 4, 3 * 16 - 10}, ""}));
    KillTTYFocus(&win);
    KillTTYFocus(&win);
    EXPECT_EQ(win.Count("DestroyCaret"), 1U);
    // No caret, no placing.
    win.Clear();
    MoveTTYCursor(&win);
    EXPECT_TRUE(win.Calls().empty());
}

TEST(View, HistoryKeepsScrolledRowsUnderAViewThatStaysOnThem) {
    RecordingWindow win;
    AttachedRecord tty(win);
    SizeTTY(&win, 400, 640);
    char line[16];
    for (int i = 0; i < 30; ++i) { // New Line on: each CR ends a row; rows 0 to 5 scroll off
        WriteTTYBlock(&win, line, std::snprintf(line, sizeof line, "row %02d\r", i));
    }
    EXPECT_EQ(tty->history.Count(), 6);
    EXPECT_EQ(tty.Row(0).substr(0, 6), "row 06");
    EXPECT_FALSE(ScrollTTYHistory(&win, SB_THUMBPOSITION));
    ScrollTTYHistory(&win, SB_PAGEUP); // a page is the window less one row, clamped to the rows
    EXPECT_EQ(tty->nHistoryPos, 6);
    // New text keeps the view on its rows; the screen below it is drawn lower, the caret too.
    WriteTTYBlock(&win, "row 30\r", 7);
    EXPECT_EQ(tty->nHistoryPos, 7);
    win.paintRect = {0, 0, 48, 32};
    win.Clear();
    PaintTTY(&win);
    const auto rows = win.Calls("ExtTextOut");
    ASSERT_EQ(rows.size(), 2U);
    EXPECT_EQ(rows[0].s, "row 00");
    EXPECT_EQ(rows[1].s, "row 01");

    // A drag from row 0 column 4 to row 1 column 1: copied as two lines, drawn inverted.
    SelectTTYText(&win, SelectPhase::Press, 4 * 8, 0, 1);
    SelectTTYText(&win, SelectPhase::Release, 1 * 8 + 3, 16 + 3, 1);
    EXPECT_EQ(TTYSelectionText(*tty), "00\nro");
    win.Clear();
    PaintTTY(&win);
    const auto parts = win.Calls("ExtTextOut");
    ASSERT_EQ(parts.size(), 4U);
    EXPECT_EQ(parts[0].s + "|" + parts[1].s + "|" + parts[2].s + "|" + parts[3].s,
              "row |00|ro|w 01");
    EXPECT_EQ(parts[1].n[6], 0xFFFFFF); // text in the window colour
    // A double click takes the word, a triple click the row; the selection follows its text.
    SelectTTYText(&win, SelectPhase::Press, 5 * 8, 16, 2);
    EXPECT_EQ(TTYSelectionText(*tty), "01");
    SelectTTYText(&win, SelectPhase::Press, 5 * 8, 16, 3);
    WriteTTYBlock(&win, "\n", 1);
    EXPECT_EQ(TTYSelectionText(*tty), "row 01");

    ScrollTTYHistory(&win, SB_BOTTOM);
    EXPECT_EQ(tty->nHistoryPos, 0);
    // The ring keeps the newest 10,000 rows; a row keeps its text while the storage grows.
    const std::uint64_t last = tty->history.Total() - 1;
    ASSERT_NE(tty->history.Row(last), nullptr);
    const std::string kept(reinterpret_cast<const char*>(tty->history.Row(last)), kHistoryCols);
    for (int i = 0; i < 10100; ++i) {
        WriteTTYBlock(&win, "\n", 1);
        if (i == 9000) {
            ASSERT_NE(tty->history.Row(last), nullptr);
            EXPECT_EQ(
                std::string(reinterpret_cast<const char*>(tty->history.Row(last)), kHistoryCols),
                kept);
        }
    }
    EXPECT_EQ(tty->history.Count(), kHistoryRows);
    const std::uint64_t oldest = tty->history.Total() - kHistoryRows;
    EXPECT_EQ(tty->history.Row(oldest - 1), nullptr);
    ASSERT_NE(tty->history.Row(oldest), nullptr);
    EXPECT_EQ(tty->nHistoryPos, 0);
}

} // namespace
} // namespace pelko::test
