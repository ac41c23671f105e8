#include "qt/keys.h"

#include <QList>

#include "qt/cp437.h"

namespace pelko::qt {

std::string TranslateKey(int key, Qt::KeyboardModifiers modifiers, const QString& text) {
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return "\r";
    case Qt::Key_Backspace:
        return "\b";
    case Qt::Key_Escape:
        return "\x1b";
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return "\t";
    default:
        break;
    }
    const bool ctrl = modifiers.testFlag(Qt::ControlModifier);
    const bool alt = modifiers.testFlag(Qt::AltModifier);
    if (ctrl && !alt) {
        if (key >= Qt::Key_A && key <= Qt::Key_Z) {
            return std::string(1, static_cast<char>(key - Qt::Key_A + 1));
        }
        switch (key) {
        case Qt::Key_BracketLeft:
            return "\x1b";
        case Qt::Key_Backslash:
            return "\x1c";
        case Qt::Key_BracketRight:
            return "\x1d";
        case Qt::Key_At:
            return std::string(1, '\0');
        default:
            break;
        }
    }
    std::string out;
    for (const uint cp32 : text.toUcs4()) {
        const auto cp = static_cast<char32_t>(cp32);
        // Delete and other control text that Qt attaches to editing keys is not typed.
        if (cp == 0x7F || (cp < 0x20 && !ctrl)) {
            continue;
        }
        const int b = platform::UnicodeToCp437(cp);
        if (b >= 0) {
            out.push_back(static_cast<char>(b));
        }
    }
    return out;
}

} // namespace pelko::qt
