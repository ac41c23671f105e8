#include "qt/qt_font.h"

#include <QFontMetrics>
#include <cstdlib>

namespace pelko::qt {

namespace {
constexpr int kDefaultPixelSize = 14;
} // namespace

QFont MakeQFont(const platform::LogFont& lf) {
    QFont font;
    const QString face = QString::fromLatin1(
        lf.lfFaceName, static_cast<int>(qstrnlen(lf.lfFaceName, sizeof lf.lfFaceName)));
    if (!face.isEmpty()) {
        font.setFamily(face);
    } else {
        font.setFamily(QStringLiteral("monospace"));
    }
    // Without these a missing face falls back to a proportional font.
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    const int height = lf.lfHeight == 0 ? kDefaultPixelSize : std::abs(lf.lfHeight);
    font.setPixelSize(std::clamp(height, 1, 512));
    if (lf.lfWeight >= 600) {
        font.setWeight(QFont::Bold);
    }
    font.setItalic(lf.lfItalic != 0);
    font.setUnderline(lf.lfUnderline != 0);
    font.setStrikeOut(lf.lfStrikeOut != 0);
    font.setKerning(false);
    return font;
}

platform::TextMetrics MetricsOf(const QFont& font) {
    const QFontMetrics fm(font);
    return platform::TextMetrics{fm.height(), fm.averageCharWidth(),
                                 fm.leading() > 0 ? fm.leading() : 0};
}

} // namespace pelko::qt
