#include "qt/cp437.h"

namespace pelko::platform {

namespace {

// Bytes 0x00-0x1F, then 0x7F-0xFF. 0x20-0x7E are ASCII.
constexpr char32_t kLow[32] = {
    U' ',      U'\u263A', U'\u263B', U'\u2665', U'\u2666', U'\u2663', U'\u2660', U'\u2022',
    U'\u25D8', U'\u25CB', U'\u25D9', U'\u2642', U'\u2640', U'\u266A', U'\u266B', U'\u263C',
    U'\u25BA', U'\u25C4', U'\u2195', U'\u203C', U'\u00B6', U'\u00A7', U'\u25AC', U'\u21A8',
    U'\u2191', U'\u2193', U'\u2192', U'\u2190', U'\u221F', U'\u2194', U'\u25B2', U'\u25BC',
};

constexpr char32_t kHigh[130] = // 0x7F-0xFF and the terminating zero
    U"\u2302"
    U"\u00C7\u00FC\u00E9\u00E2\u00E4\u00E0\u00E5\u00E7\u00EA\u00EB\u00E8\u00EF\u00EE\u00EC\u00C4"
    U"\u00C5"
    U"\u00C9\u00E6\u00C6\u00F4\u00F6\u00F2\u00FB\u00F9\u00FF\u00D6\u00DC\u00A2\u00A3\u00A5\u20A7"
    U"\u0192"
    U"\u00E1\u00ED\u00F3\u00FA\u00F1\u00D1\u00AA\u00BA\u00BF\u2310\u00AC\u00BD\u00BC\u00A1\u00AB"
    U"\u00BB"
    U"\u2591\u2592\u2593\u2502\u2524\u2561\u2562\u2556\u2555\u2563\u2551\u2557\u255D\u255C\u255B"
    U"\u2510"
    U"\u2514\u2534\u252C\u251C\u2500\u253C\u255E\u255F\u255A\u2554\u2569\u2566\u2560\u2550\u256C"
    U"\u2567"
    U"\u2568\u2564\u2565\u2559\u2558\u2552\u2553\u256B\u256A\u2518\u250C\u2588\u2584\u258C\u2590"
    U"\u2580"
    U"\u03B1\u00DF\u0393\u03C0\u03A3\u03C3\u00B5\u03C4\u03A6\u0398\u03A9\u03B4\u221E\u03C6\u03B5"
    U"\u2229"
    U"\u2261\u00B1\u2265\u2264\u2320\u2321\u00F7\u2248\u00B0\u2219\u00B7\u221A\u207F\u00B2\u25A0"
    U"\u00A0";

} // namespace

char32_t Cp437ToUnicode(std::uint8_t byte) {
    if (byte < 0x20) {
        return kLow[byte];
    }
    if (byte < 0x7F) {
        return byte;
    }
    return kHigh[byte - 0x7F];
}

int UnicodeToCp437(char32_t cp) {
    if (cp < 0x80) {
        return static_cast<int>(cp);
    }
    for (int b = 0x80; b <= 0xFF; ++b) {
        if (kHigh[b - 0x7F] == cp) {
            return b;
        }
    }
    for (int b = 1; b < 0x20; ++b) {
        if (kLow[b] == cp) {
            return b;
        }
    }
    if (cp == kHigh[0]) {
        return 0x7F;
    }
    return -1;
}

} // namespace pelko::platform
