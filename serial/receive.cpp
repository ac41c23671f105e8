#include "serial/receive.h"

#include <algorithm>

#include "link/handshake.h"
#include "resources/globals.h"
#include "serial/connection.h"
#include "log/session_log.h"
#include "terminal/interpreter.h"
#include "terminal/tty_info.h"

namespace pelko {

using platform::Sys;

namespace {

// How long the thread sleeps between looks while it has no window to write to, or when the port
// said it had input and then gave nothing.
constexpr int kBackOffMs = 10;

// One read takes up to this much of what the port holds (a tty's input queue holds 4 KiB); the
// bytes are then handed on in blocks of at most kReadBlockSize, as if read one block at a time.
constexpr std::int32_t kReadBufferSize = 4096;

// The thread's last acts on every way out: the close waits for the id.
void EndWatch(TTYInfo* tty) {
    tty->dwWatchThreadId.store(0);
    tty->dwWatchThreadId.notify_all();
}

// The window the thread writes to. Until the entry has stored it, the thread sleeps on its wake
// event; nullptr when the connection is closed meanwhile.
platform::Window* WaitForWindow(TTYInfo* tty) {
    for (;;) {
        platform::Window* hwnd = hTTYWnd.load();
        if (hwnd != nullptr || tty->fConnected.load() == 0) {
            return hwnd;
        }
        Sys().WaitEvent(tty->osRead.hEvent, kBackOffMs);
    }
}

void Deliver(platform::Window* hwnd, const std::uint8_t* block, std::int32_t n) {
    LogReceived(block, n);
    if (gLink.gfUploading.load() != 0) {
        // While an upload runs the block is the echo of the line in flight. What this block
        // decided, not a second look at gfUploading, says whether to show it.
        const int decided = ScanCommBlock(block, n);
        if (decided != kScanPending) {
            hwnd->WakeEchoWait();
        }
        if (decided == kScanRejected) {
            // The target rejected the line: show its whole echo once.
            std::uint8_t echo[kRXBufSize];
            WriteTTYBlock(hwnd, echo, TakeEcho(echo));
            hwnd->RequestRepaint();
        }
        return;
    }
    WriteTTYBlock(hwnd, block, n);
    hwnd->RequestRepaint();
}

// The port has died. Say so on the screen once, end an upload that waits for an echo, and ask
// the window thread to tell the user.
void ReportDeadPort(platform::Window* hwnd) {
    gLink.fPortDead.store(1);
    WriteTTYBlock(hwnd, gszComError, kComErrorLength);
    hwnd->RequestRepaint();
    if (EndUploadLinkLost()) {
        hwnd->WakeEchoWait();
    }
    gLink.fLinkLost.store(1);
    hwnd->PostConnectionLost();
}

} // namespace

int CommWatchProc(TTYInfo* tty) {
    const platform::Event own = Sys().CreateEvent();
    if (own == platform::kNoEvent) {
        if (platform::Window* hwnd = WaitForWindow(tty)) {
            hwnd->PostMessageBox("Failed to create event for thread!", "TTY Error!",
                                 platform::MB_OK | platform::MB_ICONEXCLAMATION);
        }
        EndWatch(tty);
        return 0;
    }
    platform::Port* port = tty->hCommPort.get();
    const platform::Event wake = tty->osRead.hEvent;
    if (port == nullptr || wake == platform::kNoEvent) {
        Sys().CloseEvent(own);
        EndWatch(tty);
        return 0;
    }

    std::uint8_t buffer[kReadBufferSize];
    while (tty->fConnected.load() != 0) {
        platform::Window* hwnd = WaitForWindow(tty);
        if (hwnd == nullptr) {
            break;
        }
        const platform::WaitResult why = port->WaitForInput(wake);
        if (why == platform::WaitResult::Woken) {
            // A close clears the flag before it wakes us. Finding it still set means the wake-up
            // is stale; clear it so the next wait sleeps.
            if (tty->fConnected.load() != 0) {
                Sys().ResetEvent(wake);
            }
            continue;
        }
        if (why == platform::WaitResult::Dead) {
            if (tty->fConnected.load() != 0) {
                ReportDeadPort(hwnd);
            }
            break; // nothing more will come from this port
        }
        // Drain what is there. A close ends the drain after the current block, so a target
        // that never pauses cannot hold the close up.
        bool gotAny = false;
        while (tty->fConnected.load() != 0) {
            const std::int32_t n = ReadCommBlock(hwnd, buffer, kReadBufferSize);
            if (n == 0) {
                break;
            }
            gotAny = true;
            for (std::int32_t at = 0; at < n && tty->fConnected.load() != 0; at += kReadBlockSize) {
                Deliver(hwnd, buffer + at, std::min(kReadBlockSize, n - at));
            }
        }
        if (!gotAny) {
            Sys().WaitEvent(wake, kBackOffMs);
        }
    }
    Sys().CloseEvent(own);
    EndWatch(tty);
    return 1;
}

std::int32_t ReadCommBlock(platform::Window* hwnd, std::uint8_t* buffer, std::int32_t maxLength) {
    if (hwnd == nullptr) {
        return 0;
    }
    TTYInfo* tty = hwnd->GetRecord();
    if (tty == nullptr || !tty->hCommPort || maxLength <= 0) {
        return 0;
    }
    const std::int64_t waiting = tty->hCommPort->BytesWaiting();
    const std::int64_t n = std::min<std::int64_t>(maxLength, waiting);
    if (n <= 0) {
        return 0;
    }
    const std::int64_t got = tty->hCommPort->Read(buffer, static_cast<std::size_t>(n));
    return got > 0 ? static_cast<std::int32_t>(got) : 0;
}

} // namespace pelko
