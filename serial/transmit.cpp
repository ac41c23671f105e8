#include "serial/transmit.h"

#include <algorithm>

#include "serial/receive.h"
#include "log/session_log.h"
#include "terminal/interpreter.h"
#include "terminal/tty_info.h"

namespace pelko {

namespace {

// The paste being typed (window thread only): its text and how much of it has gone out.
struct TypingQueue {
    std::string text;
    std::size_t sent = 0;
    bool active = false;
} gTyping;

// At most this much is offered to the port at a time, and per tick.
constexpr std::size_t kTypingPiece = 512;
constexpr std::size_t kTypingPerTick = 16 * 1024;

void EndTyping(platform::Window* hwnd) {
    gTyping = {};
    hwnd->KillTimer(kTypingTimer);
}

} // namespace

int ProcessTTYCharacter(platform::Window* hwnd, std::uint8_t character) {
    TTYInfo* tty = hwnd->GetRecord();
    if (tty == nullptr || tty->fConnected.load() == 0) {
        return 0;
    }
    WriteCommBlock(hwnd, &character, 1);
    LogTyped(&character, 1);
    if (tty->fLocalEcho.load() != 0) {
        WriteTTYBlock(hwnd, &character, 1);
    }
    return 1;
}

int WriteCommBlock(platform::Window* hwnd, const std::uint8_t* bytes, std::int32_t length) {
    TTYInfo* tty = hwnd->GetRecord();
    if (tty == nullptr || !tty->hCommPort) {
        return 0;
    }
    const std::size_t n = length > 0 ? static_cast<std::size_t>(length) : 0;
    const platform::WriteResult result = tty->hCommPort->Write(bytes, n, kWriteTimeoutMs);
    switch (result.status) {
    case platform::WriteStatus::Complete:
    case platform::WriteStatus::TimedOut:
        return 1;
    case platform::WriteStatus::FailedLater:
        WriteTTYBlock(hwnd, gszComError, kComErrorLength);
        return 1;
    case platform::WriteStatus::FailedAtOnce:
        break;
    }
    return 0;
}

int StartTyping(platform::Window* hwnd, const std::string& text) {
    TTYInfo* tty = hwnd->GetRecord();
    if (tty == nullptr || tty->fConnected.load() == 0 || !tty->hCommPort || gTyping.active ||
        text.empty() || text.size() > kTypingLimit) {
        return 0;
    }
    gTyping.text = text;
    gTyping.sent = 0;
    gTyping.active = true;
    LogEvent("typing pasted text: " + std::to_string(text.size()) + " bytes");
    hwnd->SetTimer(kTypingTimer, kTypingTickMs);
    ContinueTyping(hwnd);
    return 1;
}

int ContinueTyping(platform::Window* hwnd) {
    TTYInfo* tty = hwnd->GetRecord();
    if (!gTyping.active || tty == nullptr || tty->fConnected.load() == 0 || !tty->hCommPort) {
        EndTyping(hwnd);
        return 0;
    }
    std::size_t thisTick = 0;
    while (gTyping.sent < gTyping.text.size() && thisTick < kTypingPerTick) {
        const auto* at = reinterpret_cast<const std::uint8_t*>(gTyping.text.data()) + gTyping.sent;
        const std::size_t want = std::min(kTypingPiece, gTyping.text.size() - gTyping.sent);
        // No wait: what the port cannot take now waits for the next tick.
        const platform::WriteResult result = tty->hCommPort->Write(at, want, 0);
        if (result.written > 0) {
            const auto n = static_cast<std::int32_t>(result.written);
            LogTyped(at, n);
            if (tty->fLocalEcho.load() != 0) {
                WriteTTYBlock(hwnd, at, n);
                hwnd->RequestRepaint();
            }
            gTyping.sent += result.written;
            thisTick += result.written;
        }
        if (result.status == platform::WriteStatus::FailedAtOnce ||
            result.status == platform::WriteStatus::FailedLater) {
            WriteTTYBlock(hwnd, gszComError, kComErrorLength);
            hwnd->RequestRepaint();
            LogEvent("typing pasted text ended: the port failed after " +
                     std::to_string(gTyping.sent) + " of " + std::to_string(gTyping.text.size()) +
                     " bytes");
            EndTyping(hwnd);
            return 0;
        }
        if (result.status == platform::WriteStatus::TimedOut) {
            return 1;
        }
    }
    if (gTyping.sent < gTyping.text.size()) {
        return 1;
    }
    EndTyping(hwnd);
    return 0;
}

std::size_t StopTyping(platform::Window* hwnd) {
    if (!gTyping.active) {
        return 0;
    }
    const std::size_t left = gTyping.text.size() - gTyping.sent;
    LogEvent("typing pasted text stopped after " + std::to_string(gTyping.sent) + " of " +
             std::to_string(gTyping.text.size()) + " bytes");
    EndTyping(hwnd);
    return left;
}

bool Typing(std::size_t& sent, std::size_t& total) {
    sent = gTyping.sent;
    total = gTyping.text.size();
    return gTyping.active;
}

} // namespace pelko
