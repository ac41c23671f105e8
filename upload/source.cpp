#include "upload/source.h"

namespace pelko {

std::string gszSourcePath;
std::string gszSourceTitle;

// The dialog needs no preparation beyond what the window layer does itself.
void SourceFileInit(platform::Window* /*hwnd*/) {}

int SourceOpenDlg(platform::Window* hwnd, std::string& path, std::string& title) {
    return hwnd->GetOpenFileName(path, title) ? 1 : 0;
}

} // namespace pelko
