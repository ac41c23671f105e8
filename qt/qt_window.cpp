#include "qt/qt_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <chrono>
#include <string_view>
#include <thread>

#include "qt/dialog_host.h"
#include "qt/font_chooser.h"
#include "qt/keys.h"
#include "qt/qt_font.h"
#include "resources/globals.h"
#include "resources/messages.h"
#include "resources/resources.h"
#include "terminal/tty_info.h"

// The icon lives in a static library, whose resources are not registered on their own.
static void InitPelkoResources() {
    Q_INIT_RESOURCE(pelko);
}

namespace pelko::qt {

namespace {

QRect ToQRect(const platform::Rect& r) {
    return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1));
}

QColor FromColorRef(std::uint32_t c) {
    return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                  static_cast<int>((c >> 16) & 0xFF));
}

// Requests from other threads are held back to at most one flush a frame while they keep coming.
constexpr std::chrono::milliseconds kFrame{16};

// A box of client pixels packed into one word: left, top, right and bottom (the last two
// exclusive), each clamped to 0..0x7FFF, as four 16-bit fields. What the clamp cuts off lies
// outside the view. 0 is no box; kAllBox, out of the fields' range, is the whole view.
struct Box {
    std::int32_t left, top, right, bottom;
    bool Empty() const { return right <= left || bottom <= top; }
    friend bool operator==(const Box&, const Box&) = default;
};
constexpr std::uint64_t kAllBox = ~std::uint64_t{0};

Box ClampBox(const platform::Rect& r) {
    auto c = [](std::int32_t v) { return std::clamp<std::int32_t>(v, 0, 0x7FFF); };
    return Box{c(r.left), c(r.top), c(r.right), c(r.bottom)};
}

std::uint64_t PackBox(const Box& b) {
    return static_cast<std::uint64_t>(b.left) | (static_cast<std::uint64_t>(b.top) << 16) |
           (static_cast<std::uint64_t>(b.right) << 32) |
           (static_cast<std::uint64_t>(b.bottom) << 48);
}

Box UnpackBox(std::uint64_t w) {
    auto f = [w](int shift) { return static_cast<std::int32_t>((w >> shift) & 0xFFFF); };
    return Box{f(0), f(16), f(32), f(48)};
}

// A caret position packed into one word with its "set" bit: x and y as 31-bit fields, each
// clamped to what they can hold (the caret is off the view long before that).
constexpr std::uint64_t kCaretSet = std::uint64_t{1} << 63;
constexpr std::int32_t kCaretLimit = (1 << 30) - 1;

std::uint64_t PackCaret(std::int32_t x, std::int32_t y) {
    auto f = [](std::int32_t v) {
        return static_cast<std::uint64_t>(std::clamp(v, -kCaretLimit, kCaretLimit) + kCaretLimit);
    };
    return kCaretSet | f(x) | (f(y) << 31);
}

QPoint UnpackCaret(std::uint64_t w) {
    auto f = [w](int shift) { return static_cast<int>((w >> shift) & 0x7FFFFFFF) - kCaretLimit; };
    return QPoint(f(0), f(31));
}

std::uint32_t ToColorRef(const QColor& c) {
    return static_cast<std::uint32_t>(c.red()) | (static_cast<std::uint32_t>(c.green()) << 8) |
           (static_cast<std::uint32_t>(c.blue()) << 16);
}

// Scroll-bar actions as the scroll codes the procedure takes.
int ScrollCode(int action) {
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
        return platform::SB_LINEUP;
    case QAbstractSlider::SliderSingleStepAdd:
        return platform::SB_LINEDOWN;
    case QAbstractSlider::SliderPageStepSub:
        return platform::SB_PAGEUP;
    case QAbstractSlider::SliderPageStepAdd:
        return platform::SB_PAGEDOWN;
    case QAbstractSlider::SliderMove:
        return platform::SB_THUMBTRACK;
    case QAbstractSlider::SliderToMinimum:
        return platform::SB_TOP;
    case QAbstractSlider::SliderToMaximum:
        return platform::SB_BOTTOM;
    default:
        return -1;
    }
}

