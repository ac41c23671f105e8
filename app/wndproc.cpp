#include "app/wndproc.h"

#include <string>

#include "app/about.h"
#include "app/create.h"
#include "app/handoff.h"
#include "resources/commands.h"
#include "resources/globals.h"
#include "resources/messages.h"
#include "resources/resources.h"
#include "serial/connection.h"
#include "serial/settings_dialog.h"
#include "serial/target_control.h"
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

// Nothing else goes out while a paste is being typed: says so and answers true.
bool StillTyping(platform::Window* hwnd) {
    std::size_t sent = 0;
    std::size_t total = 0;
    if (!Typing(sent, total)) {
        return false;
    }
    hwnd->MessageBox(gszStillTyping, gszAppName, MB_OK | MB_ICONEXCLAMATION);
    return true;
}

void Command(platform::Window* hwnd, unsigned id) {
    switch (id) {
    case IDM_CONNECT:
        ConnectOrSay(hwnd);
        break;
    case IDM_DISCONNECT:
        StopTyping(hwnd);
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
    case IDM_UPLOADVISIBLE:
        if (!StillTyping(hwnd)) {
            UploadSource(hwnd, id == IDM_UPLOADFAST ? UploadMode::Fast : UploadMode::Visible);
        }
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
    case IDM_RESETTARGET:
    case IDM_SENDBREAK: {
        std::string why;
        const bool reset = id == IDM_RESETTARGET;
        if (!(reset ? ResetTarget(hwnd, why) : SendBreak(hwnd, why))) {
            hwnd->MessageBox(std::string(reset ? gszCannotReset : gszCannotBreak) + "\n" + why,
                             gszAppName, MB_OK | MB_ICONEXCLAMATION);
        }
        break;
    }
    default: // not one of ours: ignored
        break;
    }
}

// A byte typed at the target; the view returns to the live screen first. While a paste is
// being typed, Esc stops it and other keys are not sent, so they never land inside it.
void Type(platform::Window* hwnd, std::uint8_t ch) {
    std::size_t sent = 0;
    std::size_t total = 0;
    if (Typing(sent, total)) {
        if (ch == 0x1B) {
            StopTyping(hwnd);
            hwnd->RequestRepaint();
        }
        return;
    }
    ScrollTTYHistory(hwnd, platform::SB_BOTTOM);
    gLink.gUploadSync.store(kUploadWaiting);
    ProcessTTYCharacter(hwnd, ch);
}

// Pasted text without a line end is typed; text with one is uploaded, paced by the echo.
void Paste(platform::Window* hwnd, platform::Clipboard which) {
    const std::string text = hwnd->GetClipboardText(which);
    if (text.empty() || StillTyping(hwnd)) {
        return;
    }
    ScrollTTYHistory(hwnd, platform::SB_BOTTOM);
    if (text.find_first_of("\r\n") == std::string::npos) {
        if (text.size() > kTypingLimit) {
            hwnd->MessageBox(gszPasteTooLong, gszAppName, MB_OK | MB_ICONEXCLAMATION);
            return;
        }
        gLink.gUploadSync.store(kUploadWaiting);
        StartTyping(hwnd, text);
        return;
    }
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
        if (CreateTTYInfo(hwnd) != 1) {
            return -1;
        }
        StartHandoff(hwnd);
        return 1;
    case WM_DESTROY:
        EndHandoff(hwnd);
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
        } else if (wParam == kTypingTimer) {
            ContinueTyping(hwnd);
        } else if (wParam == kControlTimer) {
            EndTargetControl(hwnd);
        } else if (wParam == kHandoffTimer) {
            HandoffTick(hwnd);
        } else if (wParam == kHandoffRunTimer) {
            RunHandedUpload(hwnd);
        }
        return 0;
    default:
        return 0;
    }
}

void EndUploadForQuit() {
    platform::Window* hwnd = hTTYWnd.load();
    if (EndUploadLinkLost() && hwnd != nullptr) {
        hwnd->WakeEchoWait();
    }
}

} // namespace pelko
