// pelko_console: the terminal core without a window. Reads bytes from standard input, puts them
// on an 80 x 25 screen exactly as the window would show them, and prints that screen.
#include <cstdio>
#include <cstring>
#include <memory>

#include "terminal/interpreter.h"
#include "terminal/tty_info.h"

namespace {

using namespace pelko;

class NullFont : public platform::Font {
public:
    explicit NullFont(const platform::LogFont& lf) : lf_(lf) {}
    const platform::LogFont& Description() const override { return lf_; }

private:
    platform::LogFont lf_;
};

// A window with nothing to show: every request is accepted and forgotten.
class HeadlessWindow : public platform::Window {
public:
    void InvalidateRect(const platform::Rect*, bool) override {}
    void UpdateWindow() override {}
    void RequestRepaint() override {}
    void CreateCaret(std::int32_t, std::int32_t) override {}
    void ShowCaret() override {}
    void HideCaret() override {}
    void DestroyCaret() override {}
    void SetCaretPos(std::int32_t, std::int32_t) override {}
    void SetScrollRange(platform::ScrollBar, std::int32_t, std::int32_t, bool) override {}
    void SetScrollPos(platform::ScrollBar, std::int32_t, bool) override {}
    void ScrollWindow(std::int32_t, std::int32_t) override {}
    platform::Size GetClientSize() const override { return {640, 400}; }
    std::unique_ptr<platform::Font> CreateFontIndirect(const platform::LogFont& lf) override {
        return std::make_unique<NullFont>(lf);
    }
    platform::TextMetrics GetTextMetrics(const platform::Font&) override { return {16, 8, 0}; }
    std::unique_ptr<platform::PaintDC> BeginPaint() override { return nullptr; }
    void EnableMenuItem(unsigned, unsigned) override {}
    platform::CursorShape SetCursor(platform::CursorShape) override {
        return platform::CursorShape::Arrow;
    }
    int MessageBox(const std::string& text, const std::string& caption, unsigned) override {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        return platform::IDOK;
    }
    void PostClose() override {}
    int DialogBoxParam(int, platform::DlgProc, std::intptr_t) override { return -1; }
    bool ChooseFont(platform::LogFont&, std::uint32_t&) override { return false; }
    bool GetOpenFileName(std::string&, std::string&) override { return false; }
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
