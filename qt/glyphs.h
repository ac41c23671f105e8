#pragma once
// Draws rows of terminal cells: every byte through the terminal's character set, each glyph
// clipped to its own cell, from a cache of pre-rendered glyphs.
//   GlyphCache::DrawRow(painter, x, y, box, chars, count, font, color, background)
//       fills `box` with the background, then draws each byte in a cell of box-width / count
//       pixels; cells past `box` are clipped away. Nothing can fail.
#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QRect>
#include <cstdint>

class QPainter;

namespace pelko::qt {

class GlyphCache {
public:
    void DrawRow(QPainter& painter, int x, int y, const QRect& box, const std::uint8_t* chars,
                 int count, const QFont& font, QColor color, QColor background);

private:
    void Rebuild(const QFont& font, QColor color, QColor background, int cx, int cy);

    QPixmap atlas_;
    QFont font_;
    QColor color_;
    QColor background_;
    int cx_ = 0;
    int cy_ = 0;
};

} // namespace pelko::qt