// One paint pass of the terminal view.
class QtPaintDC : public platform::PaintDC {
public:
    QtPaintDC(QWidget* target, const QRect& rect, GlyphCache& glyphs)
        : painter_(target), rect_(rect), glyphs_(glyphs),
          window_(ToColorRef(target->palette().color(QPalette::Base))) {}
    platform::Rect PaintRect() const override {
        return platform::Rect{rect_.left(), rect_.top(), rect_.right() + 1, rect_.bottom() + 1};
    }
    void ExtTextOut(std::int32_t x, std::int32_t y, const platform::Rect& box,
                    const std::uint8_t* chars, std::int32_t count, const platform::Font* font,
                    std::uint32_t color, std::uint32_t background) override {
        static const QFont fallback = MakeQFont(platform::LogFont{});
        const auto* qf = dynamic_cast<const QtFont*>(font);
        glyphs_.DrawRow(painter_, x, y, ToQRect(box), chars, count,
                        qf != nullptr ? qf->qfont() : fallback, FromColorRef(color),
                        FromColorRef(background));
    }
    std::uint32_t WindowColor() const override { return window_; }

private:
    QPainter painter_;
    QRect rect_;
    GlyphCache& glyphs_;
    std::uint32_t window_;
};

} // namespace

// ---------------------------------------------------------------------------------------------
// TerminalView

TerminalView::TerminalView(QtWindow* owner) : QAbstractScrollArea(owner), owner_(owner) {
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFrameShape(QFrame::NoFrame);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent, false);
    viewport()->setAutoFillBackground(true);
    viewport()->setAttribute(Qt::WA_InputMethodEnabled, false);
    for (QScrollBar* bar : {horizontalScrollBar(), verticalScrollBar()}) {
        bar->setRange(0, 0);
        // A dragged thumb moves alone; the view follows when it is let go.
        bar->setTracking(false);
        bar->installEventFilter(this);
        const bool vertical = bar == verticalScrollBar();
        const unsigned msg = vertical ? WM_VSCROLL : WM_HSCROLL;
        connect(bar, &QAbstractSlider::actionTriggered, this,
                [this, vertical](int action) { OnBarAction(vertical, action); });
        connect(bar, &QAbstractSlider::sliderMoved, this, [this, msg](int pos) {
            Send(msg, MakeWParam(platform::SB_THUMBTRACK,
                                 static_cast<std::uint16_t>(std::clamp(pos, 0, 0xFFFF))));
        });
        connect(bar, &QAbstractSlider::sliderReleased, this, [this, msg, bar] {
            const auto pos =
                static_cast<std::uint16_t>(std::clamp(bar->sliderPosition(), 0, 0xFFFF));
            Send(msg, MakeWParam(platform::SB_THUMBPOSITION, pos));
        });
    }
}

void TerminalView::OnBarAction(bool vertical, int action) {
    QScrollBar* bar = vertical ? verticalScrollBar() : horizontalScrollBar();
    int code = ScrollCode(action);
    if (code == platform::SB_THUMBTRACK) {
        if (bar->isSliderDown()) {
            return; // told by sliderMoved
        }
        // Moved to a new position by other means than a drag: that position is where to go.
        code = platform::SB_THUMBPOSITION;
    }
    if (code < 0) {
        return;
    }
    const auto pos = static_cast<std::uint16_t>(std::clamp(bar->sliderPosition(), 0, 0xFFFF));
    Send(vertical ? WM_VSCROLL : WM_HSCROLL, MakeWParam(static_cast<std::uint16_t>(code), pos));
    // The procedure has set the position it wants; keep Qt from applying its own step.
    bar->setSliderPosition(bar->value());
}

