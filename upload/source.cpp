#include "upload/source.h"

namespace pelko {

// Nothing to prepare until the source reader exists.
void SourceFileInit(platform::Window* /*hwnd*/) {}

} // namespace pelko
