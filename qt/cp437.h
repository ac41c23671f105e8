#pragma once
// The terminal's 8-bit character set: every byte has a glyph, 0x01-0x1F and 0x7F included.
//   Cp437ToUnicode(byte)  the code point drawn for a byte; never fails (0x00 is a blank)
//   UnicodeToCp437(cp)    the byte for a code point, or -1 when the set has none (ASCII maps to
//                         itself, control characters included)
#include <cstdint>

namespace pelko::platform {

char32_t Cp437ToUnicode(std::uint8_t byte);
int UnicodeToCp437(char32_t cp);

} // namespace pelko::platform
