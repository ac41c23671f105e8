// The terminal record's life: creation with its start values, the failure paths of creation,
// teardown, and remaking the font.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

#include "app/create.h"
#include "platform/system.h"
#include "resources/commands.h"
#include "settings/settings.h"
#include "terminal/interpreter.h"
#include "terminal/tty_info.h"
#include "tests/support/private_dir.h"
#include "tests/support/recording_window.h"

namespace pelko::test {
namespace {

using platform::Event;
using testing::ElementsAre;

// Real events and storage, with the allocation or the Nth event made to fail on demand, and a
// tally of what is still held.
class CountingSystem : public platform::System {
public:
    bool failAlloc = false;
    int failEventNumber = 0; // 1 = the first CreateEvent fails
    int eventsMade = 0;
    std::set<Event> openEvents;
    int liveBlocks = 0;

    void* AllocZeroed(std::size_t size) override {
        if (failAlloc) {
            return nullptr;
        }
        ++liveBlocks;
        return System::AllocZeroed(size);
    }
    void Free(void* p) override {
        if (p != nullptr) {
            --liveBlocks;
        }
        System::Free(p);
    }
    Event CreateEvent() override {
        if (++eventsMade == failEventNumber) {
            return platform::kNoEvent;
        }
        const Event e = System::CreateEvent();
        openEvents.insert(e);
        return e;
    }
    void CloseEvent(Event h) override {
        openEvents.erase(h);
        System::CloseEvent(h);
    }
};

class TTYInfoTest : public testing::Test {
protected:
    void SetUp() override { platform::SetSystem(&sys); }
    void TearDown() override {
        if (win.GetRecord() != nullptr) {
            DestroyTTYInfo(&win);
        }
        platform::SetSystem(nullptr);
    }
    PrivateDir dir; // creation reads PELKO.SET from here: there is none
    CountingSystem sys;
    RecordingWindow win;
};

TEST_F(TTYInfoTest, FreshRecordHasItsStartValues) {
    win.client = {300, 300};
    ASSERT_EQ(CreateTTYInfo(&win), 1);
    TTYInfo* tty = win.GetRecord();
    ASSERT_NE(tty, nullptr);
    for (std::uint8_t cell : tty->achScreen) {
        ASSERT_EQ(cell, ' ');
    }
    EXPECT_EQ(tty->nCursorRow, 0);
    EXPECT_EQ(tty->nCursorCol, 0);
    EXPECT_NE(tty->fNewLine, 0);
    EXPECT_NE(tty->fAutoWrap, 0);
    EXPECT_EQ(tty->fLocalEcho, 0);
    EXPECT_EQ(tty->fMax40, 0);
    EXPECT_EQ(tty->fHexPrint, 0);
    EXPECT_EQ(tty->bPortNum, 1);
    EXPECT_EQ(tty->dwBaudRate, 19200U);
    EXPECT_EQ(tty->bDataBits, 8);
    EXPECT_EQ(tty->bParity, 0);
    EXPECT_EQ(tty->bStopBits, 0);
    EXPECT_EQ(tty->rgbTextColor, 0U);
    EXPECT_EQ(tty->wCaretState, 0);
    EXPECT_EQ(tty->hCommPort, nullptr);
    EXPECT_EQ(tty->lfTTYFont.lfHeight, 14);
    EXPECT_STREQ(tty->lfTTYFont.lfFaceName, "Lucida Console");
    EXPECT_EQ(tty->lfTTYFont.lfCharSet, 255);
    EXPECT_EQ(tty->lfTTYFont.lfPitchAndFamily, 0x31);
    EXPECT_EQ(gwMaxColumn, 80);
    EXPECT_GE(tty->osRead.hEvent, 0);
    // The font was made from the description and measured: 16 px cells, 300 px high client.
    EXPECT_THAT(win.Calls("CreateFont"), ElementsAre(Call{"CreateFont", {14}, "Lucida Console"}));
    EXPECT_EQ(tty->cxChar, 8);
    EXPECT_EQ(tty->cyChar, 16);
    EXPECT_EQ(tty->nVScrollMax, 100);
    EXPECT_EQ(tty->nHScrollMax, 340);
}

TEST_F(TTYInfoTest, FailedFirstOpenLeavesBothMenuItemsEnabledAndSaysSoOnce) {
    ASSERT_EQ(CreateTTYInfo(&win), 1);
    EXPECT_THAT(win.Calls("MessageBox"),
                ElementsAre(Call{"MessageBox", {0x30}, "Connection failed.|Pelko v3.1"}));
    EXPECT_THAT(win.Calls("EnableMenuItem"),
                ElementsAre(Call{"EnableMenuItem", {IDM_CONNECT, 3}, ""},
                            Call{"EnableMenuItem", {IDM_DISCONNECT, 0}, ""},
                            Call{"EnableMenuItem", {IDM_CONNECT, 0}, ""}));
    // The record stays marked connected after a failed first open.
    EXPECT_NE(win.GetRecord()->fConnected, 0);
}

TEST_F(TTYInfoTest, NoMemoryFailsBeforeAnythingElse) {
    sys.failAlloc = true;
    EXPECT_EQ(CreateTTYInfo(&win), -1);
    EXPECT_EQ(win.GetRecord(), nullptr);
    EXPECT_EQ(sys.eventsMade, 0);
    EXPECT_TRUE(win.Calls().empty());
}

TEST_F(TTYInfoTest, EventFailingFreesTheRecord) {
    sys.failEventNumber = 1;
    EXPECT_EQ(CreateTTYInfo(&win), -1);
    EXPECT_EQ(win.GetRecord(), nullptr);
    EXPECT_EQ(sys.eventsMade, 1);
    EXPECT_TRUE(sys.openEvents.empty());
    EXPECT_EQ(sys.liveBlocks, 0);
    EXPECT_TRUE(win.Calls().empty());
}

TEST_F(TTYInfoTest, TeardownReleasesEverything) {
    ASSERT_EQ(CreateTTYInfo(&win), 1);
    EXPECT_EQ(sys.openEvents.size(), 1U);
    EXPECT_TRUE(DestroyTTYInfo(&win));
    EXPECT_TRUE(sys.openEvents.empty());
    EXPECT_EQ(sys.liveBlocks, 0);
    EXPECT_EQ(win.GetRecord(), nullptr);
    // A second teardown finds no record.
    EXPECT_FALSE(DestroyTTYInfo(&win));
}

TEST_F(TTYInfoTest, TeardownWhileDisconnectedDoesNotTouchTheConnection) {
    ASSERT_EQ(CreateTTYInfo(&win), 1);
    win.GetRecord()->fConnected = 0;
    win.Clear();
    EXPECT_TRUE(DestroyTTYInfo(&win));
    EXPECT_TRUE(win.Calls("EnableMenuItem").empty());
    EXPECT_TRUE(sys.openEvents.empty());
}

TEST_F(TTYInfoTest, ResetKeepsTextAndCursorAndFollowsTheNewFont) {
    win.client = {300, 300};
    ASSERT_EQ(CreateTTYInfo(&win), 1);
    TTYInfo* tty = win.GetRecord();
    WriteTTYBlock(&win, "hello\r\nworld", 12);
    const std::string before(reinterpret_cast<const char*>(tty->achScreen), kScreenCells);
    const int row = tty->nCursorRow, col = tty->nCursorCol;

    tty->lfTTYFont.lfHeight = 20;
    win.metrics = {20, 10, 2};
    win.Clear();
    EXPECT_TRUE(ResetTTYScreen(&win, tty));

    EXPECT_EQ(std::string(reinterpret_cast<const char*>(tty->achScreen), kScreenCells), before);
    EXPECT_EQ(tty->nCursorRow, row);
    EXPECT_EQ(tty->nCursorCol, col);
    EXPECT_EQ(tty->cxChar, 10);
    EXPECT_EQ(tty->cyChar, 22);
    EXPECT_THAT(win.Calls("SetCellSize"), ElementsAre(Call{"SetCellSize", {10, 22}, ""}));
    EXPECT_EQ(tty->nVScrollMax, 25 * 22 - 300);
    EXPECT_EQ(win.Count("CreateFont"), 1U);
    EXPECT_EQ(win.Count("InvalidateAll"), 1U); // the size pass repaints everything
}

TEST_F(TTYInfoTest, ResetWithoutRecordDoesNothing) {
    EXPECT_FALSE(ResetTTYScreen(&win, nullptr));
    EXPECT_TRUE(win.Calls().empty());
}

TEST_F(TTYInfoTest, FontWithoutMetricsStillGivesAPositiveCell) {
    win.metrics = {0, 0, 0};
    ASSERT_EQ(CreateTTYInfo(&win), 1);
    EXPECT_GT(win.GetRecord()->cxChar, 0);
    EXPECT_GT(win.GetRecord()->cyChar, 0);
}

TEST_F(TTYInfoTest, MaxFortyOptionSetsColumnLimit) {
    TTYInfo tty;
    SetTTYDefaults(&tty);
    tty.fMax40 = 7; // any nonzero value is on
    LoadDefaults(&tty);
    EXPECT_EQ(gwMaxColumn, 40);
    tty.fMax40 = 0;
    LoadDefaults(&tty);
    EXPECT_EQ(gwMaxColumn, 80);
}

} // namespace
} // namespace pelko::test
