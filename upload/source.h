#pragma once
// Choosing the source file to upload.
//   SourceFileInit(hwnd)               prepares the open-file dialog; cannot fail
//   SourceOpenDlg(hwnd, path, title)   lets the user choose an existing file; nonzero when one
//                                      was chosen (path and title then hold it), 0 when cancelled
#include <string>

#include "platform/window.h"

namespace pelko {

// The chosen source file's full path (empty until the first choice) and its bare name.
extern std::string gszSourcePath;
extern std::string gszSourceTitle;

void SourceFileInit(platform::Window* hwnd);
int SourceOpenDlg(platform::Window* hwnd, std::string& path, std::string& title);

} // namespace pelko
