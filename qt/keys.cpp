#include "qt/keys.h"

#include <QList>
#include <span>
#include <string_view>

#include "qt/cp437.h"

namespace pelko::qt {

namespace {

struct KeyBytes {
    int key;
    std::string_view bytes;
};

// Keys that type the same byte with any modifiers.
constexpr KeyBytes kEditKeys[] = {
    {Qt::Key_Return, "\r"},   {Qt::Key_Enter, "\r"}, {Qt::Key_Backspace, "\b"},
    {Qt::Key_Escape, "\x1b"}, {Qt::Key_Tab, "\t"},   {Qt::Key_Backtab, "\t"},
};

// Ctrl with a punctuation key, as with a letter: its control code.
constexpr KeyBytes kCtrlKeys[] = {
    {Qt::Key_BracketLeft, "\x1b"},
    {Qt::Key_Backslash, "\x1c"},
    {Qt::Key_BracketRight, "\x1d"},
    {Qt::Key_At, std::string_view("\0", 1)},
};

const KeyBytes* Find(std::span<const KeyBytes> table, int key) {
    for (const KeyBytes& k : table) {
        if (k.key == key) {
            return &k;
        }
    }
    return nullptr;
}

} // namespace

std::string TranslateKey(int key, Qt::KeyboardModifiers modifiers, const QString& text) {
    if (const KeyBytes* k = Find(kEditKeys, key)) {
        return std::string(k->bytes);
    }
    const bool ctrl = modifiers.testFlag(Qt::ControlModifier);
    const bool alt = modifiers.testFlag(Qt::AltModifier);
    if (ctrl && !alt) {
        if (key >= Qt::Key_A && key <= Qt::Key_Z) {
            return std::string(1, static_cast<char>(key - Qt::Key_A + 1));
        }
        if (const KeyBytes* k = Find(kCtrlKeys, key)) {
            return std::string(k->bytes);
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
