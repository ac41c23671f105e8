#include "resources/globals.h"

namespace pelko {

std::atomic<platform::Window*> hTTYWnd{nullptr};

} // namespace pelko
