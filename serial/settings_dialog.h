#pragma once
// The Setup dialog (dialog template 101): port, baud rate, the five display options, and the
// terminal font and text colour. The Setup command runs it modally with the terminal record as
// its parameter; the record then travels with the dialog as its property.
//   SettingsDlgProc(dlg, msg, wParam, lParam)  1 for a message it handled, else 0
//   SettingsDlgInit(dlg)                       fills the controls from the record; 1, or 0 when
//                                              the dialog carries no record (nothing is filled)
//   FillComboBox(dlg, list, firstStringId, values, count, current)
//                                              adds `count` entries labelled by consecutive
//                                              strings, each with its value, and selects the one
//                                              whose value is `current`; no result
//   SelectTTYFont(dlg)                         runs the font chooser and applies a confirmed
//                                              choice at once; 1, or 0 without a record
//   SettingsDlgTerm(dlg)                       reads the controls back into the record and sets
//                                              gwMaxColumn; 1, or 0 without a record
// A list with nothing selected leaves its field of the record as it was. Each port entry carries
// the device it is mapped to on this machine as its tooltip.
#include <cstdint>

#include "platform/window.h"
#include "resources/resources.h"

namespace pelko {

// The baud rates the Setup dialog offers, paired in order with the strings 800 to 804.
inline constexpr std::uint16_t kBaudCount = 5;
inline constexpr std::uint32_t BaudTable[kBaudCount] = {9600, 19200, 38400, 57600, 115200};

// The port list: COM1 to COM4, then the Telnet port as port number 5.
inline constexpr int kPortCount = 5;

std::intptr_t SettingsDlgProc(platform::Dialog* dlg, unsigned msg, std::uintptr_t wParam,
                              std::intptr_t lParam);
int SettingsDlgInit(platform::Dialog* dlg);
void FillComboBox(platform::Dialog* dlg, int list, int firstStringId, const std::uint32_t* values,
                  std::uint16_t count, std::uint32_t current);
int SelectTTYFont(platform::Dialog* dlg);
int SettingsDlgTerm(platform::Dialog* dlg);

} // namespace pelko
