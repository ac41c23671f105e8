#pragma once
// The Setup dialog's procedure (dialog template 101), run modally by the Setup command with the
// terminal record as its parameter.
//   SettingsDlgProc(dlg, msg, wParam, lParam)  TRUE when it handled the message, else FALSE
#include <cstdint>

#include "platform/window.h"

namespace pelko {

inline constexpr int IDD_SETTINGS = 101;

std::intptr_t SettingsDlgProc(platform::Dialog* dlg, unsigned msg, std::uintptr_t wParam,
                              std::intptr_t lParam);

} // namespace pelko
