#include "app/wndproc.h"

#include <string>

#include "app/about.h"
#include "app/create.h"
#include "resources/commands.h"
#include "resources/globals.h"
#include "resources/messages.h"
#include "resources/resources.h"
#include "serial/connection.h"
#include "serial/settings_dialog.h"
#include "serial/transmit.h"
#include "settings/settings.h"
#include "terminal/selection.h"
#include "terminal/tty_info.h"
#include "terminal/view.h"
#include "upload/source.h"
#include "upload/upload.h"

namespace pelko {

using platform::IDOK;
using platform::MB_ICONEXCLAMATION;
using platform::MB_ICONQUESTION;
using platform::MB_OK;
using platform::MB_OKCANCEL;

namespace {

// The Setup sequence: the dialog, then the record's line settings re-applied to an open port
// whether the dialog was confirmed or not.
void Setup(platform::Window* hwnd) {
    TTYInfo* tty = hwnd->GetRecord();
    if (tty == nullptr) {
        return;
    }
    hwnd->DialogBoxParam(IDD_SETTINGS, SettingsDlgProc, reinterpret_cast<std::intptr_t>(tty));
    if (tty->fConnected.load() != 0 && SetupConnection(hwnd) == 0) {
        hwnd->MessageBox("Disconnect before Change!", gszAppName, MB_OK | MB_ICONEXCLAMATION);
    }
}

void Command(platform::Window* hwnd, unsigned id) {
    switch (id) {
    case IDM_CONNECT:
        ConnectOrSay(hwnd);
        break;
    case IDM_DISCONNECT:
        // The caret goes first, while the record still says connected.
        KillTTYFocus(hwnd);
        CloseConnection(hwnd);
        break;
    case IDM_SELECTSOURCE: {
        std::string title; // the dialog's answer; nothing keeps it
        SourceOpenDlg(hwnd, gszSourcePath, title);
        break;
    }
    case IDM_EXIT:
        hwnd->PostClose();
        break;
    case IDM_UPLOADFAST:
        UploadSource(hwnd, UploadMode::Fast);
        break;
    case IDM_UPLOADVISIBLE:
        UploadSource(hwnd, UploadMode::Visible);
        break;
    case IDM_SETUP:
        Setup(hwnd);
        break;
    case IDM_SAVESETUP:
        SaveDefaults(hwnd);
        break;
    case IDM_ABOUT:
        hwnd->DialogBoxParam(IDD_ABOUT, HelpDlgProc, 0);
        break;
    default: // not one of ours: ignored
        break;
    }
}

// A byte typed at the target; the view returns to the live screen first.
void Type(platform::Window* hwnd, std::uint8_t ch) {
    ScrollTTYHistory(hwnd, platform::SB_BOTTOM);
    gLink.gUploadSync.store(kUploadWaiting);
    ProcessTTYCharacter(hwnd, ch);
}

// Pasted text without a line end is typed; text with one is uploaded, paced by the echo.
void Paste(platform::Window* hwnd, platform::Clipboard which) {
    const std::string text = hwnd->GetClipboardText(which);
    if (text.find_first_of("\r\n") == std::string::npos) {
        for (const char c : text) {
            Type(hwnd, static_cast<std::uint8_t>(c));
        }
        return;
    }
    ScrollTTYHistory(hwnd, platform::SB_BOTTOM);
    UploadText(hwnd, text);
}

void Mouse(platform::Window* hwnd, SelectPhase phase, std::uintptr_t wParam, std::intptr_t lParam) {
    const auto at = static_cast<std::uintptr_t>(lParam);
    SelectTTYText(hwnd, phase, LoWord(at), HiWord(at), static_cast<int>(wParam & 3));
}

} // namespace

std::intptr_t TTYWndProc(platform::Window* hwnd, unsigned msg, std::uintptr_t wParam,
                         std::intptr_t lParam) {
    switch (msg) {
    case WM_CREATE:
        return CreateTTYInfo(hwnd);
    case WM_DESTROY:
        DestroyTTYInfo(hwnd);
        hwnd->PostQuitMessage(0);
        return 0;
    case WM_SIZE:
        SizeTTY(hwnd, HiWord(static_cast<std::uintptr_t>(lParam)),
                LoWord(static_cast<std::uintptr_t>(lParam)));
        return 0;
    case WM_SETFOCUS:
        SetTTYFocus(hwnd);
        return 0;
    case WM_KILLFOCUS:
        KillTTYFocus(hwnd);
        return 0;
    case WM_PAINT:
        PaintTTY(hwnd);
        return 0;
    case WM_CLOSE:
        if (hwnd->MessageBox("exit   Pelko?", "Really?", MB_OKCANCEL | MB_ICONQUESTION) == IDOK) {
            hwnd->DestroyWindow();
        }
        return 0;
    case WM_CHAR:
        Type(hwnd, static_cast<std::uint8_t>(wParam & 0xFF));
        return 0;
    case WM_HISTORY:
        ScrollTTYHistory(hwnd, LoWord(wParam));
        return 0;
    case WM_LBUTTONDOWN:
        Mouse(hwnd, SelectPhase::Press, wParam, lParam);
        return 0;
    case WM_MOUSEMOVE:
        Mouse(hwnd, SelectPhase::Move, wParam, lParam);
        return 0;
    case WM_LBUTTONUP:
        Mouse(hwnd, SelectPhase::Release, wParam, lParam);
        return 0;
    case WM_COPY:
        CopyTTYSelection(hwnd);
        return 0;
    case WM_PASTE:
        Paste(hwnd, wParam == 1 ? platform::Clipboard::Primary : platform::Clipboard::Clipboard);
        return 0;
    case WM_COMMAND:
        Command(hwnd, LoWord(wParam));
        return 0;
    case WM_HSCROLL:
        ScrollTTYHorz(hwnd, LoWord(wParam), HiWord(wParam));
        return 0;
    case WM_VSCROLL:
        ScrollTTYVert(hwnd, LoWord(wParam), HiWord(wParam));
        return 0;
    case WM_CONNECTIONLOST:
        ConnectionLost(hwnd);
        return 0;
    case WM_TIMER:
        if (wParam == kReconnectTimer) {
            RetryConnection(hwnd);
        } else if (wParam == kConnectTimer) {
            FinishConnectOrSay(hwnd);
        }
        return 0;
    default:
        return 0;
    }
}

} // namespace pelko
