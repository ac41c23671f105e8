#include "upload/source.h"

#include <array>

namespace pelko {

std::string gszSourcePath;
std::string gszSourceTitle;
std::uint8_t gsTXBuf[kTXBufSize] = {};
std::uint16_t gwTXCol = 0;
int gfFold = 0;
std::uint16_t gwSourceLine = 0;
int ghSourceFile = -1;

namespace {

// The dialog's filters, the first shown first, and the extension added to a typed bare name.
constexpr std::array<platform::FileFilter, 3> kSourceFilters = {{
    {"Text Files (*.TXT)", "*.txt"},
    {"Zemra Source (*.SRC)", "*.src"},
    {"All Files (*.*)", "*.*"},
}};
constexpr const char* kSourceDefExt = "txt";

} // namespace

void SourceFileInit(platform::Window* /*hwnd*/) {}

int SourceOpenDlg(platform::Window* hwnd, std::string& path, std::string& title) {
    return hwnd->GetOpenFileName(path, title, kSourceFilters, kSourceDefExt) ? 1 : 0;
}

// The reader is still to come: nothing opens.
int OpenSourceFile(platform::Window* hwnd) {
    hwnd->MessageBox(gszOpenErrorStr, "", platform::MB_OK | platform::MB_ICONEXCLAMATION);
    return 0;
}

void CloseSourceFile() {}

int ReadSourceLine(platform::Window* /*hwnd*/) {
    return kSourceEnd;
}

int Fold(platform::Window* /*hwnd*/) {
    return kSourceEnd;
}

} // namespace pelko
