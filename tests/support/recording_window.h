#pragma once
// A window that records every call the core makes on it, for tests. Answers are scripted:
// message boxes pop answers from `boxAnswers` (IDOK when empty), dialogs return `dialogResult`,
// fonts measure as `metrics`, the client area is `client`, and a paint covers `paintRect`.
// Safe to call from several threads at once.
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/echo_waiter.h"
#include "platform/window.h"

namespace pelko::test {

struct Call {
    std::string op;              // the method name, e.g. "InvalidateRect"
    std::vector<std::int64_t> n; // its numeric arguments in order
    std::string s;               // its text arguments joined by '|'
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
    // The open-file dialog's answer: a chosen path, or cancelled when empty.
    std::optional<std::string> fileChoice;
    // Set (from any thread) to cancel the echo wait as Esc would; WakeEchoWait then ends it.
    std::atomic<bool> cancelEchoWait{false};
    // Called with each call as it is recorded (outside the recorder's lock).
    std::function<void(const Call&)> onCall;

    std::vector<Call> Calls() const;
    std::vector<Call> Calls(const std::string& op) const;
    std::size_t Count(const std::string& op) const;
    // The calls as runs: "N cells" for a run of N cell invalidations, "repaint" for each repaint
    // request, in the order they came.
    std::vector<std::string> CellRunsAndRepaints() const;
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
    void SetCellSize(std::int32_t cx, std::int32_t cy) override;
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
    bool GetOpenFileName(std::string& path, std::string& title,
                         std::span<const platform::FileFilter> filters,
                         const std::string& defaultExt) override;
    bool WaitForEcho(const std::atomic<std::uint8_t>& sync) override;
    void WakeEchoWait() override;
    void PostMessageBox(const std::string& text, const std::string& caption,
                        unsigned style) override;
    void PostConnectionLost() override;
    void SetTimer(unsigned id, int ms) override;
    void KillTimer(unsigned id) override;

    void Record(Call call);

private:
    mutable std::mutex mu_;
    platform::EchoWaiter echo_;
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

// A dialog whose controls are plain data, for driving dialog procedures without a window
// system. Lists, check boxes and enabled states are created on first use; every operation is
// also recorded as a Call. The font chooser answers with `fontChoice` (cancelled when empty).
class RecordingDialog : public platform::Dialog {
public:
    struct List {
        std::vector<std::string> entries;
        std::vector<std::intptr_t> data;
        std::vector<std::string> tips;
        int sel = -1;
    };
    explicit RecordingDialog(platform::Window* owner = nullptr) : owner_(owner) {}

    std::map<int, List> lists;
    std::map<int, unsigned> checks;
    std::map<int, bool> enabled; // ids never enabled or disabled are absent
    std::map<int, std::string> texts;
    std::size_t listCapacity = 100; // AddString fails beyond this many entries
    std::optional<std::pair<platform::LogFont, std::uint32_t>> fontChoice;
    bool ended = false;
    int result = 0;
    std::vector<Call> calls;

    std::vector<Call> Calls(const std::string& op) const;

    std::string GetDlgItemText(int id) const override;
    void SetDlgItemText(int id, const std::string& text) override;
    void EndDialog(int result) override;
    platform::Window* Owner() const override { return owner_; }
    void SetProp(std::intptr_t value) override;
    void RemoveProp() override;
    int AddString(int id, const std::string& text) override;
    void SetItemData(int id, int index, std::uint32_t data) override;
    std::intptr_t GetItemData(int id, int index) const override;
    void SetItemTip(int id, int index, const std::string& tip) override;
    void SetCurSel(int id, int index) override;
    int GetCurSel(int id) const override;
    void EnableWindow(int id, bool enable) override;
    void CheckDlgButton(int id, unsigned check) override;
    unsigned IsDlgButtonChecked(int id) const override;
    bool ChooseFont(platform::LogFont& lf, std::uint32_t& color) override;

private:
    platform::Window* owner_;
};

} // namespace pelko::test
