#pragma once
// The logical font description kept in the terminal record, a made font, and its metrics.
//   Font        a font made by a window (Window::CreateFontIndirect); nothing here can fail
//   LogFont     plain data; the face name always holds a zero byte within its 32 bytes
//   SetFaceName copies at most 31 characters and always terminates; returns the count copied
#include <cstdint>
#include <cstring>

namespace pelko::platform {

inline constexpr int LF_FACESIZE = 32;

struct LogFont {
    std::int32_t lfHeight = 0;
    std::int32_t lfWidth = 0;
    std::int32_t lfEscapement = 0;
    std::int32_t lfOrientation = 0;
    std::int32_t lfWeight = 0;
    std::uint8_t lfItalic = 0;
    std::uint8_t lfUnderline = 0;
    std::uint8_t lfStrikeOut = 0;
    std::uint8_t lfCharSet = 0;
    std::uint8_t lfOutPrecision = 0;
    std::uint8_t lfClipPrecision = 0;
    std::uint8_t lfQuality = 0;
    std::uint8_t lfPitchAndFamily = 0;
    char lfFaceName[LF_FACESIZE] = {};
};

inline std::size_t SetFaceName(LogFont& lf, const char* name) {
    std::size_t n = 0;
    while (name != nullptr && n < LF_FACESIZE - 1 && name[n] != '\0') {
        lf.lfFaceName[n] = name[n];
        ++n;
    }
    std::memset(lf.lfFaceName + n, 0, LF_FACESIZE - n);
    return n;
}

struct TextMetrics {
    std::int32_t tmHeight = 0;
    std::int32_t tmAveCharWidth = 0;
    std::int32_t tmExternalLeading = 0;
};

class Font {
public:
    virtual ~Font() = default;
    virtual const LogFont& Description() const = 0;
};

} // namespace pelko::platform
