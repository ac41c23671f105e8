// The main window procedure on the recording window: one group per message and per command.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/about.h"
#include "app/create.h"
#include "app/wndproc.h"
#include "resources/commands.h"
#include "resources/messages.h"
#include "resources/resources.h"
#include "terminal/tty_info.h"
#include "tests/support/recording_window.h"
#include "upload/source.h"
#include "upload/upload.h"

namespace pelko::test {
namespace {

using platform::IDCANCEL;
using platform::IDOK;
using testing::ElementsAre;
using testing::IsEmpty;

class WndProcTest : public testing::Test {
protected:
    void SetUp() override {
        win.client = {800, 500};
        ASSERT_EQ(TTYWndProc(&win, WM_CREATE, 0, 0), 1);
        tty = win.GetRecord();
        ASSERT_NE(tty, nullptr);
        win.Clear();
    }
    void TearDown() override {
        if (win.GetRecord() != nullptr) {
            DestroyTTYInfo(&win);
        }
    }
    std::intptr_t Command(std::uintptr_t wParam) { return TTYWndProc(&win, WM_COMMAND, wParam, 0); }
    // A record that behaves as connected with its caret shown, without a port behind it.
    void ShowCaret() {
        tty->fConnected = 1;
        TTYWndProc(&win, WM_SETFOCUS, 0, 0);
        win.Clear();
    }

