#include "terminal/tty_info.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "resources/commands.h"
#include "resources/globals.h"
#include "serial/connection.h"
#include "settings/settings.h"
#include "terminal/view.h"
#include "upload/source.h"

namespace pelko {

using platform::Sys;

void SetTTYDefaults(TTYInfo* tty) {
    tty->hCommPort.reset();
    tty->fConnected.store(1);
    tty->wCaretState.store(0);
    tty->fLocalEcho.store(0);
    tty->fNewLine.store(1);
    tty->fAutoWrap.store(1);
    tty->fMax40.store(0);
    tty->fHexPrint.store(0);
    tty->bPortNum = 1;
    tty->dwBaudRate = 19200;
    tty->bDataBits = 8;
    tty->bParity = 0;
    tty->bStopBits = 0;
    tty->cxClient = tty->cyClient = 0;
    tty->nHScrollMax = tty->nVScrollMax = 0;
    tty->nHScrollPos.store(0);
    tty->nVScrollPos.store(0);
    tty->nCursorCol.store(0);
    tty->nCursorRow.store(0);
    tty->hTTYFont.reset();
    tty->rgbTextColor = 0;
    tty->osRead.Offset = tty->osRead.OffsetHigh = 0;
    tty->osWrite.Offset = tty->osWrite.OffsetHigh = 0;

    platform::LogFont& lf = tty->lfTTYFont;
    lf = platform::LogFont{};
    lf.lfHeight = 14;
    lf.lfCharSet = 255;         // OEM character set
    lf.lfPitchAndFamily = 0x31; // fixed pitch, modern family
    platform::SetFaceName(lf, "Lucida Console");
}

namespace {

void FreeRecord(TTYInfo* tty) {
    tty->~TTYInfo();
    Sys().Free(tty);
}

} // namespace

int CreateTTYInfo(platform::Window* hwnd) {
    void* storage = Sys().AllocZeroed(sizeof(TTYInfo));
    if (storage == nullptr) {
        return -1;
    }
    TTYInfo* tty = new (storage) TTYInfo();
    SetTTYDefaults(tty);

    tty->osRead.hEvent = Sys().CreateEvent();
    if (tty->osRead.hEvent == platform::kNoEvent) {
        FreeRecord(tty);
        return -1;
    }
    tty->osWrite.hEvent = Sys().CreateEvent();
    if (tty->osWrite.hEvent == platform::kNoEvent) {
        Sys().CloseEvent(tty->osRead.hEvent);
        FreeRecord(tty);
        return -1;
    }

    std::memset(tty->achScreen, ' ', sizeof tty->achScreen);
    LoadDefaults(tty);
    hwnd->SetRecord(tty);
    ResetTTYScreen(hwnd, tty);

    hwnd->EnableMenuItem(IDM_CONNECT, platform::MF_GRAYED | platform::MF_DISABLED);
    hwnd->EnableMenuItem(IDM_DISCONNECT, platform::MF_ENABLED);

    if (OpenConnection(hwnd) == 0) {
        hwnd->MessageBox("Connection failed.", gszAppName,
                         platform::MB_OK | platform::MB_ICONEXCLAMATION);
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
    if (tty->fConnected.load() != 0) {
        CloseConnection(hwnd);
    }
    Sys().CloseEvent(tty->osRead.hEvent);
    Sys().CloseEvent(tty->osWrite.hEvent);
    tty->hTTYFont.reset();
    // The window is going away; the slot must not keep pointing at freed storage.
    hwnd->SetRecord(nullptr);
    FreeRecord(tty);
    return true;
}

bool ResetTTYScreen(platform::Window* hwnd, TTYInfo* record) {
    if (record == nullptr) {
        return false;
    }
    record->hTTYFont.reset();
    record->hTTYFont = hwnd->CreateFontIndirect(record->lfTTYFont);
    const platform::TextMetrics tm = hwnd->GetTextMetrics(*record->hTTYFont);
    // Painting and scrolling divide by the cell size: a font that reports nothing still gets a
    // cell of at least one pixel.
    record->cxChar.store(std::max(1, tm.tmAveCharWidth));
    record->cyChar.store(std::max(1, tm.tmHeight + tm.tmExternalLeading));
    hwnd->SetCellSize(record->cxChar.load(), record->cyChar.load());

    const platform::Size client = hwnd->GetClientSize();
    SizeTTY(hwnd, static_cast<std::uint16_t>(client.cy), static_cast<std::uint16_t>(client.cx));
    return true;
}

} // namespace pelko
