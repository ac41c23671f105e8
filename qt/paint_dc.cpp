#include "qt/paint_dc.h"

#include <QWidget>

#include "qt/qt_font.h"

namespace pelko::qt {

namespace {

QColor FromColorRef(std::uint32_t c) {
    return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                  static_cast<int>((c >> 16) & 0xFF));
}

std::uint32_t ToColorRef(const QColor& c) {
    return static_cast<std::uint32_t>(c.red()) | (static_cast<std::uint32_t>(c.green()) << 8) |
           (static_cast<std::uint32_t>(c.blue()) << 16);
}

} // namespace

QRect ToQRect(const platform::Rect& r) {
    return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1));
}

QtPaintDC::QtPaintDC(QWidget* target, const QRect& rect, GlyphCache& glyphs)
    : painter_(target), rect_(rect), glyphs_(glyphs),
      window_(ToColorRef(target->palette().color(QPalette::Base))) {}

platform::Rect QtPaintDC::PaintRect() const {
    return platform::Rect{rect_.left(), rect_.top(), rect_.right() + 1, rect_.bottom() + 1};
}

void QtPaintDC::ExtTextOut(std::int32_t x, std::int32_t y, const platform::Rect& box,
                           const std::uint8_t* chars, std::int32_t count,
                           const platform::Font* font, std::uint32_t color,
                           std::uint32_t background) {
    static const QFont fallback = MakeQFont(platform::LogFont{});
    const auto* qf = dynamic_cast<const QtFont*>(font);
    glyphs_.DrawRow(painter_, x, y, ToQRect(box), chars, count,
                    qf != nullptr ? qf->qfont() : fallback, FromColorRef(color),
                    FromColorRef(background));
}

} // namespace pelko::qt
