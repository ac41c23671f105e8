// pelko_console: the terminal core without a window. Reads bytes from standard input, puts them
// on an 80 x 25 screen exactly as the window would show them, and prints that screen.
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/null_window.h"
#include "terminal/interpreter.h"
#include "terminal/tty_info.h"

namespace {

using namespace pelko;

// Boxes go to standard error; everything else is forgotten.
class HeadlessWindow : public platform::NullWindow {
public:
    int MessageBox(const std::string& text, const std::string& caption, unsigned) override {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        return platform::IDOK;
    }
};

} // namespace

int main() {
    HeadlessWindow win;
    if (CreateTTYInfo(&win) != 1) {
        std::fprintf(stderr, "pelko_console: cannot build the terminal\n");
        return 1;
    }
    std::uint8_t buf[4096];
    std::size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, stdin)) > 0) {
        WriteTTYBlock(&win, buf, static_cast<std::int32_t>(n));
    }
    const TTYInfo* tty = win.GetRecord();
    for (int r = 0; r < kScreenRows; ++r) {
        std::fwrite(tty->achScreen + r * kScreenCols, 1, kScreenCols, stdout);
        std::fputc('\n', stdout);
    }
    DestroyTTYInfo(&win);
    return 0;
}