void TerminalView::OnWheel(bool vertical, int delta, Qt::KeyboardModifiers modifiers) {
    // One notch is 120; finer wheels and touch pads send parts of it, which add up here.
    delta = std::clamp(delta, -1200, 1200);
    if (delta == 0) {
        return;
    }
    bool pages = (modifiers & (Qt::ControlModifier | Qt::ShiftModifier)) != 0;
    int& rest = wheelRest_[vertical ? 1 : 0];
    if (rest != 0 && (rest < 0) != (delta < 0)) {
        rest = 0; // turned back: the part notch in the old direction is dropped
    }
    rest += delta * (pages ? 1 : std::clamp(QApplication::wheelScrollLines(), 1, 100));
    int steps = rest / 120;
    rest -= steps * 120;
    const bool toStart = steps > 0; // turned away from the user: up, or left
    steps = std::abs(steps);
    const TTYInfo* tty = owner_ != nullptr ? owner_->GetRecord() : nullptr;
    if (!pages && tty != nullptr) {
        // Never more than a page at once.
        const std::int64_t unit = (vertical ? tty->cyChar : tty->cxChar).load();
        if (steps * unit >= (vertical ? tty->cyClient : tty->cxClient)) {
            pages = true;
            steps = 1;
        }
    }
    const std::uint16_t code = pages ? (toStart ? platform::SB_PAGEUP : platform::SB_PAGEDOWN)
                                     : (toStart ? platform::SB_LINEUP : platform::SB_LINEDOWN);
    for (int i = 0; i < steps; ++i) {
        Send(vertical ? WM_VSCROLL : WM_HSCROLL, MakeWParam(code, 0));
    }
}

void TerminalView::wheelEvent(QWheelEvent* e) {
    const QPoint d = e->angleDelta();
    const bool vertical = std::abs(d.y()) >= std::abs(d.x());
    OnWheel(vertical, vertical ? d.y() : d.x(), e->modifiers());
    e->accept();
}

bool TerminalView::eventFilter(QObject* watched, QEvent* e) {
    // The wheel over a bar scrolls along that bar, through the same codes as over the text.
    const bool vbar = watched == verticalScrollBar();
    if (e->type() == QEvent::Wheel && (vbar || watched == horizontalScrollBar())) {
        auto* we = static_cast<QWheelEvent*>(e);
        const QPoint d = we->angleDelta();
        OnWheel(vbar, std::abs(d.y()) >= std::abs(d.x()) ? d.y() : d.x(), we->modifiers());
        we->accept();
        return true;
    }
    return QAbstractScrollArea::eventFilter(watched, e);
}

bool TerminalView::event(QEvent* e) {
    // Tab is typed at the target, not used to move the focus.
    if (e->type() == QEvent::KeyPress) {
        auto* ke = static_cast<QKeyEvent*>(e);
        if (ke->key() == Qt::Key_Tab || ke->key() == Qt::Key_Backtab) {
            keyPressEvent(ke);
            return true;
        }
    }
    return QAbstractScrollArea::event(e);
}

void TerminalView::paintEvent(QPaintEvent* e) {
    if (owner_ != nullptr) {
        owner_->PaintView(e);
    }
}

void TerminalView::Send(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam) {
    if (owner_ != nullptr) {
        owner_->Send(msg, wParam, lParam);
    }
}

bool TerminalView::viewportEvent(QEvent* e) {
    // The client area is the viewport: it also changes size when a scroll bar comes or goes.
    if (e->type() == QEvent::Resize) {
        const QSize s = viewport()->size();
        Send(WM_SIZE, 0,
             MakeLParam(static_cast<std::uint16_t>(std::clamp(s.width(), 0, 0xFFFF)),
                        static_cast<std::uint16_t>(std::clamp(s.height(), 0, 0xFFFF))));
    }
    return QAbstractScrollArea::viewportEvent(e);
}

void TerminalView::focusInEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusInEvent(e);
    Send(WM_SETFOCUS);
}

void TerminalView::focusOutEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusOutEvent(e);
    Send(WM_KILLFOCUS);
}

void TerminalView::keyPressEvent(QKeyEvent* e) {
    const std::string bytes = TranslateKey(e->key(), e->modifiers(), e->text());
    if (bytes.empty()) {
        QAbstractScrollArea::keyPressEvent(e);
        return;
    }
    for (const char b : bytes) {
        Send(WM_CHAR, static_cast<std::uint8_t>(b));
    }
    e->accept();
}

// ---------------------------------------------------------------------------------------------
// QtWindow

QtWindow::QtWindow(WndProc proc) : proc_(proc), view_(new TerminalView(this)) {
    InitPelkoResources();
    setWindowTitle(QString::fromLatin1(gszAppName));
    setWindowIcon(QIcon(QStringLiteral(":/pelko/pelko.png")));
    setCentralWidget(view_);
    BuildMenu();
    BuildKeys();
    // The caret blinks, as terminals' carets do.
    caretBlink_.setInterval(530);
    connect(&caretBlink_, &QTimer::timeout, this, [this] {
        caretBlinkOn_ = !caretBlinkOn_;
        view_->viewport()->update(caret_);
    });
    flushTimer_.setSingleShot(true);
    connect(&flushTimer_, &QTimer::timeout, this, [this] { ApplyPending(); });
    // Room for the whole 80 x 25 page in the usual 8 x 16 cells.
    resize(80 * 8 + 20, 25 * 16 + menuBar()->sizeHint().height() + 20);
}

