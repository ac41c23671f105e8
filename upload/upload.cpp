#include "upload/upload.h"

#include <cstring>
#include <string>

#include "log/session_log.h"
#include "resources/globals.h"
#include "serial/transmit.h"
#include "terminal/interpreter.h"
#include "terminal/tty_info.h"
#include "upload/source.h"

namespace pelko {

char gszLineStr[10] = {};

namespace {

UploadObserver* gObserver = nullptr;

void Show(platform::Window* hwnd, const std::uint8_t* text, std::int32_t n) {
    WriteTTYBlock(hwnd, text, n);
    hwnd->UploadProgress(text, n);
    if (gObserver != nullptr) {
        gObserver->Progress(text, n);
    }
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
    return tty->hCommPort && tty->fConnected.load() != 0 && gLink.fPortDead.load() == 0;
}

struct InUpload {
    InUpload() { gLink.fInUpload = true; }
    ~InUpload() {
        gLink.fInUpload = false;
        CloseSourceFile();
    }
};

void End(platform::Window* hwnd, UploadEnd how, const char* report, std::int32_t n) {
    StopUploading();
    if (report != nullptr) {
        ShowLine(hwnd, report, n);
    }
    gLink.end = how;
    static constexpr const char* kHow[] = {"", "ready", "rejected", "cancelled", "connection lost"};
    std::string event = std::string("upload ended: ") + kHow[static_cast<int>(how)];
    if (how != UploadEnd::Ready) {
        const SourcePlace at = SourceWhere();
        event += " in line " + std::to_string(at.line);
        if (!at.from.empty()) {
            event += " of " + at.file + " (included from " + at.from + ")";
        }
    }
    if (how == UploadEnd::Rejected) {
        event += ", echo \"" + EchoText() + "\"";
    }
    LogEvent(event);
}

// The upload after its file is open: lines out, one at a time, each after the last one's echo.
void RunUpload(platform::Window* hwnd, UploadMode mode) {
    const bool fast = mode == UploadMode::Fast;
    UploadLink& link = gLink;
    gwSourceLine = 1;
    link.gfUpError.store(0);
    link.gUploadSync.store(kUploadWaiting);
    link.gfUploading.store(1);
    if (fast) {
        Show(hwnd, gszLoadStr);
    }
    for (;;) {
        if (NextSourceLine(hwnd) == kSourceEnd) {
            End(hwnd, UploadEnd::Ready, nullptr, 0);
            Show(hwnd, gszRdyStr);
            return;
        }

        const std::int32_t n = IToDecString(gwSourceLine, gszLineStr);
        if (link.fCancel.exchange(0) != 0) {
            End(hwnd, UploadEnd::Cancelled, gszAbortLineStr, n);
            return;
        }
        // The upload may have ended between two lines (or while the pause box was up): the port
        // died, or a quit signal came.
        if (!ArmLine()) {
            End(hwnd, UploadEnd::LinkLost, gszLostLineStr, n);
            return;
        }
        if (!fast) {
            Show(hwnd, reinterpret_cast<const std::uint8_t*>(gszLineStr), n);
        }
        WriteCommBlock(hwnd, gsTXBuf, gwTXCol);
        if (gObserver != nullptr) {
            gObserver->LineSent();
        }
        if (!hwnd->WaitForEcho(link.gUploadSync)) {
            End(hwnd, UploadEnd::Cancelled, gszAbortLineStr, n);
            return;
        }
        // Once it has fallen the verdict stays until the next line is armed.
        const std::uint8_t answer = link.gUploadSync.load();
        if (answer == kUploadLinkLost) {
            End(hwnd, UploadEnd::LinkLost, gszLostLineStr, n);
            return;
        }
        if (answer == kUploadRejected) {
            link.gUploadSync.store(kUploadWaiting);
            End(hwnd, UploadEnd::Rejected, gszErrorLineStr, n);
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

// The checks and the loop around one source; `open` opens it (1) or tells the user why not (0).
template <typename Open> int Upload(platform::Window* hwnd, UploadMode mode, Open open) {
    TTYInfo* tty = hwnd->GetRecord();
    if (tty == nullptr || gLink.fInUpload) {
        return 0;
    }
    gLink.end = UploadEnd::None;
    // With no port to answer, the wait for the first echo could never end.
    if (!PortUsable(tty)) {
        hwnd->MessageBox(gszNotConnectedStr, gszAppName,
                         platform::MB_OK | platform::MB_ICONEXCLAMATION);
        return 0;
    }
    if (open() == 0) {
        return 0;
    }
    InUpload running;
    LogEvent("upload started: " + SourceWhere().file);
    RunUpload(hwnd, mode);
    return 1;
}

} // namespace

void SetUploadObserver(UploadObserver* observer) {
    gObserver = observer;
}

int UploadSource(platform::Window* hwnd, UploadMode mode) {
    return Upload(hwnd, mode, [hwnd] { return OpenSourceFile(hwnd); });
}

int UploadText(platform::Window* hwnd, const std::string& text, UploadMode mode,
               const std::string& name) {
    return Upload(hwnd, mode, [&] { return OpenSourceText(hwnd, text, name); });
}

int NextSourceLine(platform::Window* hwnd) {
    for (;;) {
        const int got = ReadSourceLine(hwnd);
        if (got == kSourceEnd || got == kSourceLine) {
            return got;
        }
        if (got == kSourcePause) {
            if (gObserver != nullptr) {
                gObserver->Pausing();
            }
            hwnd->MessageBox(gszContinueStr, gszUpStr, platform::MB_OK);
        }
    }
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

} // namespace pelko
