#pragma once
// The About box's procedure and the version text it shows.
//   HelpDlgProc(dlg, msg, wParam, lParam)  TRUE for the init message and for OK (which ends the
//                                          box with 1); FALSE for everything else, Esc included
//   FormatVersionText(format, major, minor) the format with up to two integer conversions
//                                          (%d %i %u %x, %% for a percent sign) filled in; any
//                                          other '%' sequence is kept as it is. Never fails.
//   PlatformVersion(major, minor)          the running kernel's version; 0.0 when unknown
#include <cstdint>
#include <string>

#include "platform/window.h"

namespace pelko {

std::intptr_t HelpDlgProc(platform::Dialog* dlg, unsigned msg, std::uintptr_t wParam,
                          std::intptr_t lParam);

std::string FormatVersionText(const std::string& format, int major, int minor);
void PlatformVersion(int& major, int& minor);

} // namespace pelko
