#include "qt/qt_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLayout>
#include <QMenuBar>
#include <QPaintEvent>
#include <QScreen>
#include <QScrollBar>
#include <algorithm>

#include "qt/dialog_host.h"
#include "qt/file_dialog.h"
#include "qt/font_chooser.h"
#include "qt/paint_dc.h"
#include "qt/qt_font.h"
#include "resources/globals.h"
#include "resources/messages.h"

// The icon lives in a static library, whose resources are not registered on their own.
static void InitPelkoResources() {
    Q_INIT_RESOURCE(pelko);
}

namespace pelko::qt {

QtWindow::QtWindow(WndProc proc)
    : proc_(proc), view_(new TerminalView(this)), caret_(view_->viewport()),
      repaints_(view_->viewport(), [this](QPoint pos) { caret_.MoveTo(pos); }) {
    InitPelkoResources();
    setWindowTitle(QString::fromLatin1(gszAppName));
    setWindowIcon(QIcon(QStringLiteral(":/pelko/pelko.png")));
    setCentralWidget(view_);
    BuildMenu();
    BuildKeys();
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
    if (cell_.cx > 0 && cell_.cy > 0) {
        QSize want(80 * cell_.cx, 25 * cell_.cy + menuBar()->sizeHint().height());
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

void QtWindow::PaintView(QPaintEvent* e) {
    painting_ = e;
    Send(WM_PAINT);
    painting_ = nullptr;
    PaintHistoryMarker(e->rect());
    caret_.Paint(e->rect());
}

void QtWindow::closeEvent(QCloseEvent* e) {
    e->ignore();
    if (!destroyed_) {
        Send(WM_CLOSE);
    }
}

// --- platform::Window -----------------------------------------------------------------------

void QtWindow::InvalidateRect(const platform::Rect* rect, bool /*erase*/) {
    if (repaints_.OnGuiThread()) {
        if (rect == nullptr) {
            view_->viewport()->update();
        } else {
            view_->viewport()->update(ToQRect(*rect));
        }
    } else if (rect == nullptr) {
        repaints_.AddAll();
    } else {
        repaints_.AddBox(*rect);
    }
}

void QtWindow::UpdateWindow() {
    if (repaints_.OnGuiThread()) {
        repaints_.ApplyNow();
        view_->viewport()->repaint();
    } else {
        repaints_.Post();
    }
}

void QtWindow::RequestRepaint() {
    if (!repaints_.OnGuiThread()) {
        repaints_.Post();
    }
}

void QtWindow::CreateCaret(std::int32_t width, std::int32_t height) {
    caret_.Create(width, height);
}

void QtWindow::ShowCaret() {
    caret_.Show();
}

void QtWindow::HideCaret() {
    caret_.Hide();
}

void QtWindow::DestroyCaret() {
    caret_.Destroy();
}

void QtWindow::SetCaretPos(std::int32_t x, std::int32_t y) {
    if (repaints_.OnGuiThread()) {
        // A paint ends by placing the caret. While text floods in, a caret moved at once would
        // ask for a paint after every paint: within a frame of the last flush it waits for the
        // next one.
        if (painting_ == nullptr || !repaints_.WithinFrame()) {
            caret_.MoveTo(QPoint(x, y));
            return;
        }
        if (caret_.Rect().topLeft() == QPoint(x, y) && !repaints_.CaretPending()) {
            return;
        }
    }
    repaints_.SetCaret(x, y);
}

void QtWindow::SetScrollRange(platform::ScrollBar bar, std::int32_t min, std::int32_t max,
                              bool /*redraw*/) {
    const bool vert = bar == platform::ScrollBar::Vert;
    QScrollBar* sb = vert ? view_->verticalScrollBar() : view_->horizontalScrollBar();
    // The bar's arrows step by one cell and its track by one client extent, as the procedure
    // scrolls; the page step also sizes the thumb.
    if (cell_.cx > 0 && cell_.cy > 0) {
        const QSize client = view_->viewport()->size();
        sb->setSingleStep(vert ? cell_.cy : cell_.cx);
        sb->setPageStep(std::max(1, vert ? client.height() : client.width()));
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
    view_->viewport()->scroll(dx, dy);
    view_->viewport()->update(HistoryMarkerRect()); // the marker stays where it is
    caret_.Scrolled(dx, dy);
}

platform::Size QtWindow::GetClientSize() const {
    const QSize s = view_->viewport()->size();
    return platform::Size{s.width(), s.height()};
}

void QtWindow::SetCellSize(std::int32_t cx, std::int32_t cy) {
    cell_ = platform::Size{std::max(1, cx), std::max(1, cy)};
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
    return RunOpenFileDialog(this, path, title, filters, defaultExt);
}

} // namespace pelko::qt
