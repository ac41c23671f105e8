#include "terminal/tty_info.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "terminal/view.h"

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
    tty->nHistoryPos.store(0);
    tty->nCursorCol.store(0);
    tty->nCursorRow.store(0);
    tty->hTTYFont.reset();
    tty->rgbTextColor = 0;
    tty->osRead.Offset = tty->osRead.OffsetHigh = 0;
    tty->fReconnecting = false;
    tty->nRetryMs = 0;
    tty->fOpening = false;

    platform::LogFont& lf = tty->lfTTYFont;
    lf = platform::LogFont{};
    lf.lfHeight = 14;
    lf.lfCharSet = 255;         // OEM character set
    lf.lfPitchAndFamily = 0x31; // fixed pitch, modern family
    platform::SetFaceName(lf, "Lucida Console");
}

bool InitTTYInfo(TTYInfo* tty) {
    SetTTYDefaults(tty);
    std::memset(tty->achScreen, ' ', sizeof tty->achScreen);
    tty->osRead.hEvent = Sys().CreateEvent();
    return tty->osRead.hEvent != platform::kNoEvent;
}

void FreeTTYResources(TTYInfo* tty) {
    if (tty->osRead.hEvent != platform::kNoEvent) {
        Sys().CloseEvent(tty->osRead.hEvent);
        tty->osRead.hEvent = platform::kNoEvent;
    }
    tty->hTTYFont.reset();
}

TTYInfo* NewTTYInfo() {
    void* storage = Sys().AllocZeroed(sizeof(TTYInfo));
    if (storage == nullptr) {
        return nullptr;
    }
    TTYInfo* tty = new (storage) TTYInfo();
    if (!InitTTYInfo(tty)) {
        tty->~TTYInfo();
        Sys().Free(tty);
        return nullptr;
    }
    return tty;
}

void DeleteTTYInfo(TTYInfo* tty) {
    if (tty == nullptr) {
        return;
    }
    FreeTTYResources(tty);
    tty->~TTYInfo();
    Sys().Free(tty);
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
