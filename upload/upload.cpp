#include "upload/upload.h"

#include <cstring>
#include <mutex>

#include "resources/globals.h"
#include "serial/connection.h"
#include "serial/transmit.h"
#include "terminal/interpreter.h"
#include "terminal/tty_info.h"
#include "upload/source.h"

namespace pelko {

std::atomic<int> gfUploading{0};
std::atomic<std::uint8_t> gUploadSync{kUploadWaiting};
std::atomic<int> gfUpError{0};
std::uint8_t gsRXBuf[kRXBufSize] = {};
std::uint16_t gwRXCol = 0;
char gszLineStr[10] = {};
UploadEnd gUploadEnd = UploadEnd::None;

namespace {

// Guards gsRXBuf, gwRXCol and gfUpError's reset between lines. Held only for a copy or a scan
// of one block; neither thread waits for the other while holding it.
std::mutex gRXMu;

// One upload at a time: a command that comes in while one runs (from a box it shows) is ignored.
bool gfInUpload = false;

void Show(platform::Window* hwnd, const std::uint8_t* text, std::int32_t n) {
    WriteTTYBlock(hwnd, text, n);
    hwnd->UploadProgress(text, n);
}

void Show(platform::Window* hwnd, const char* text) {
    Show(hwnd, reinterpret_cast<const std::uint8_t*>(text),
         static_cast<std::int32_t>(std::strlen(text)));
}

void ShowLine(platform::Window* hwnd, const char* report, std::int32_t n) {
    Show(hwnd, report);
    Show(hwnd, reinterpret_cast<const std::uint8_t*>(gszLineStr), n);
    Show(hwnd, gszCRStr);
}

// The record says connected from its creation on, before any port is open; the port decides.
bool PortUsable(const TTYInfo* tty) {
    return tty->hCommPort && tty->fConnected.load() != 0 && gfPortDead.load() == 0;
}

struct InUpload {
    InUpload() { gfInUpload = true; }
    ~InUpload() {
        gfInUpload = false;
        CloseSourceFile();
    }
};

// The upload after its file is open: lines out, one at a time, each after the last one's echo.
void RunUpload(platform::Window* hwnd, UploadMode mode) {
    const bool fast = mode == UploadMode::Fast;
    gwSourceLine = 1;
    gfUpError.store(0);
    gUploadSync.store(kUploadWaiting);
    gfUploading.store(1);
    if (fast) {
        Show(hwnd, gszLoadStr);
    }
    for (;;) {
        const int got = ReadSourceLine(hwnd);
        if (got == kSourceEnd) {
            gfUploading.store(0);
            Show(hwnd, gszRdyStr);
            gUploadEnd = UploadEnd::Ready;
            return;
        }
        if (got == kSourcePause) {
            hwnd->MessageBox(gszContinueStr, gszUpStr, platform::MB_OK);
            continue;
        }
        if (got != kSourceLine) {
            continue;
        }

        const std::int32_t n = IToDecString(gwSourceLine, gszLineStr);
        // The upload may have ended between two lines (or while the pause box was up): the port
        // died, or the target sent a '~' and a CR of its own accord.
        if (gfPortDead.load() != 0 || gfUploading.load() == 0) {
            const bool rejected = gfPortDead.load() == 0 && gUploadSync.load() == kUploadRejected;
            gfUploading.store(0);
            ShowLine(hwnd, rejected ? gszErrorLineStr : gszLostLineStr, n);
            gUploadEnd = rejected ? UploadEnd::Rejected : UploadEnd::LinkLost;
            return;
        }
        EmptyEcho();
        gUploadSync.store(kUploadWaiting);
        if (!fast) {
            Show(hwnd, reinterpret_cast<const std::uint8_t*>(gszLineStr), n);
        }
        WriteCommBlock(hwnd, gsTXBuf, gwTXCol);
        if (!hwnd->WaitForEcho(gUploadSync)) {
            gfUploading.store(0);
            ShowLine(hwnd, gszAbortLineStr, n);
            gUploadEnd = UploadEnd::Cancelled;
            return;
        }
        const std::uint8_t answer = gUploadSync.load();
        if (answer == kUploadLinkLost) {
            ShowLine(hwnd, gszLostLineStr, n);
            gUploadEnd = UploadEnd::LinkLost;
            return;
        }
        if (answer == kUploadRejected) {
            gUploadSync.store(kUploadWaiting);
            ShowLine(hwnd, gszErrorLineStr, n);
            gUploadEnd = UploadEnd::Rejected;
            return;
        }
        if (!fast) {
            Show(hwnd, gsTXBuf, gwTXCol);
            hwnd->UpdateWindow();
        }
        ++gwSourceLine;
        if (fast && gwSourceLine % 10 == 2) {
            Show(hwnd, gszDotStr);
        }
    }
}

} // namespace

int UploadSource(platform::Window* hwnd, UploadMode mode) {
    TTYInfo* tty = hwnd->GetRecord();
    if (tty == nullptr || gfInUpload) {
        return 0;
    }
    gUploadEnd = UploadEnd::None;
    // With no port to answer, the wait for the first echo could never end.
    if (!PortUsable(tty)) {
        hwnd->MessageBox(gszNotConnectedStr, gszAppName,
                         platform::MB_OK | platform::MB_ICONEXCLAMATION);
        return 0;
    }
    if (OpenSourceFile(hwnd) == 0) {
        return 0;
    }
    InUpload running;
    RunUpload(hwnd, mode);
    return 1;
}

int ScanCommBlock(const std::uint8_t* block, std::int32_t length) {
    if (block == nullptr || length <= 0) {
        return kScanPending;
    }
    std::lock_guard<std::mutex> lock(gRXMu);
    for (std::int32_t i = 0; i < length; ++i) {
        const std::uint8_t b = block[i];
        // A long echo keeps its start; the last place before the NUL is kept for the CR, so a
        // rejected echo is always shown with it.
        if (gwRXCol < kRXBufSize - 1 && (b == '\r' || gwRXCol < kRXBufSize - 2)) {
            gsRXBuf[gwRXCol++] = b;
            gsRXBuf[gwRXCol] = 0;
        }
        if (b == '~') {
            gfUpError.store(1);
        }
        if (b == '\r') {
            if (gfUpError.load() != 0) {
                gUploadSync.store(kUploadRejected);
                gUploadSync.notify_all();
                gfUploading.store(0);
                return kScanRejected;
            }
            gUploadSync.store(kUploadAccepted);
            gUploadSync.notify_all();
            return kScanAccepted;
        }
    }
    return kScanPending;
}

// Forgets any '~' seen so far too, so that the first CR from here on decides the line about to
// be sent by its own echo alone.
void EmptyEcho() {
    std::lock_guard<std::mutex> lock(gRXMu);
    gwRXCol = 0;
    gsRXBuf[0] = 0;
    gfUpError.store(0);
}

std::int32_t TakeEcho(std::uint8_t* out) {
    std::lock_guard<std::mutex> lock(gRXMu);
    const std::uint16_t n = gwRXCol < kRXBufSize ? gwRXCol : kRXBufSize - 1;
    std::memcpy(out, gsRXBuf, n);
    return n;
}

int IToDecString(std::int32_t value, char* text) {
    // The loop passes a 16-bit count; anything wider still gives one character per divisor.
    auto v = static_cast<std::uint32_t>(value);
    int at = 0;
    text[at++] = '<';
    bool any = false;
    for (std::uint32_t divisor = 10000; divisor > 0; divisor /= 10) {
        const std::uint32_t digit = v / divisor;
        v %= divisor;
        if (digit != 0 || any) {
            text[at++] = static_cast<char>('0' + digit % 10);
            any = true;
        }
    }
    text[at++] = '>';
    text[at++] = ' ';
    text[at] = 0;
    return at;
}

bool EndUploadLinkLost() {
    if (gfUploading.load() == 0) {
        return false;
    }
    gUploadSync.store(kUploadLinkLost);
    gUploadSync.notify_all();
    gfUploading.store(0);
    return true;
}

} // namespace pelko
