#pragma once
// Typed keys as the bytes the terminal sends, the way a Windows keyboard produces characters:
// Enter gives CR, Backspace 0x08, Esc 0x1B, Tab 0x09, Ctrl+letter its control code, other text
// its byte in the terminal's character set.
//   TranslateKey(key, modifiers, text)  the bytes, in order; empty for keys that type nothing
//                                       (function keys, arrows, text with no byte in the set)
#include <QString>
#include <Qt>
#include <string>

namespace pelko::qt {

std::string TranslateKey(int key, Qt::KeyboardModifiers modifiers, const QString& text);

} // namespace pelko::qt
