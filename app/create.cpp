#include "app/create.h"

#include "platform/port.h"
#include "resources/commands.h"
#include "resources/globals.h"
#include "serial/connection.h"
#include "settings/settings.h"
#include "terminal/tty_info.h"
#include "upload/source.h"

namespace pelko {

namespace {

void SayFailed(platform::Window* hwnd, const std::string& why) {
    hwnd->MessageBox(why.empty() ? gszConnectionFailed : gszConnectionFailed + ("\n" + why),
                     gszAppName, platform::MB_OK | platform::MB_ICONEXCLAMATION);
}

} // namespace

int ConnectOrSay(platform::Window* hwnd) {
    const int opened = OpenConnection(hwnd);
    if (opened == 0) {
        SayFailed(hwnd, platform::LastOpenError());
    }
    return opened;
}

int FinishConnectOrSay(platform::Window* hwnd) {
    const TTYInfo* tty = hwnd->GetRecord();
    // A retry that fails says nothing: the screen already says what the window waits for.
    const bool first = tty != nullptr && tty->fOpening && !tty->fReconnecting;
    std::string why;
    const int opened = FinishConnection(hwnd, 0, why);
    if (opened == 0 && first) {
        SayFailed(hwnd, why);
    }
    return opened;
}

int CreateTTYInfo(platform::Window* hwnd) {
    TTYInfo* tty = NewTTYInfo();
    if (tty == nullptr) {
        return -1;
    }
    LoadDefaults(tty);
    hwnd->SetRecord(tty);
    ResetTTYScreen(hwnd, tty);

    hwnd->EnableMenuItem(IDM_CONNECT, platform::MF_GRAYED | platform::MF_DISABLED);
    hwnd->EnableMenuItem(IDM_DISCONNECT, platform::MF_ENABLED);

    if (ConnectOrSay(hwnd) == 0) {
        hwnd->EnableMenuItem(IDM_CONNECT, platform::MF_ENABLED);
    }
    SourceFileInit(hwnd);
    return 1;
}

bool DestroyTTYInfo(platform::Window* hwnd) {
    TTYInfo* tty = hwnd->GetRecord();
    if (tty == nullptr) {
        return false;
    }
    if (tty->fConnected.load() != 0 || tty->fReconnecting || tty->fOpening) {
        CloseConnection(hwnd);
    }
    // The window is going away; the slot must not keep pointing at freed storage.
    hwnd->SetRecord(nullptr);
    DeleteTTYInfo(tty);
    return true;
}

} // namespace pelko
