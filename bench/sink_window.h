#pragma once
// A window that accepts every request and does nothing with it, so benchmarks measure the core.
#include "platform/null_window.h"

namespace pelko::bench {

using SinkWindow = platform::NullWindow;

} // namespace pelko::bench
