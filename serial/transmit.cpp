#include "serial/transmit.h"

#include "terminal/tty_info.h"

namespace pelko {

// No port layer yet: nothing can be written.
int ProcessTTYCharacter(platform::Window* hwnd, std::uint8_t /*character*/) {
    TTYInfo* tty = hwnd->GetRecord();
    return tty != nullptr && tty->fConnected.load() != 0 ? 1 : 0;
}

int WriteCommBlock(platform::Window* /*hwnd*/, const std::uint8_t* /*bytes*/,
                   std::int32_t /*length*/) {
    return 0;
}

} // namespace pelko