QtWindow::~QtWindow() {
    if (GetRecord() != nullptr && !destroyed_) {
        destroyed_ = true;
        Send(WM_DESTROY);
    }
    // The view outlives this part of the window while Qt takes the widgets down.
    view_->Detach();
}

bool QtWindow::Create() {
    // The view needs its final geometry before the procedure measures the client area.
    ensurePolished();
    if (QLayout* l = layout()) {
        l->activate();
    }
    if (Send(WM_CREATE) == -1) {
        return false;
    }
    // The first size: the whole page in the terminal font, when the screen has room for it.
    if (const TTYInfo* tty = GetRecord()) {
        QSize want(80 * tty->cxChar.load(),
                   25 * tty->cyChar.load() + menuBar()->sizeHint().height());
        if (const QScreen* screen = this->screen()) {
            want = want.boundedTo(screen->availableSize());
        }
        // Ranges measured on the unlaid-out view would keep both bars up at the new size.
        SetScrollRange(platform::ScrollBar::Horz, 0, 0, false);
        SetScrollRange(platform::ScrollBar::Vert, 0, 0, false);
        resize(want);
    }
    return true;
}

std::intptr_t QtWindow::Send(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam) {
    return proc_(this, msg, wParam, lParam);
}

void QtWindow::SendCommand(unsigned id) {
    if (commandHook && commandHook(id)) {
        return;
    }
    Send(WM_COMMAND, id);
}

QAction* QtWindow::MenuAction(unsigned id) const {
    const auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}

void QtWindow::BuildMenu() {
    QMenuBar* bar = menuBar();
    for (const MenuItem& top : MenuBar()) {
        const QString text = QString::fromLatin1(top.text);
        if (top.children.empty()) {
            QAction* a = bar->addAction(text);
            actions_[top.id] = a;
            const unsigned id = top.id;
            connect(a, &QAction::triggered, this, [this, id] { SendCommand(id); });
            continue;
        }
        QMenu* menu = bar->addMenu(text);
        for (const MenuItem& item : top.children) {
            if (item.text == nullptr) {
                menu->addSeparator();
                continue;
            }
            // The text after the tab is shown right-aligned as the key; the keys themselves are
            // handled by the window's own shortcuts.
            QAction* a = menu->addAction(QString::fromLatin1(item.text));
            actions_[item.id] = a;
            const unsigned id = item.id;
            connect(a, &QAction::triggered, this, [this, id] { SendCommand(id); });
        }
    }
}

void QtWindow::BuildKeys() {
    static const std::map<unsigned, Qt::Key> kKeys = {
        {VK_F1, Qt::Key_F1}, {VK_F2, Qt::Key_F2},   {VK_F3, Qt::Key_F3},
        {VK_F4, Qt::Key_F4}, {VK_F10, Qt::Key_F10},
    };
    for (const Accelerator& acc : AcceleratorTable()) {
        // Window shortcuts act only while this window is the active one, so not while a modal
        // dialog or message box runs its own loop; a held modifier makes another key sequence.
        auto* sc = new QShortcut(QKeySequence(kKeys.at(acc.vk)), this);
        sc->setContext(Qt::WindowShortcut);
        sc->setAutoRepeat(false);
        const unsigned id = acc.command;
        connect(sc, &QShortcut::activated, this, [this, id] { SendCommand(id); });
    }
}

// Every thread has its own tag, whose address tells the threads apart without a call: the
// receive thread asks for every cell it invalidates.
namespace {
thread_local char tThreadTag = 0;
} // namespace

const void* QtWindow::ThreadTag() {
    return &tThreadTag;
}

bool QtWindow::OnGuiThread() const {
    return &tThreadTag == guiThread_;
}

void QtWindow::PostFlush() {
    // Most calls find a flush already on its way or held back; only the first one pays for the
    // exchange.
    if (!flushPosted_.load() && !flushPosted_.exchange(true)) {
        QMetaObject::invokeMethod(
            this, [this] { Flush(); }, Qt::QueuedConnection);
    }
}

