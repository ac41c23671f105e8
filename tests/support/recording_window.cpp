#include "tests/support/recording_window.h"

#include <chrono>
#include <ostream>

namespace pelko::test {

using platform::ScrollBar;

namespace {

std::int64_t BarNumber(ScrollBar bar) {
    return bar == ScrollBar::Vert ? 1 : 0;
}

class RecordingDC : public platform::PaintDC {
public:
    RecordingDC(RecordingWindow* win, platform::Rect rect) : win_(win), rect_(rect) {}
    ~RecordingDC() override { win_->Record({"EndPaint", {}, {}}); }
    platform::Rect PaintRect() const override { return rect_; }
    void ExtTextOut(std::int32_t x, std::int32_t y, const platform::Rect& box,
                    const std::uint8_t* chars, std::int32_t count, const platform::Font*,
                    std::uint32_t color, std::uint32_t background) override {
        win_->Record(
            {"ExtTextOut",
             {x, y, box.left, box.top, box.right, box.bottom, color, background},
             std::string(reinterpret_cast<const char*>(chars), static_cast<std::size_t>(count))});
    }
    std::uint32_t WindowColor() const override { return 0xFFFFFF; }

private:
    RecordingWindow* win_;
    platform::Rect rect_;
};

} // namespace

std::ostream& operator<<(std::ostream& os, const Call& c) {
    os << c.op;
    for (auto v : c.n) {
        os << ' ' << v;
    }
    if (!c.s.empty()) {
        os << " \"" << c.s << '"';
    }
    return os;
}

void RecordingWindow::Record(Call call) {
    {
        std::lock_guard lock(mu_);
        calls_.push_back(call);
    }
    if (onCall) {
        onCall(call);
    }
}

std::vector<Call> RecordingWindow::Calls() const {
    std::lock_guard lock(mu_);
    return calls_;
}

std::vector<Call> RecordingWindow::Calls(const std::string& op) const {
    std::lock_guard lock(mu_);
    std::vector<Call> out;
    for (const Call& c : calls_) {
        if (c.op == op) {
            out.push_back(c);
        }
    }
    return out;
}

std::size_t RecordingWindow::Count(const std::string& op) const {
    return Calls(op).size();
}

std::vector<std::string> RecordingWindow::CellRunsAndRepaints() const {
    std::vector<std::string> order;
    int cells = 0;
    for (const Call& c : Calls()) {
        if (c.op == "InvalidateRect") {
            ++cells;
            continue;
        }
        if (c.op == "RequestRepaint") {
            if (cells > 0) {
                order.push_back(std::to_string(cells) + " cells");
                cells = 0;
            }
            order.push_back("repaint");
        }
    }
    if (cells > 0) {
        order.push_back(std::to_string(cells) + " cells");
    }
    return order;
}

void RecordingWindow::Clear() {
    std::lock_guard lock(mu_);
    calls_.clear();
}

void RecordingWindow::InvalidateRect(const platform::Rect* r, bool erase) {
    if (r == nullptr) {
        Record({"InvalidateAll", {erase ? 1 : 0}, {}});
    } else {
        Record({"InvalidateRect", {r->left, r->top, r->right, r->bottom, erase ? 1 : 0}, {}});
    }
}

void RecordingWindow::UpdateWindow() {
    Record({"UpdateWindow", {}, {}});
}
void RecordingWindow::RequestRepaint() {
    Record({"RequestRepaint", {}, {}});
}
void RecordingWindow::CreateCaret(std::int32_t w, std::int32_t h) {
    Record({"CreateCaret", {w, h}, {}});
}
void RecordingWindow::ShowCaret() {
    Record({"ShowCaret", {}, {}});
}
void RecordingWindow::HideCaret() {
    Record({"HideCaret", {}, {}});
}
void RecordingWindow::DestroyCaret() {
    Record({"DestroyCaret", {}, {}});
}
void RecordingWindow::SetCaretPos(std::int32_t x, std::int32_t y) {
    Record({"SetCaretPos", {x, y}, {}});
}
void RecordingWindow::SetScrollRange(ScrollBar bar, std::int32_t min, std::int32_t max,
                                     bool redraw) {
    Record({"SetScrollRange", {BarNumber(bar), min, max, redraw ? 1 : 0}, {}});
}
void RecordingWindow::SetScrollPos(ScrollBar bar, std::int32_t pos, bool redraw) {
    Record({"SetScrollPos", {BarNumber(bar), pos, redraw ? 1 : 0}, {}});
}
void RecordingWindow::ScrollWindow(std::int32_t dx, std::int32_t dy) {
    Record({"ScrollWindow", {dx, dy}, {}});
}
platform::Size RecordingWindow::GetClientSize() const {
    return client;
}
void RecordingWindow::SetCellSize(std::int32_t cx, std::int32_t cy) {
    Record({"SetCellSize", {cx, cy}, {}});
}

std::unique_ptr<platform::Font> RecordingWindow::CreateFontIndirect(const platform::LogFont& lf) {
    Record({"CreateFont", {lf.lfHeight}, lf.lfFaceName});
    return std::make_unique<RecordedFont>(lf);
}

platform::TextMetrics RecordingWindow::GetTextMetrics(const platform::Font&) {
    return metrics;
}

std::unique_ptr<platform::PaintDC> RecordingWindow::BeginPaint() {
    Record({"BeginPaint", {}, {}});
    return std::make_unique<RecordingDC>(this, paintRect);
}

void RecordingWindow::EnableMenuItem(unsigned id, unsigned flags) {
    Record({"EnableMenuItem", {id, flags}, {}});
}

platform::CursorShape RecordingWindow::SetCursor(platform::CursorShape shape) {
    Record({"SetCursor", {shape == platform::CursorShape::Wait ? 1 : 0}, {}});
    std::lock_guard lock(mu_);
    auto old = cursor_;
    cursor_ = shape;
    return old;
}

int RecordingWindow::MessageBox(const std::string& text, const std::string& caption,
                                unsigned style) {
    Record({"MessageBox", {style}, text + "|" + caption});
    std::lock_guard lock(mu_);
    if (boxAnswers.empty()) {
        return platform::IDOK;
    }
    const int answer = boxAnswers.front();
    boxAnswers.pop_front();
    return answer;
}

void RecordingWindow::PostClose() {
    Record({"PostClose", {}, {}});
}
void RecordingWindow::DestroyWindow() {
    Record({"DestroyWindow", {}, {}});
}
void RecordingWindow::PostQuitMessage(int code) {
    Record({"PostQuitMessage", {code}, {}});
}

int RecordingWindow::DialogBoxParam(int templateId, platform::DlgProc, std::intptr_t param) {
    Record({"DialogBoxParam", {templateId, param}, {}});
    return dialogResult;
}

bool RecordingWindow::ChooseFont(platform::LogFont&, std::uint32_t&) {
    Record({"ChooseFont", {}, {}});
    return false;
}

bool RecordingWindow::GetOpenFileName(std::string& path, std::string& title,
                                      std::span<const platform::FileFilter> filters,
                                      const std::string& defaultExt) {
    std::string text = path;
    for (const platform::FileFilter& f : filters) {
        text += std::string("|") + f.name + "|" + f.pattern;
    }
    Record({"GetOpenFileName", {}, text + "|" + defaultExt});
    if (!fileChoice) {
        return false;
    }
    path = *fileChoice;
    const std::size_t slash = path.rfind('/');
    title = slash == std::string::npos ? path : path.substr(slash + 1);
    return true;
}

bool RecordingWindow::WaitForEcho(const std::atomic<std::uint8_t>& sync) {
    Record({"WaitForEcho", {}, {}});
    // The time limit only guards against a wake-up that never comes.
    return echo_.Wait(sync, [this]() -> std::optional<platform::EchoWaiter::Clock::time_point> {
        if (cancelEchoWait.load()) {
            return std::nullopt;
        }
        return platform::EchoWaiter::Clock::now() + std::chrono::milliseconds(200);
    });
}

void RecordingWindow::WakeEchoWait() {
    echo_.Wake();
}

std::vector<Call> RecordingDialog::Calls(const std::string& op) const {
    std::vector<Call> out;
    for (const Call& c : calls) {
        if (c.op == op) {
            out.push_back(c);
        }
    }
    return out;
}

std::string RecordingDialog::GetDlgItemText(int id) const {
    const auto it = texts.find(id);
    return it == texts.end() ? std::string() : it->second;
}

void RecordingDialog::SetDlgItemText(int id, const std::string& text) {
    calls.push_back({"SetDlgItemText", {id}, text});
    texts[id] = text;
}

void RecordingDialog::EndDialog(int r) {
    calls.push_back({"EndDialog", {r}, {}});
    ended = true;
    result = r;
}

void RecordingDialog::SetProp(std::intptr_t value) {
    calls.push_back({"SetProp", {}, {}});
    Dialog::SetProp(value);
}

void RecordingDialog::RemoveProp() {
    calls.push_back({"RemoveProp", {}, {}});
    Dialog::RemoveProp();
}

int RecordingDialog::AddString(int id, const std::string& text) {
    calls.push_back({"AddString", {id}, text});
    List& l = lists[id];
    if (l.entries.size() >= listCapacity) {
        return -1;
    }
    l.entries.push_back(text);
    l.data.push_back(0);
    l.tips.emplace_back();
    return static_cast<int>(l.entries.size() - 1);
}

void RecordingDialog::SetItemData(int id, int index, std::uint32_t data) {
    calls.push_back({"SetItemData", {id, index, data}, {}});
    List& l = lists[id];
    if (index >= 0 && static_cast<std::size_t>(index) < l.data.size()) {
        l.data[static_cast<std::size_t>(index)] = data;
    }
}

std::intptr_t RecordingDialog::GetItemData(int id, int index) const {
    const auto it = lists.find(id);
    if (it == lists.end() || index < 0 ||
        static_cast<std::size_t>(index) >= it->second.data.size()) {
        return -1;
    }
    return it->second.data[static_cast<std::size_t>(index)];
}

void RecordingDialog::SetItemTip(int id, int index, const std::string& tip) {
    calls.push_back({"SetItemTip", {id, index}, tip});
    List& l = lists[id];
    if (index >= 0 && static_cast<std::size_t>(index) < l.tips.size()) {
        l.tips[static_cast<std::size_t>(index)] = tip;
    }
}

void RecordingDialog::SetCurSel(int id, int index) {
    calls.push_back({"SetCurSel", {id, index}, {}});
    List& l = lists[id];
    l.sel = index >= 0 && static_cast<std::size_t>(index) < l.entries.size() ? index : -1;
}

int RecordingDialog::GetCurSel(int id) const {
    const auto it = lists.find(id);
    return it == lists.end() ? -1 : it->second.sel;
}

void RecordingDialog::EnableWindow(int id, bool enable) {
    calls.push_back({"EnableWindow", {id, enable ? 1 : 0}, {}});
    enabled[id] = enable;
}

void RecordingDialog::CheckDlgButton(int id, unsigned check) {
    calls.push_back({"CheckDlgButton", {id, check}, {}});
    checks[id] = check;
}

unsigned RecordingDialog::IsDlgButtonChecked(int id) const {
    const auto it = checks.find(id);
    return it == checks.end() ? 0U : it->second;
}

bool RecordingDialog::ChooseFont(platform::LogFont& lf, std::uint32_t& color) {
    calls.push_back({"ChooseFont", {lf.lfHeight, color}, lf.lfFaceName});
    if (!fontChoice) {
        return false;
    }
    lf = fontChoice->first;
    color = fontChoice->second;
    return true;
}

void RecordingWindow::PostMessageBox(const std::string& text, const std::string& caption,
                                     unsigned style) {
    Record({"PostMessageBox", {style}, text + "|" + caption});
}

void RecordingWindow::PostConnectionLost() {
    Record({"PostConnectionLost", {}, {}});
}

void RecordingWindow::SetTimer(unsigned id, int ms) {
    Record({"SetTimer", {id, ms}, {}});
}

void RecordingWindow::KillTimer(unsigned id) {
    Record({"KillTimer", {id}, {}});
}

} // namespace pelko::test
