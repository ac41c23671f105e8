#include "serial/connection.h"

#include "terminal/tty_info.h"

namespace pelko {

// No port layer yet: nothing can be opened, and closing only marks the record closed.
int OpenConnection(platform::Window* /*hwnd*/) { return 0; }

int SetupConnection(platform::Window* /*hwnd*/) { return 0; }

int CloseConnection(platform::Window* hwnd) {
    TTYInfo* tty = hwnd->GetRecord();
    if (tty == nullptr) {
        return 0;
    }
    tty->fConnected.store(0);
    return 1;
}

} // namespace pelko