void QtWindow::Flush() {
    // A flood asks for far more repaints than a screen shows: within a frame of the last one,
    // the flush waits for the frame's end, and what comes meanwhile joins it.
    const auto since = std::chrono::steady_clock::now() - lastFlush_;
    if (since < kFrame) {
        if (!flushTimer_.isActive()) {
            flushTimer_.start(std::chrono::ceil<std::chrono::milliseconds>(kFrame - since));
        }
        return;
    }
    ApplyPending();
}

void QtWindow::ApplyPending() {
    flushTimer_.stop();
    lastFlush_ = std::chrono::steady_clock::now();
    // Cleared before the take: a request that comes after it posts a flush of its own.
    flushPosted_.store(false);
    const std::uint64_t box = pendingBox_.exchange(0);
    const std::uint64_t caret = pendingCaret_.exchange(0);
    if (box == kAllBox) {
        view_->viewport()->update();
    } else if (const Box b = UnpackBox(box); !b.Empty()) {
        view_->viewport()->update(QRect(b.left, b.top, b.right - b.left, b.bottom - b.top));
    }
    if ((caret & kCaretSet) != 0) {
        MoveCaretTo(UnpackCaret(caret));
    }
}

void QtWindow::PaintView(QPaintEvent* e) {
    paintCount.fetch_add(1, std::memory_order_relaxed);
    painting_ = e;
    Send(WM_PAINT);
    painting_ = nullptr;
    if (CaretVisible() && caretBlinkOn_ && e->rect().intersects(caret_)) {
        QPainter p(view_->viewport());
        p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        p.fillRect(caret_, Qt::white);
    }
}

void QtWindow::closeEvent(QCloseEvent* e) {
    e->ignore();
    if (!destroyed_) {
        Send(WM_CLOSE);
    }
}

// --- platform::Window -----------------------------------------------------------------------

void QtWindow::InvalidateRect(const platform::Rect* rect, bool /*erase*/) {
    if (OnGuiThread()) {
        if (rect == nullptr) {
            view_->viewport()->update();
        } else {
            view_->viewport()->update(ToQRect(*rect));
        }
        return;
    }
    if (rect == nullptr) {
        pendingBox_.store(kAllBox);
        PostFlush();
        return;
    }
    // One bounding box, grown only when the cell lies outside it. A cell found inside is painted
    // by the flush that takes the box: the interpreter stores and invalidates its cells while it
    // holds the record's screen lock, and painting, which comes after the flush, copies the rows
    // under that lock.
    std::uint64_t cur = pendingBox_.load();
    if (cur != kAllBox) {
        const Box add = ClampBox(*rect);
        if (add.Empty()) {
            return; // wholly outside the view
        }
        do {
            const Box have = UnpackBox(cur);
            const Box grown =
                have.Empty()
                    ? add
                    : Box{std::min(have.left, add.left), std::min(have.top, add.top),
                          std::max(have.right, add.right), std::max(have.bottom, add.bottom)};
            if (grown == have || pendingBox_.compare_exchange_weak(cur, PackBox(grown))) {
                break;
            }
        } while (cur != kAllBox);
    }
    PostFlush();
}

void QtWindow::UpdateWindow() {
    if (OnGuiThread()) {
        ApplyPending();
        view_->viewport()->repaint();
    } else {
        PostFlush();
    }
}

void QtWindow::RequestRepaint() {
    if (!OnGuiThread()) {
        PostFlush();
    }
}

void QtWindow::CreateCaret(std::int32_t width, std::int32_t height) {
    if (caretExists_) {
        view_->viewport()->update(caret_);
    }
    caretExists_ = true;
    caretShown_ = false;
    caret_ = QRect(caret_.topLeft(), QSize(std::max(1, width), std::max(1, height)));
}

void QtWindow::ShowCaret() {
    if (caretExists_ && !caretShown_) {
        caretShown_ = true;
        caretBlinkOn_ = true;
        caretBlink_.start();
        view_->viewport()->update(caret_);
    }
}

void QtWindow::HideCaret() {
    if (caretExists_ && caretShown_) {
        caretShown_ = false;
        caretBlink_.stop();
        view_->viewport()->update(caret_);
    }
}

