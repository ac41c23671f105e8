// The main window's clipboard (the clipboard and the X PRIMARY selection, in the terminal's
// character set) and the marker that says the view is back in the history.
#include <QClipboard>
#include <QGuiApplication>
#include <QPainter>

#include "app/status.h"
#include "qt/cp437.h"
#include "qt/qt_window.h"

namespace pelko::qt {

namespace {

QClipboard::Mode ModeOf(platform::Clipboard which) {
    return which == platform::Clipboard::Primary ? QClipboard::Selection : QClipboard::Clipboard;
}

} // namespace

void QtWindow::SetClipboardText(platform::Clipboard which, const std::string& text) {
    QClipboard* clip = QGuiApplication::clipboard();
    const QClipboard::Mode mode = ModeOf(which);
    if (mode == QClipboard::Selection && !clip->supportsSelection()) {
        return;
    }
    QString out;
    out.reserve(static_cast<qsizetype>(text.size()));
    for (const char c : text) {
        // Line ends stay line ends; every other byte is the character drawn for it.
        const auto b = static_cast<std::uint8_t>(c);
        const char32_t cp = b == '\n' ? U'\n' : platform::Cp437ToUnicode(b);
        out.append(QString::fromUcs4(&cp, 1));
    }
    clip->setText(out, mode);
}

std::string QtWindow::GetClipboardText(platform::Clipboard which) {
    const QString text = QGuiApplication::clipboard()->text(ModeOf(which));
    std::string out;
    for (const uint cp : text.toUcs4()) {
        const int b = platform::UnicodeToCp437(static_cast<char32_t>(cp));
        if (b >= 0) {
            out.push_back(static_cast<char>(b));
        }
    }
    return out;
}

QRect QtWindow::HistoryMarkerRect() const {
    const QFontMetrics fm(view_->font());
    const QRect vp = view_->viewport()->rect();
    const int w = std::min(vp.width(),
                           fm.horizontalAdvance(QStringLiteral("Scrollback: 00000 rows up")) + 12);
    return QRect(vp.right() + 1 - w, 0, w, fm.height() + 4);
}

void QtWindow::PaintHistoryMarker(const QRect& dirty) {
    const int back = ScrollbackRowsUp(this);
    const QRect box = HistoryMarkerRect();
    if (back <= 0 || !dirty.intersects(box)) {
        return;
    }
    QPainter p(view_->viewport());
    p.setClipRect(dirty);
    p.fillRect(box, QColor(0xff, 0xe0, 0x80));
    p.setPen(Qt::black);
    p.drawText(box, Qt::AlignCenter, QStringLiteral("Scrollback: %1 rows up").arg(back));
}

} // namespace pelko::qt
