#pragma once
// Choosing the source file to upload.
//   SourceFileInit(hwnd)  prepares the open-file dialog; cannot fail
#include "platform/window.h"

namespace pelko {

void SourceFileInit(platform::Window* hwnd);

} // namespace pelko
