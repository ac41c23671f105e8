#include "settings/settings.h"

#include "terminal/tty_info.h"

namespace pelko {

std::uint16_t gwMaxColumn = 80;

// The file itself is not read yet: the record keeps its defaults.
void LoadDefaults(TTYInfo* record) {
    gwMaxColumn = record->fMax40.load(std::memory_order_relaxed) != 0 ? 40 : 80;
}

int SaveDefaults(platform::Window* /*hwnd*/) { return 0; }

} // namespace pelko
