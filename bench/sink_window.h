#pragma once
// A window that accepts every request and does nothing with it, so benchmarks measure the core.
#include <memory>

#include "platform/window.h"

namespace pelko::bench {

class SinkFont : public platform::Font {
public:
    const platform::LogFont& Description() const override { return lf_; }

private:
    platform::LogFont lf_;
};

class SinkWindow : public platform::Window {
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
    std::unique_ptr<platform::Font> CreateFontIndirect(const platform::LogFont&) override {
        return std::make_unique<SinkFont>();
    }
    platform::TextMetrics GetTextMetrics(const platform::Font&) override { return {16, 8, 0}; }
    std::unique_ptr<platform::PaintDC> BeginPaint() override { return nullptr; }
    void EnableMenuItem(unsigned, unsigned) override {}
    platform::CursorShape SetCursor(platform::CursorShape s) override { return s; }
    int MessageBox(const std::string&, const std::string&, unsigned) override { return 1; }
    void PostClose() override {}
    int DialogBoxParam(int, platform::DlgProc, std::intptr_t) override { return -1; }
    bool ChooseFont(platform::LogFont&, std::uint32_t&) override { return false; }
    bool GetOpenFileName(std::string&, std::string&) override { return false; }
};

} // namespace pelko::bench