void QtWindow::DestroyCaret() {
    HideCaret();
    caretExists_ = false;
}

QRect QtWindow::CaretRect() const {
    return caret_;
}

void QtWindow::MoveCaretTo(QPoint pos) {
    if (caret_.topLeft() == pos) {
        return;
    }
    if (CaretVisible()) {
        view_->viewport()->update(caret_);
    }
    caret_.moveTopLeft(pos);
    if (CaretVisible()) {
        // A caret that moves is shown at once, then blinks again.
        caretBlinkOn_ = true;
        caretBlink_.start();
        view_->viewport()->update(caret_);
    }
}

void QtWindow::SetCaretPos(std::int32_t x, std::int32_t y) {
    if (OnGuiThread()) {
        // A paint ends by placing the caret. While text floods in, a caret moved at once would
        // ask for a paint after every paint: within a frame of the last flush it waits for the
        // next one.
        const bool flooding =
            painting_ != nullptr && std::chrono::steady_clock::now() - lastFlush_ < kFrame;
        if (!flooding) {
            MoveCaretTo(QPoint(x, y));
            return;
        }
        if (caret_.topLeft() == QPoint(x, y) && (pendingCaret_.load() & kCaretSet) == 0) {
            return;
        }
    }
    pendingCaret_.store(PackCaret(x, y));
    PostFlush();
}

void QtWindow::SetScrollRange(platform::ScrollBar bar, std::int32_t min, std::int32_t max,
                              bool /*redraw*/) {
    const bool vert = bar == platform::ScrollBar::Vert;
    QScrollBar* sb = vert ? view_->verticalScrollBar() : view_->horizontalScrollBar();
    // The bar's arrows step by one cell and its track by one client extent, as the procedure
    // scrolls; the page step also sizes the thumb.
    if (const TTYInfo* tty = GetRecord()) {
        sb->setSingleStep(std::max(1, (vert ? tty->cyChar : tty->cxChar).load()));
        sb->setPageStep(std::max(1, vert ? tty->cyClient : tty->cxClient));
    }
    // Not blocked: the scroll area shows or hides the bar when it hears of the new range.
    sb->setRange(min, std::max(min, max));
}

void QtWindow::SetScrollPos(platform::ScrollBar bar, std::int32_t pos, bool /*redraw*/) {
    QScrollBar* sb = bar == platform::ScrollBar::Vert ? view_->verticalScrollBar()
                                                      : view_->horizontalScrollBar();
    const QSignalBlocker block(sb);
    sb->setValue(pos);
    sb->setSliderPosition(pos);
}

void QtWindow::ScrollWindow(std::int32_t dx, std::int32_t dy) {
    if (dx == 0 && dy == 0) {
        return;
    }
    // The caret is drawn into the pixels: redraw where it was taken to and where it stands.
    view_->viewport()->scroll(dx, dy);
    if (CaretVisible()) {
        view_->viewport()->update(caret_);
        view_->viewport()->update(caret_.translated(dx, dy));
    }
}

platform::Size QtWindow::GetClientSize() const {
    const QSize s = view_->viewport()->size();
    return platform::Size{s.width(), s.height()};
}

std::unique_ptr<platform::Font> QtWindow::CreateFontIndirect(const platform::LogFont& lf) {
    return std::make_unique<QtFont>(lf);
}

platform::TextMetrics QtWindow::GetTextMetrics(const platform::Font& font) {
    if (const auto* qf = dynamic_cast<const QtFont*>(&font)) {
        return MetricsOf(qf->qfont());
    }
    return MetricsOf(MakeQFont(font.Description()));
}

std::unique_ptr<platform::PaintDC> QtWindow::BeginPaint() {
    if (painting_ == nullptr) {
        return nullptr;
    }
    return std::make_unique<QtPaintDC>(view_->viewport(), painting_->rect(), glyphs_);
}

void QtWindow::EnableMenuItem(unsigned id, unsigned flags) {
    if (QAction* a = MenuAction(id)) {
        a->setEnabled((flags & (platform::MF_GRAYED | platform::MF_DISABLED)) == 0);
    }
}

