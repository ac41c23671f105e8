#include "serial/settings_dialog.h"

namespace pelko {

// Until the dialog's controls are wired, the dialog closes as soon as it is asked to.
std::intptr_t SettingsDlgProc(platform::Dialog* dlg, unsigned msg, std::uintptr_t wParam,
                              std::intptr_t /*lParam*/) {
    constexpr unsigned WM_COMMAND = 0x0111;
    if (msg == WM_COMMAND && ((wParam & 0xFFFF) == 1 || (wParam & 0xFFFF) == 2)) {
        dlg->EndDialog(static_cast<int>(wParam & 0xFFFF));
        return 1;
    }
    return 0;
}

} // namespace pelko
