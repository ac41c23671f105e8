#pragma once
// One paint pass of the terminal view: the core's paint context on a QPainter, drawing rows of
// cells through the glyph cache. Nothing here can fail.
//   ToQRect(rect)                     a core rectangle (right and bottom exclusive) as a QRect
//   QtPaintDC(target, rect, glyphs)   paints on `target` within `rect`, the paint event's box
//   PaintRect / ExtTextOut / WindowColor behave as platform::PaintDC describes
#include <QPainter>
#include <QRect>

#include "platform/window.h"
#include "qt/glyphs.h"

namespace pelko::qt {

QRect ToQRect(const platform::Rect& r);

class QtPaintDC : public platform::PaintDC {
public:
    QtPaintDC(QWidget* target, const QRect& rect, GlyphCache& glyphs);
    platform::Rect PaintRect() const override;
    void ExtTextOut(std::int32_t x, std::int32_t y, const platform::Rect& box,
                    const std::uint8_t* chars, std::int32_t count, const platform::Font* font,
                    std::uint32_t color, std::uint32_t background) override;
    std::uint32_t WindowColor() const override { return window_; }

private:
    QPainter painter_;
    QRect rect_;
    GlyphCache& glyphs_;
    std::uint32_t window_;
};

} // namespace pelko::qt