    RecordingWindow win;
    TTYInfo* tty = nullptr;
};

TEST_F(WndProcTest, CreateAndDestroy) {
    EXPECT_EQ(TTYWndProc(&win, WM_DESTROY, 0, 0), 0);
    EXPECT_EQ(win.GetRecord(), nullptr);
    EXPECT_THAT(win.Calls("PostQuitMessage"), ElementsAre(Call{"PostQuitMessage", {0}, ""}));
}

TEST_F(WndProcTest, CreateFailsWhenTheRecordCannotBeBuilt) {
    class NoMemory : public platform::System {
        void* AllocZeroed(std::size_t) override { return nullptr; }
    } noMemory;
    platform::SetSystem(&noMemory);
    RecordingWindow other;
    EXPECT_EQ(TTYWndProc(&other, WM_CREATE, 0, 0), -1);
    platform::SetSystem(nullptr);
    EXPECT_EQ(other.GetRecord(), nullptr);
}

TEST_F(WndProcTest, SizeSplitsWidthAndHeight) {
    // Width 300 in the low word, height 200 in the high word; the kind in wParam is ignored.
    EXPECT_EQ(TTYWndProc(&win, WM_SIZE, 1, MakeLParam(300, 200)), 0);
    EXPECT_EQ(tty->cxClient, 300);
    EXPECT_EQ(tty->cyClient, 200);
    EXPECT_EQ(tty->nHScrollMax, 80 * 8 - 300);
    EXPECT_EQ(tty->nVScrollMax, 25 * 16 - 200);
    // Minimised: 0 x 0 sets both ranges to the whole page and keeps the offsets.
    TTYWndProc(&win, WM_VSCROLL, MakeWParam(7, 0), 0);
    const int offset = tty->nVScrollPos;
    TTYWndProc(&win, WM_SIZE, 1, MakeLParam(0, 0));
    EXPECT_EQ(tty->nVScrollMax, 25 * 16);
    EXPECT_EQ(tty->nHScrollMax, 80 * 8);
    EXPECT_EQ(tty->nVScrollPos, offset);
}

TEST_F(WndProcTest, FocusMakesAndRemovesTheCaretOnlyWhileConnected) {
    tty->fConnected = 0;
    TTYWndProc(&win, WM_SETFOCUS, 0, 0);
    EXPECT_EQ(win.Count("CreateCaret"), 0U);
    tty->fConnected = 1;
    TTYWndProc(&win, WM_SETFOCUS, 0, 0);
    EXPECT_THAT(win.Calls("CreateCaret"), ElementsAre(Call{"CreateCaret", {8, 16}, ""}));
    EXPECT_EQ(win.Count("ShowCaret"), 1U);
    TTYWndProc(&win, WM_KILLFOCUS, 0, 0);
    EXPECT_EQ(win.Count("HideCaret"), 1U);
    EXPECT_EQ(win.Count("DestroyCaret"), 1U);
    EXPECT_EQ(tty->wCaretState, 0);
}

TEST_F(WndProcTest, PaintDrawsRowsAndPlacesTheCaret) {
    ShowCaret();
    win.paintRect = {0, 0, 16, 32}; // two columns of two rows
    EXPECT_EQ(TTYWndProc(&win, WM_PAINT, 0, 0), 0);
    EXPECT_EQ(win.Count("ExtTextOut"), 2U);
    EXPECT_EQ(win.Count("SetCaretPos"), 1U);
}

TEST_F(WndProcTest, ScrollMessagesSplitCodeAndPosition) {
    TTYWndProc(&win, WM_SIZE, 0, MakeLParam(300, 200));
    TTYWndProc(&win, WM_VSCROLL, MakeWParam(4, 37), 0); // thumb released at 37
    EXPECT_EQ(tty->nVScrollPos, 37);
    TTYWndProc(&win, WM_HSCROLL, MakeWParam(1, 0), 0); // one column right
    EXPECT_EQ(tty->nHScrollPos, 8);
}

TEST_F(WndProcTest, CloseAsksFirstAndCancelChangesNothing) {
    gszSourcePath = "/tmp/chosen.src";
    win.boxAnswers = {IDCANCEL};
    EXPECT_EQ(TTYWndProc(&win, WM_CLOSE, 0, 0), 0);
    EXPECT_THAT(win.Calls("MessageBox"),
                ElementsAre(Call{"MessageBox", {0x21}, "exit   Pelko?|Really?"}));
    EXPECT_EQ(win.Count("DestroyWindow"), 0U);
    EXPECT_EQ(win.GetRecord(), tty);
    EXPECT_EQ(gszSourcePath, "/tmp/chosen.src");

    win.boxAnswers = {IDOK};
    TTYWndProc(&win, WM_CLOSE, 0, 0);
    EXPECT_EQ(win.Count("DestroyWindow"), 1U);
    gszSourcePath.clear();
}

TEST_F(WndProcTest, TypedCharacterClearsTheHandshakeEvenWhenNothingIsSent) {
    tty->fConnected = 0;
    gLink.gUploadSync = kUploadAccepted;
    EXPECT_EQ(TTYWndProc(&win, WM_CHAR, 'a', 0), 0);
    EXPECT_EQ(gLink.gUploadSync.load(), kUploadWaiting);
    EXPECT_THAT(win.Calls(), IsEmpty());
}

TEST_F(WndProcTest, ConnectThatFailsSaysSo) {
    tty->fConnected = 0;
    Command(IDM_CONNECT);
    EXPECT_THAT(win.Calls("MessageBox"),
                ElementsAre(Call{"MessageBox", {0x30}, "Connection failed.|Pelko v3.1"}));
}

TEST_F(WndProcTest, DisconnectRemovesTheCaretBeforeClosing) {
    ShowCaret();
    Command(IDM_DISCONNECT);
    // The caret went while the record still said connected, so it is really gone.
    EXPECT_EQ(win.Count("DestroyCaret"), 1U);
    EXPECT_EQ(tty->wCaretState, 0);
    EXPECT_EQ(tty->fConnected, 0);
}

TEST_F(WndProcTest, SelectSourceOnlyChoosesAFile) {
    Command(IDM_SELECTSOURCE);
    EXPECT_EQ(win.Count("GetOpenFileName"), 1U);
    EXPECT_EQ(win.Count("MessageBox"), 0U);
}

TEST_F(WndProcTest, ExitPostsACloseRequest) {
    Command(IDM_EXIT);
    EXPECT_THAT(win.Calls(), ElementsAre(Call{"PostClose", {}, ""}));
}

TEST_F(WndProcTest, SetupWhileConnectedReappliesTheSettingsEvenAfterCancel) {
    tty->fConnected = 1;
    win.dialogResult = IDCANCEL;
    Command(IDM_SETUP);
    const auto param = static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(tty));
    EXPECT_THAT(win.Calls("DialogBoxParam"), ElementsAre(Call{"DialogBoxParam", {101, param}, ""}));
    // No port stands behind the record, so applying the settings fails and the user is told.
    EXPECT_THAT(win.Calls("MessageBox"),
                ElementsAre(Call{"MessageBox", {0x30}, "Disconnect before Change!|Pelko v3.1"}));
}

TEST_F(WndProcTest, SetupWhileDisconnectedNeverTouchesThePort) {
    tty->fConnected = 0;
    Command(IDM_SETUP);
    EXPECT_EQ(win.Count("DialogBoxParam"), 1U);
    EXPECT_EQ(win.Count("MessageBox"), 0U);
}

TEST_F(WndProcTest, SetupWithoutRecordDoesNothing) {
    RecordingWindow empty;
    EXPECT_EQ(TTYWndProc(&empty, WM_COMMAND, IDM_SETUP, 0), 0);
    EXPECT_THAT(empty.Calls(), IsEmpty());
}

TEST_F(WndProcTest, AboutRunsItsDialogAndTheNotificationCodeIsIgnored) {
    Command(MakeWParam(IDM_ABOUT, 1));
    EXPECT_THAT(win.Calls(), ElementsAre(Call{"DialogBoxParam", {IDD_ABOUT, 0}, ""}));
}

TEST_F(WndProcTest, CommandsOutsideTheTableAreIgnored) {
    for (std::uintptr_t id : {0U, 255U, 267U, 300U, 0xFFFFU}) {
        EXPECT_EQ(Command(id), 0) << id;
    }
    EXPECT_THAT(win.Calls(), IsEmpty());
}

TEST_F(WndProcTest, UnknownMessagesAnswerZero) {
    EXPECT_EQ(TTYWndProc(&win, 0x0200, 1, 2), 0);
    EXPECT_THAT(win.Calls(), IsEmpty());
}

// A recording dialog for the About box's procedure.
class FakeDialog : public platform::Dialog {
public:
    std::map<int, std::string> texts;
    int ended = -1;
    std::string GetDlgItemText(int id) const override {
        const auto it = texts.find(id);
        return it == texts.end() ? "" : it->second;
    }
    void SetDlgItemText(int id, const std::string& t) override { texts[id] = t; }
    void EndDialog(int result) override { ended = result; }
    platform::Window* Owner() const override { return nullptr; }
};

TEST(HelpDlgProc, KeepsItsTextAndClosesOnlyThroughOk) {
    FakeDialog dlg;
    dlg.texts[IDC_ABOUT_VERSION] = "Pelko v 3.1 Terminal for Zemra";
    EXPECT_EQ(HelpDlgProc(&dlg, WM_INITDIALOG, 0, 0), 1);
    EXPECT_EQ(dlg.texts[IDC_ABOUT_VERSION], "Pelko v 3.1 Terminal for Zemra");
    EXPECT_EQ(HelpDlgProc(&dlg, WM_COMMAND, IDCANCEL, 0), 0); // Esc
    EXPECT_EQ(dlg.ended, -1);
    EXPECT_EQ(HelpDlgProc(&dlg, 0x0200, 0, 0), 0);
    EXPECT_EQ(HelpDlgProc(&dlg, WM_COMMAND, IDOK, 0), 1);
    EXPECT_EQ(dlg.ended, 1);
}

TEST(HelpDlgProc, VersionTextFillsAtMostTwoConversionsSafely) {
    EXPECT_EQ(FormatVersionText("v%d.%d", 6, 1), "v6.1");
    EXPECT_EQ(FormatVersionText("%d %d %d %s %n 100%%", 6, 1), "6 1 %d %s %n 100%");
    EXPECT_EQ(FormatVersionText("%x-%u%", 255, 7), "ff-7%");
}

} // namespace
} // namespace pelko::test
