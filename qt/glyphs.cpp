#include "qt/glyphs.h"

#include <QFontMetrics>
#include <QPainter>

#include "qt/cp437.h"

namespace pelko::qt {

void GlyphCache::Rebuild(const QFont& font, QColor color, QColor background, int cx, int cy) {
    font_ = font;
    color_ = color;
    background_ = background;
    cx_ = cx;
    cy_ = cy;
    atlas_ = QPixmap(16 * cx, 16 * cy);
    atlas_.fill(background);
    QPainter p(&atlas_);
    p.setFont(font);
    p.setPen(color);
    const QFontMetrics fm(font);
    const int baseline = fm.ascent();
    for (int b = 0; b < 256; ++b) {
        const QRect cell((b % 16) * cx, (b / 16) * cy, cx, cy);
        p.setClipRect(cell);
        const char32_t cp = platform::Cp437ToUnicode(static_cast<std::uint8_t>(b));
        p.drawText(cell.left(), cell.top() + baseline, QString::fromUcs4(&cp, 1));
    }
}

void GlyphCache::DrawRow(QPainter& painter, int x, int y, const QRect& box,
                         const std::uint8_t* chars, int count, const QFont& font, QColor color,
                         QColor background) {
    painter.fillRect(box, background);
    if (count <= 0 || box.width() <= 0 || box.height() <= 0) {
        return;
    }
    const int cx = std::max(1, box.width() / count);
    const int cy = box.height();
    if (cx != cx_ || cy != cy_ || color != color_ || background != background_ || font != font_) {
        Rebuild(font, color, background, cx, cy);
    }
    painter.save();
    painter.setClipRect(box);
    for (int i = 0; i < count; ++i) {
        const int b = chars[i];
        painter.drawPixmap(QPoint(x + i * cx, y), atlas_,
                           QRect((b % 16) * cx, (b / 16) * cy, cx, cy));
    }
    painter.restore();
}

} // namespace pelko::qt
