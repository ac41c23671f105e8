#include "serial/transmit.h"

#include "serial/receive.h"
#include "serial/session_log.h"
#include "terminal/interpreter.h"
#include "terminal/tty_info.h"

namespace pelko {

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

} // namespace pelko
