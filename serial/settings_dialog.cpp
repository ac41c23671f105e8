#include "serial/settings_dialog.h"

#include <cstdio>
#include <string>

#include "platform/port.h"
#include "resources/messages.h"
#include "resources/port_names.h"
#include "resources/resources.h"
#include "serial/connection.h"
#include "settings/settings.h"
#include "terminal/tty_info.h"

namespace pelko {

namespace {

TTYInfo* RecordOf(const platform::Dialog* dlg) {
    return reinterpret_cast<TTYInfo*>(dlg->GetProp());
}

unsigned CheckFor(const Flag32& option) {
    return option.load() != 0 ? 1U : 0U;
}
std::int32_t OptionFrom(unsigned checked) {
    return checked != 0 ? 1 : 0;
}

// What a port entry stands for on this machine (a device path, host:port), shown as the
// entry's tooltip; "" shows none.
std::string PortTip(int portNum) {
    return platform::DescribeDevice(PortDeviceName(static_cast<std::uint8_t>(portNum)));
}

} // namespace

std::intptr_t SettingsDlgProc(platform::Dialog* dlg, unsigned msg, std::uintptr_t wParam,
                              std::intptr_t lParam) {
    switch (msg) {
    case WM_INITDIALOG:
        dlg->SetProp(lParam);
        return SettingsDlgInit(dlg);
    case WM_COMMAND:
        switch (LoWord(wParam)) {
        case platform::IDOK:
            SettingsDlgTerm(dlg);
            dlg->EndDialog(1);
            return 1;
        case platform::IDCANCEL:
            dlg->EndDialog(1);
            return 1;
        case IDD_FONT:
            return SelectTTYFont(dlg);
        default:
            return 0;
        }
    case WM_DESTROY:
        dlg->RemoveProp();
        return 0;
    default:
        return 0;
    }
}

int SettingsDlgInit(platform::Dialog* dlg) {
    TTYInfo* tty = RecordOf(dlg);
    if (tty == nullptr) {
        return 0;
    }
    for (int n = 1; n <= kPortCount; ++n) {
        const int index = dlg->AddString(IDD_PORTCB, PortLabel(n));
        const std::string tip = PortTip(n);
        if (index >= 0 && !tip.empty()) {
            dlg->SetItemTip(IDD_PORTCB, index, tip);
        }
    }
    // Entry n - 1 is port n; a port number outside 1..5 selects nothing.
    dlg->SetCurSel(IDD_PORTCB, static_cast<int>(tty->bPortNum) - 1);
    // The port cannot be changed while it is open.
    dlg->EnableWindow(IDD_PORTCB, tty->fConnected.load() == 0);

    FillComboBox(dlg, IDD_BAUDCB, IDS_BAUD9600, BaudTable, kBaudCount, tty->dwBaudRate);

    dlg->CheckDlgButton(IDD_AUTOWRAP, CheckFor(tty->fAutoWrap));
    dlg->CheckDlgButton(IDD_NEWLINE, CheckFor(tty->fNewLine));
    dlg->CheckDlgButton(IDD_LOCALECHO, CheckFor(tty->fLocalEcho));
    dlg->CheckDlgButton(IDD_HEXPRINT, CheckFor(tty->fHexPrint));
    dlg->CheckDlgButton(IDD_MAX40, CheckFor(tty->fMax40));
    return 1;
}

void FillComboBox(platform::Dialog* dlg, int list, int firstStringId, const std::uint32_t* values,
                  std::uint16_t count, std::uint32_t current) {
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::string label = LoadString(firstStringId + i).substr(0, 80);
        const int index = dlg->AddString(list, label);
        if (index < 0) {
            continue; // the list took no more entries
        }
        dlg->SetItemData(list, index, values[i]);
        if (values[i] == current) {
            dlg->SetCurSel(list, index);
        }
    }
}

int SelectTTYFont(platform::Dialog* dlg) {
    TTYInfo* tty = RecordOf(dlg);
    if (tty == nullptr) {
        return 0;
    }
    platform::LogFont lf = tty->lfTTYFont;
    std::uint32_t color = tty->rgbTextColor;
    if (dlg->ChooseFont(lf, color)) {
        // The face name always ends within its field, whatever the chooser left there.
        lf.lfFaceName[platform::LF_FACESIZE - 1] = '\0';
        tty->lfTTYFont = lf;
        tty->rgbTextColor = color;
        // In force at once: the terminal font and its cell are remade now, and stay even if
        // Setup is then cancelled.
        if (platform::Window* owner = dlg->Owner()) {
            ResetTTYScreen(owner, tty);
        }
    }
    return 1;
}

int SettingsDlgTerm(platform::Dialog* dlg) {
    TTYInfo* tty = RecordOf(dlg);
    if (tty == nullptr) {
        return 0;
    }
    // A list with nothing selected (a port number or baud rate the lists do not offer) keeps the
    // record's value rather than storing the list's "no selection" answer.
    const int port = dlg->GetCurSel(IDD_PORTCB);
    if (port >= 0) {
        tty->bPortNum = static_cast<std::uint8_t>(port + 1);
    }
    const int baud = dlg->GetCurSel(IDD_BAUDCB);
    if (baud >= 0) {
        const std::intptr_t value = dlg->GetItemData(IDD_BAUDCB, baud);
        if (value >= 0) {
            tty->dwBaudRate = static_cast<std::uint32_t>(value);
        }
    }
    tty->fAutoWrap.store(OptionFrom(dlg->IsDlgButtonChecked(IDD_AUTOWRAP)));
    tty->fNewLine.store(OptionFrom(dlg->IsDlgButtonChecked(IDD_NEWLINE)));
    tty->fLocalEcho.store(OptionFrom(dlg->IsDlgButtonChecked(IDD_LOCALECHO)));
    tty->fHexPrint.store(OptionFrom(dlg->IsDlgButtonChecked(IDD_HEXPRINT)));
    tty->fMax40.store(OptionFrom(dlg->IsDlgButtonChecked(IDD_MAX40)));
    gwMaxColumn = MaxColumnFor(tty->fMax40.load());
    return 1;
}

} // namespace pelko
