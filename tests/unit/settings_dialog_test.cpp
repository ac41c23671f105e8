// The Setup dialog's procedure through a recorded dialog: filling the controls from the record,
// OK and Cancel, lists with nothing selected, the font chooser, and a dialog without a record.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/port.h"
#include "resources/messages.h"
#include "resources/port_names.h"
#include "serial/connection.h"
#include "serial/settings_dialog.h"
#include "settings/settings.h"
#include "terminal/tty_info.h"
#include "tests/support/recording_window.h"
#include "tests/support/terminal_record.h"

namespace pelko::test {
namespace {

using testing::ElementsAre;

class SetupDialogTest : public testing::Test {
protected:
    std::intptr_t Send(unsigned msg, std::uintptr_t wParam = 0, std::intptr_t lParam = 0) {
        return SettingsDlgProc(&dlg, msg, wParam, lParam);
    }
    std::intptr_t Init() { return Send(WM_INITDIALOG, 0, reinterpret_cast<std::intptr_t>(&*tty)); }
    std::intptr_t Command(int id) { return Send(WM_COMMAND, MakeWParam(id, 0)); }
    int Sel(int id) { return dlg.lists[id].sel; }

    RecordingWindow win;
    AttachedRecord tty{win};
    RecordingDialog dlg{&win};
};

TEST_F(SetupDialogTest, InitFillsTheControlsFromTheRecord) {
    EXPECT_EQ(Init(), 1);
    EXPECT_THAT(dlg.lists[IDD_PORTCB].entries,
                ElementsAre("COM1", "COM2", "COM3", "COM4", "TELNET"));
    EXPECT_THAT(dlg.lists[IDD_BAUDCB].entries,
                ElementsAre("9600", "19.2k", "38.4k", "57.6k", "115.2k"));
    EXPECT_THAT(dlg.lists[IDD_BAUDCB].data, ElementsAre(9600, 19200, 38400, 57600, 115200));
    EXPECT_EQ(Sel(IDD_PORTCB), 0);
    EXPECT_EQ(Sel(IDD_BAUDCB), 1);
    // The record starts connected: the port cannot be changed.
    EXPECT_EQ(dlg.enabled, (std::map<int, bool>{{IDD_PORTCB, false}}));
    EXPECT_EQ(dlg.checks, (std::map<int, unsigned>{{IDD_AUTOWRAP, 1},
                                                   {IDD_NEWLINE, 1},
                                                   {IDD_LOCALECHO, 0},
                                                   {IDD_HEXPRINT, 0},
                                                   {IDD_MAX40, 0}}));
    EXPECT_FALSE(dlg.ended);
}

TEST_F(SetupDialogTest, InitSelectsWhatTheRecordHolds) {
    tty->fConnected = 0;
    tty->bPortNum = 5;
    tty->dwBaudRate = 115200;
    tty->fAutoWrap = 0;
    tty->fNewLine = 0;
    tty->fLocalEcho = -1; // any nonzero value ticks
    tty->fHexPrint = 2;
    tty->fMax40 = 1;
    ASSERT_EQ(Init(), 1);
    EXPECT_EQ(Sel(IDD_PORTCB), 4); // TELNET
    EXPECT_EQ(Sel(IDD_BAUDCB), 4);
    EXPECT_TRUE(dlg.enabled[IDD_PORTCB]);
    EXPECT_EQ(dlg.checks, (std::map<int, unsigned>{{IDD_AUTOWRAP, 0},
                                                   {IDD_NEWLINE, 0},
                                                   {IDD_LOCALECHO, 1},
                                                   {IDD_HEXPRINT, 1},
                                                   {IDD_MAX40, 1}}));
}

TEST_F(SetupDialogTest, PortsAndRatesTheListsDoNotOfferSelectNothing) {
    for (const std::uint8_t port : {0, 6, 255}) {
        RecordingDialog fresh{&win};
        tty->bPortNum = port;
        tty->dwBaudRate = 4800;
        ASSERT_EQ(SettingsDlgProc(&fresh, WM_INITDIALOG, 0, reinterpret_cast<std::intptr_t>(&*tty)),
                  1);
        EXPECT_EQ(fresh.lists[IDD_PORTCB].sel, -1) << int{port};
        EXPECT_EQ(fresh.lists[IDD_BAUDCB].sel, -1);
    }
}

TEST_F(SetupDialogTest, OkReadsEverythingBack) {
    tty->fConnected = 0;
    ASSERT_EQ(Init(), 1);
    dlg.lists[IDD_PORTCB].sel = 3;
    dlg.lists[IDD_BAUDCB].sel = 3;
    dlg.checks = {
        {IDD_AUTOWRAP, 0}, {IDD_NEWLINE, 0}, {IDD_LOCALECHO, 1}, {IDD_HEXPRINT, 1}, {IDD_MAX40, 1}};
    gwMaxColumn = 80;
    EXPECT_EQ(Command(platform::IDOK), 1);
    EXPECT_TRUE(dlg.ended);
    EXPECT_EQ(dlg.result, 1);
    EXPECT_EQ(tty->bPortNum, 4);
    EXPECT_EQ(tty->dwBaudRate, 57600U);
    EXPECT_EQ(tty->fAutoWrap, 0);
    EXPECT_EQ(tty->fNewLine, 0);
    EXPECT_EQ(tty->fLocalEcho, 1);
    EXPECT_EQ(tty->fHexPrint, 1);
    EXPECT_EQ(tty->fMax40, 1);
    EXPECT_EQ(gwMaxColumn, 40);

    // Max.40 cleared again: back to 80; options are stored as 1 and 0.
    RecordingDialog again{&win};
    tty->fLocalEcho = -7;
    SettingsDlgProc(&again, WM_INITDIALOG, 0, reinterpret_cast<std::intptr_t>(&*tty));
    again.checks[IDD_MAX40] = 0;
    SettingsDlgProc(&again, WM_COMMAND, platform::IDOK, 0);
    EXPECT_EQ(tty->fMax40, 0);
    EXPECT_EQ(tty->fLocalEcho, 1);
    EXPECT_EQ(gwMaxColumn, 80);
}

TEST_F(SetupDialogTest, CancelReadsNothingBack) {
    ASSERT_EQ(Init(), 1);
    dlg.lists[IDD_PORTCB].sel = 2;
    dlg.lists[IDD_BAUDCB].sel = 0;
    dlg.checks[IDD_HEXPRINT] = 1;
    dlg.checks[IDD_MAX40] = 1;
    gwMaxColumn = 80;
    EXPECT_EQ(Command(platform::IDCANCEL), 1);
    EXPECT_TRUE(dlg.ended);
    EXPECT_EQ(dlg.result, 1);
    EXPECT_EQ(tty->bPortNum, 1);
    EXPECT_EQ(tty->dwBaudRate, 19200U);
    EXPECT_EQ(tty->fHexPrint, 0);
    EXPECT_EQ(tty->fMax40, 0);
    EXPECT_EQ(gwMaxColumn, 80);
}

TEST_F(SetupDialogTest, OkWithNothingSelectedKeepsPortAndRate) {
    tty->fConnected = 0;
    tty->bPortNum = 7; // the Telnet port, as any number above 4
    tty->dwBaudRate = 4800;
    ASSERT_EQ(Init(), 1);
    ASSERT_EQ(Sel(IDD_PORTCB), -1);
    ASSERT_EQ(Sel(IDD_BAUDCB), -1);
    dlg.checks[IDD_HEXPRINT] = 1;
    EXPECT_EQ(Command(platform::IDOK), 1);
    EXPECT_EQ(tty->bPortNum, 7);
    EXPECT_EQ(tty->dwBaudRate, 4800U);
    EXPECT_EQ(tty->fHexPrint, 1); // the rest is still read back
}

TEST_F(SetupDialogTest, WhileConnectedOkKeepsThePort) {
    tty->bPortNum = 3;
    ASSERT_EQ(Init(), 1);
    EXPECT_FALSE(dlg.enabled[IDD_PORTCB]);
    dlg.lists[IDD_BAUDCB].sel = 4;
    EXPECT_EQ(Command(platform::IDOK), 1);
    EXPECT_EQ(tty->bPortNum, 3);
    EXPECT_EQ(tty->dwBaudRate, 115200U);
}

TEST_F(SetupDialogTest, AChosenFontIsInForceAtOnceAndOutlivesCancel) {
    ASSERT_EQ(Init(), 1);
    platform::LogFont chosen = tty->lfTTYFont;
    platform::SetFaceName(chosen, "DejaVu Sans Mono");
    chosen.lfHeight = 20;
    chosen.lfUnderline = 1;
    chosen.lfStrikeOut = 1;
    dlg.fontChoice = {{chosen, 0x0000FF}};
    win.metrics = {20, 12, 3};
    win.Clear();

    EXPECT_EQ(Command(IDD_FONT), 1);
    // The chooser started from the record's font and colour.
    EXPECT_THAT(dlg.Calls("ChooseFont"),
                ElementsAre(Call{"ChooseFont", {14, 0}, "Lucida Console"}));
    EXPECT_STREQ(tty->lfTTYFont.lfFaceName, "DejaVu Sans Mono");
    EXPECT_EQ(tty->lfTTYFont.lfHeight, 20);
    EXPECT_EQ(tty->lfTTYFont.lfUnderline, 1);
    EXPECT_EQ(tty->lfTTYFont.lfStrikeOut, 1);
    EXPECT_EQ(tty->rgbTextColor, 0x0000FFU);
    // The terminal font and its cell were remade on the main window.
    EXPECT_THAT(win.Calls("CreateFont"), ElementsAre(Call{"CreateFont", {20}, "DejaVu Sans Mono"}));
    EXPECT_EQ(tty->cxChar, 12);
    EXPECT_EQ(tty->cyChar, 23);
    EXPECT_FALSE(dlg.ended);

    EXPECT_EQ(Command(platform::IDCANCEL), 1);
    EXPECT_STREQ(tty->lfTTYFont.lfFaceName, "DejaVu Sans Mono");
    EXPECT_EQ(tty->rgbTextColor, 0x0000FFU);
}

TEST_F(SetupDialogTest, ACancelledChooserChangesNothing) {
    ASSERT_EQ(Init(), 1);
    const platform::LogFont before = tty->lfTTYFont;
    win.Clear();
    EXPECT_EQ(Command(IDD_FONT), 1);
    EXPECT_EQ(std::memcmp(&tty->lfTTYFont, &before, sizeof before), 0);
    EXPECT_EQ(tty->rgbTextColor, 0U);
    EXPECT_TRUE(win.Calls().empty());
}

TEST_F(SetupDialogTest, WithoutARecordNothingIsTouched) {
    // Init with a null parameter, and any handler after the property is gone.
    EXPECT_EQ(Send(WM_INITDIALOG, 0, 0), 0);
    EXPECT_TRUE(dlg.lists.empty());
    dlg.fontChoice = {{platform::LogFont{}, 0xFF}};
    EXPECT_EQ(Command(IDD_FONT), 0);
    EXPECT_TRUE(dlg.Calls("ChooseFont").empty());

    RecordingDialog other{&win};
    ASSERT_EQ(SettingsDlgProc(&other, WM_INITDIALOG, 0, reinterpret_cast<std::intptr_t>(&*tty)), 1);
    EXPECT_EQ(SettingsDlgProc(&other, WM_DESTROY, 0, 0), 0);
    EXPECT_EQ(other.GetProp(), 0);
    other.checks[IDD_MAX40] = 1;
    EXPECT_EQ(SettingsDlgTerm(&other), 0);
    EXPECT_EQ(tty->fMax40, 0);
    // OK still closes the dialog.
    EXPECT_EQ(SettingsDlgProc(&other, WM_COMMAND, platform::IDOK, 0), 1);
    EXPECT_TRUE(other.ended);
}

TEST_F(SetupDialogTest, OtherCommandsAndMessagesAreNotHandled) {
    ASSERT_EQ(Init(), 1);
    EXPECT_EQ(Command(IDD_MAX40), 0);
    EXPECT_EQ(Command(IDD_PORTCB), 0);
    EXPECT_EQ(Send(WM_PAINT), 0);
    // Only the low word of wParam names the control.
    EXPECT_EQ(Send(WM_COMMAND, MakeWParam(platform::IDCANCEL, 1)), 1);
    EXPECT_TRUE(dlg.ended);
}

// Describes COM1 to COM4 and the Telnet port as the device options would map them.
class DescribingFactory : public platform::PortFactory {
public:
    std::unique_ptr<platform::Port> Open(const std::string&) override { return nullptr; }
    std::string DescribeDevice(const std::string& device) override {
        if (device == "COM3") {
            return ""; // nothing stands behind it: no tooltip
        }
        return device == gszTelnetDevice ? "127.0.0.1:2217" : "/dev/pts/" + device.substr(3);
    }
};

TEST_F(SetupDialogTest, PortEntriesShowTheirDevicesAsTooltips) {
    DescribingFactory factory;
    platform::SetPortFactory(&factory);
    ASSERT_EQ(Init(), 1);
    platform::SetPortFactory(nullptr);
    EXPECT_THAT(dlg.lists[IDD_PORTCB].entries,
                ElementsAre("COM1", "COM2", "COM3", "COM4", "TELNET"));
    EXPECT_THAT(dlg.lists[IDD_PORTCB].tips,
                ElementsAre("/dev/pts/1", "/dev/pts/2", "", "/dev/pts/4", "127.0.0.1:2217"));
    EXPECT_EQ(dlg.Calls("SetItemTip").size(), 4U);

    // Without device mapping there is nothing to show.
    RecordingDialog plain{&win};
    SettingsDlgProc(&plain, WM_INITDIALOG, 0, reinterpret_cast<std::intptr_t>(&*tty));
    EXPECT_TRUE(plain.Calls("SetItemTip").empty());
}

TEST_F(SetupDialogTest, FillComboBoxStopsAttachingWhenTheListIsFull) {
    dlg.listCapacity = 2;
    FillComboBox(&dlg, IDD_BAUDCB, 800, BaudTable, kBaudCount, 38400);
    EXPECT_THAT(dlg.lists[IDD_BAUDCB].entries, ElementsAre("9600", "19.2k"));
    EXPECT_THAT(dlg.lists[IDD_BAUDCB].data, ElementsAre(9600, 19200));
    EXPECT_EQ(dlg.lists[IDD_BAUDCB].sel, -1);
    EXPECT_TRUE(dlg.Calls("SetCurSel").empty());
}

} // namespace
} // namespace pelko::test