platform::CursorShape QtWindow::SetCursor(platform::CursorShape shape) {
    const platform::CursorShape old = cursor_;
    if (shape != old) {
        if (shape == platform::CursorShape::Wait) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
        } else {
            QApplication::restoreOverrideCursor();
        }
        cursor_ = shape;
    }
    return old;
}

namespace {

int RunMessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                  unsigned style) {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (style & platform::MB_ICONMASK) {
    case platform::MB_ICONQUESTION:
        icon = QMessageBox::Question;
        break;
    case platform::MB_ICONEXCLAMATION:
        icon = QMessageBox::Warning;
        break;
    case platform::MB_ICONASTERISK:
        icon = QMessageBox::Information;
        break;
    case platform::MB_ICONHAND:
        icon = QMessageBox::Critical;
        break;
    default:
        break;
    }
    const bool okCancel = (style & platform::MB_TYPEMASK) == platform::MB_OKCANCEL;
    QMessageBox box(icon, QString::fromStdString(caption), QString::fromStdString(text),
                    okCancel ? (QMessageBox::Ok | QMessageBox::Cancel) : QMessageBox::Ok, owner);
    box.setDefaultButton(QMessageBox::Ok);
    if (okCancel) {
        box.setEscapeButton(QMessageBox::Cancel);
    }
    return box.exec() == QMessageBox::Ok ? platform::IDOK : platform::IDCANCEL;
}

} // namespace

int QtWindow::MessageBox(const std::string& text, const std::string& caption, unsigned style) {
    return RunMessageBox(isVisible() ? this : nullptr, text, caption, style);
}

void QtWindow::PostMessageBox(const std::string& text, const std::string& caption, unsigned style) {
    QMetaObject::invokeMethod(
        this,
        [this, text, caption, style] {
            auto show = [text, caption, style] { RunMessageBox(nullptr, text, caption, style); };
            if (echoWaiting_) {
                deferredBoxes_.push_back(show);
            } else {
                show();
            }
        },
        Qt::QueuedConnection);
}

void QtWindow::PostConnectionLost() {
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (echoWaiting_) {
                deferredLost_ = true; // told once the upload has written its own report
            } else if (!destroyed_) {
                Send(WM_CONNECTIONLOST);
            }
        },
        Qt::QueuedConnection);
}

void QtWindow::PostClose() {
    QMetaObject::invokeMethod(
        this, [this] { close(); }, Qt::QueuedConnection);
}

void QtWindow::DestroyWindow() {
    if (destroyed_) {
        return;
    }
    destroyed_ = true;
    Send(WM_DESTROY);
    hide();
}

void QtWindow::PostQuitMessage(int code) {
    QCoreApplication::exit(code);
}

int QtWindow::DialogBoxParam(int templateId, platform::DlgProc proc, std::intptr_t param) {
    const DialogTemplate* layout = FindDialogTemplate(templateId);
    if (layout == nullptr) {
        return -1;
    }
    DialogHost dialog(*layout, proc, param, this, this);
    return dialog.Run();
}

bool QtWindow::ChooseFont(platform::LogFont& lf, std::uint32_t& color) {
    return RunFontChooser(this, lf, color);
}

bool QtWindow::GetOpenFileName(std::string& path, std::string& title,
                               std::span<const platform::FileFilter> filters,
                               const std::string& defaultExt) {
    QFileDialog dialog(this, QStringLiteral("Select Source"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    // Each filter shows its own text; the pattern in the last parentheses is the one applied
    // ("*.*" as "*", so that names without a dot are listed too).
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    QStringList names;
    for (const platform::FileFilter& f : filters) {
        const QString pattern = std::string_view(f.pattern) == "*.*" ? QStringLiteral("*")
                                                                     : QString::fromUtf8(f.pattern);
        names << QStringLiteral("%1 (%2)").arg(QString::fromUtf8(f.name), pattern);
    }
    if (!names.isEmpty()) {
        dialog.setNameFilters(names);
    }
    dialog.setDefaultSuffix(QString::fromStdString(defaultExt));
    if (!path.empty()) {
        const QFileInfo last(QString::fromStdString(path));
        dialog.setDirectory(last.absolutePath());
        dialog.selectFile(last.fileName());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return false;
    }
    const QString chosen = dialog.selectedFiles().first();
    path = chosen.toStdString();
    title = QFileInfo(chosen).fileName().toStdString();
    return true;
}

} // namespace pelko::qt
