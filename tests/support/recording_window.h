#pragma once
// A window that records every call the core makes on it, for tests. Answers are scripted:
// message boxes pop answers from `boxAnswers` (IDOK when empty), dialogs return `dialogResult`,
// fonts measure as `metrics`, the client area is `client`, and a paint covers `paintRect`.
// Safe to call from several threads at once.
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/window.h"

namespace pelko::test {

struct Call {
    std::string op;                // the method name, e.g. "InvalidateRect"
    std::vector<std::int64_t> n;   // its numeric arguments in order
    std::string s;                 // its text arguments joined by '|'
    friend bool operator==(const Call&, const Call&) = default;
};

std::ostream& operator<<(std::ostream& os, const Call& c);

class RecordingWindow : public platform::Window {
public:
    // Scripted answers.
    std::deque<int> boxAnswers;
    int dialogResult = 1;
    platform::TextMetrics metrics{16, 8, 0};
    platform::Size client{640, 400};
    platform::Rect paintRect{0, 0, 640, 400};
    // Called with each call as it is recorded (outside the recorder's lock).
    std::function<void(const Call&)> onCall;

    std::vector<Call> Calls() const;
    std::vector<Call> Calls(const std::string& op) const;
    std::size_t Count(const std::string& op) const;
    void Clear();

    void InvalidateRect(const platform::Rect* rect, bool erase) override;
    void UpdateWindow() override;
    void RequestRepaint() override;
    void CreateCaret(std::int32_t width, std::int32_t height) override;
    void ShowCaret() override;
    void HideCaret() override;
    void DestroyCaret() override;
    void SetCaretPos(std::int32_t x, std::int32_t y) override;
    void SetScrollRange(platform::ScrollBar bar, std::int32_t min, std::int32_t max,
                        bool redraw) override;
    void SetScrollPos(platform::ScrollBar bar, std::int32_t pos, bool redraw) override;
    void ScrollWindow(std::int32_t dx, std::int32_t dy) override;
    platform::Size GetClientSize() const override;
    std::unique_ptr<platform::Font> CreateFontIndirect(const platform::LogFont& lf) override;
    platform::TextMetrics GetTextMetrics(const platform::Font& font) override;
    std::unique_ptr<platform::PaintDC> BeginPaint() override;
    void EnableMenuItem(unsigned id, unsigned flags) override;
    platform::CursorShape SetCursor(platform::CursorShape shape) override;
    int MessageBox(const std::string& text, const std::string& caption, unsigned style) override;
    void PostClose() override;
    void DestroyWindow() override;
    void PostQuitMessage(int code) override;
    int DialogBoxParam(int templateId, platform::DlgProc proc, std::intptr_t param) override;
    bool ChooseFont(platform::LogFont& lf, std::uint32_t& color) override;
    bool GetOpenFileName(std::string& path, std::string& title) override;

    void Record(Call call);

private:
    mutable std::mutex mu_;
    std::vector<Call> calls_;
    platform::CursorShape cursor_ = platform::CursorShape::Arrow;
};

// A font that only remembers its description.
class RecordedFont : public platform::Font {
public:
    explicit RecordedFont(const platform::LogFont& lf) : lf_(lf) {}
    const platform::LogFont& Description() const override { return lf_; }

private:
    platform::LogFont lf_;
};

} // namespace pelko::test
