#pragma once
// Fonts on Qt: a logical font description turned into a monospace QFont, and its metrics.
//   MakeQFont(lf)        never fails: an unknown face falls back to a fixed-pitch font
//   MetricsOf(font)      the cell metrics the terminal uses (average width, height, leading)
#include <QFont>

#include "platform/font.h"

namespace pelko::qt {

QFont MakeQFont(const platform::LogFont& lf);
platform::TextMetrics MetricsOf(const QFont& font);

class QtFont : public platform::Font {
public:
    explicit QtFont(const platform::LogFont& lf) : lf_(lf), font_(MakeQFont(lf)) {}
    const platform::LogFont& Description() const override { return lf_; }
    const QFont& qfont() const { return font_; }

private:
    platform::LogFont lf_;
    QFont font_;
};

} // namespace pelko::qt
