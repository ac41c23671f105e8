#pragma once
// The settings file PELKO.SET and the source column limit that follows from it.
//   LoadDefaults(record)  no result. Reads PELKO.SET from the current directory into the record;
//                         when there is no such regular file the record keeps what it holds.
//                         The command line's choices for this run (gRunOverrides) go on top.
//                         Always sets gwMaxColumn from the record's Max.40 option afterwards.
//   SaveDefaults(hwnd)    1 once the window's record is in PELKO.SET; 0 when the window holds no
//                         record or the file could not be replaced (the old file then stays as
//                         it was, and nothing is shown). The new file replaces the old one
//                         whole; in a folder that takes no new files, a writable PELKO.SET is
//                         rewritten in place. A symbolic link is saved through, except one in a
//                         sticky world-writable folder (/tmp) that belongs neither to the saver
//                         nor to the folder's owner.
//
// The file, one byte per field, no header:
//   0 port number   1 baud rate / 2400 (signed on reading)   2 New Line   3 Autowrap   4 Max.40
//   5 Local Echo    6 HEXprint   7 font height (signed)   8.. face name and its zero byte
// The reader takes at most kPrefBufSize bytes and at most 31 characters of face name; anything
// beyond either is ignored. Positions the file does not reach read as zero.
#include <cstddef>
#include <cstdint>

#include "platform/window.h"

namespace pelko {
struct TTYInfo;

inline constexpr const char* gszDefaultName = "PELKO.SET";
inline constexpr std::size_t kPrefBufSize = 64;
// Offset of the face name in the file.
inline constexpr std::size_t kPrefFaceOffset = 8;

// Staging buffer of the last read or write of the settings file. Window thread only.
extern std::uint8_t gszPrefBuf[kPrefBufSize];
// Bytes moved by the last single read or write of a file (the source reader uses it as well).
extern std::uint32_t gdwLength;
// Widest source line the upload sends: 40 while Max.40 is on, else 80. Window thread only.
extern std::uint16_t gwMaxColumn;

// What the command line chooses for this run on top of PELKO.SET; zero/false leaves the file's
// value. Set once before the window (or the headless upload) is made.
struct RunOverrides {
    std::uint8_t port = 0; // 1..4 COMn, 5 the Telnet port
    std::uint32_t baud = 0;
    bool max40 = false;
    bool noReconnect = false; // a lost port is not waited for: a box asks to connect again
};
extern RunOverrides gRunOverrides;

// The column limit for a Max.40 option value.
inline std::uint16_t MaxColumnFor(std::int32_t fMax40) {
    return fMax40 != 0 ? 40 : 80;
}

void LoadDefaults(TTYInfo* record);
int SaveDefaults(platform::Window* hwnd);

} // namespace pelko
