#include "app/about.h"

#include <cstdio>
#include <sys/utsname.h>

#include "resources/messages.h"
#include "resources/resources.h"

namespace pelko {

namespace {
constexpr std::size_t kMaxItemText = 80;
} // namespace

std::string FormatVersionText(const std::string& format, int major, int minor) {
    const int args[2] = {major, minor};
    int used = 0;
    std::string out;
    for (std::size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        if (c != '%' || i + 1 >= format.size()) {
            out += c;
            continue;
        }
        const char conv = format[i + 1];
        if (conv == '%') {
            out += '%';
            ++i;
        } else if ((conv == 'd' || conv == 'i' || conv == 'u' || conv == 'x') && used < 2) {
            char buf[16];
            const int v = args[used++];
            if (conv == 'x') {
                std::snprintf(buf, sizeof buf, "%x", static_cast<unsigned>(v));
            } else if (conv == 'u') {
                std::snprintf(buf, sizeof buf, "%u", static_cast<unsigned>(v));
            } else {
                std::snprintf(buf, sizeof buf, "%d", v);
            }
            out += buf;
            ++i;
        } else {
            out += c; // not a conversion we fill: shown as written
        }
    }
    return out;
}

void PlatformVersion(int& major, int& minor) {
    major = minor = 0;
    utsname u{};
    if (::uname(&u) == 0) {
        std::sscanf(u.release, "%d.%d", &major, &minor);
    }
}

std::intptr_t HelpDlgProc(platform::Dialog* dlg, unsigned msg, std::uintptr_t wParam,
                          std::intptr_t /*lParam*/) {
    switch (msg) {
    case WM_INITDIALOG: {
        int major = 0;
        int minor = 0;
        PlatformVersion(major, minor);
        std::string format = dlg->GetDlgItemText(IDC_ABOUT_VERSION);
        if (format.size() > kMaxItemText) {
            format.resize(kMaxItemText);
        }
        dlg->SetDlgItemText(IDC_ABOUT_VERSION, FormatVersionText(format, major, minor));
        return 1;
    }
    case WM_COMMAND:
        if (LoWord(wParam) == platform::IDOK) {
            dlg->EndDialog(1);
            return 1;
        }
        return 0;
    default:
        return 0;
    }
}

} // namespace pelko
