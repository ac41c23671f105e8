#include "platform/qt/font_chooser.h"

#include <QFontDialog>

#include "platform/qt/qt_font.h"

namespace pelko::qt {

// A plain fixed-pitch font dialog; the text colour is kept as it is.
bool RunFontChooser(QWidget* parent, platform::LogFont& lf, std::uint32_t& /*color*/) {
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, MakeQFont(lf), parent, QString(),
                                              QFontDialog::MonospacedFonts);
    if (!ok) {
        return false;
    }
    platform::SetFaceName(lf, chosen.family().toLatin1().constData());
    lf.lfHeight = chosen.pixelSize() > 0 ? chosen.pixelSize() : chosen.pointSize() * 4 / 3;
    lf.lfUnderline = chosen.underline() ? 1 : 0;
    lf.lfStrikeOut = chosen.strikeOut() ? 1 : 0;
    return true;
}

} // namespace pelko::qt
