#pragma once
// A window that shows nothing: every request is accepted and forgotten, fonts measure 8 x 16,
// boxes answer OK, dialogs cannot be made (-1), the echo wait ends at once, as cancelled, and
// timers never fire.
// A base for headless programs, benchmarks and fuzz targets, which override only what they watch.
#include <memory>

#include "platform/window.h"

namespace pelko::platform {

class PlainFont : public Font {
public:
    explicit PlainFont(const LogFont& lf) : lf_(lf) {}
    const LogFont& Description() const override { return lf_; }

private:
    LogFont lf_;
};

class NullWindow : public Window {
public:
    void InvalidateRect(const Rect*, bool) override {}
    void UpdateWindow() override {}
    void RequestRepaint() override {}
    void CreateCaret(std::int32_t, std::int32_t) override {}
    void ShowCaret() override {}
    void HideCaret() override {}
    void DestroyCaret() override {}
    void SetCaretPos(std::int32_t, std::int32_t) override {}
    void SetScrollRange(ScrollBar, std::int32_t, std::int32_t, bool) override {}
    void SetScrollPos(ScrollBar, std::int32_t, bool) override {}
    void ScrollWindow(std::int32_t, std::int32_t) override {}
    Size GetClientSize() const override { return {640, 400}; }
    void SetCellSize(std::int32_t, std::int32_t) override {}
    std::unique_ptr<Font> CreateFontIndirect(const LogFont& lf) override {
        return std::make_unique<PlainFont>(lf);
    }
    TextMetrics GetTextMetrics(const Font&) override { return {16, 8, 0}; }
    std::unique_ptr<PaintDC> BeginPaint() override { return nullptr; }
    void EnableMenuItem(unsigned, unsigned) override {}
    CursorShape SetCursor(CursorShape shape) override { return shape; }
    int MessageBox(const std::string&, const std::string&, unsigned) override { return IDOK; }
    void PostClose() override {}
    int DialogBoxParam(int, DlgProc, std::intptr_t) override { return -1; }
    bool ChooseFont(LogFont&, std::uint32_t&) override { return false; }
    bool GetOpenFileName(std::string&, std::string&, std::span<const platform::FileFilter>,
                         const std::string&) override {
        return false;
    }
    bool WaitForEcho(const std::atomic<std::uint8_t>&) override { return false; }
    void WakeEchoWait() override {}
    void SetTimer(unsigned, int) override {}
    void KillTimer(unsigned) override {}
};

} // namespace pelko::platform
