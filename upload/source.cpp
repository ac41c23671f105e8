#include "upload/source.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "settings/settings.h"

namespace pelko {

std::string gszSourcePath;
std::uint8_t gsTXBuf[kTXBufSize] = {};
std::uint16_t gwTXCol = 0;
int gfFold = 0;
std::uint16_t gwSourceLine = 0;
std::uint64_t gqwSourceLine = 0;
int gfHighDropped = 0;
int ghSourceFile = -1;

namespace {

// The dialog's filters, the first shown first, and the extension added to a typed bare name.
constexpr std::array<platform::FileFilter, 3> kSourceFilters = {{
    {"Text Files (*.TXT)", "*.txt"},
    {"Zemra Source (*.SRC)", "*.src"},
    {"All Files (*.*)", "*.*"},
}};
constexpr const char* kSourceDefExt = "txt";

constexpr std::uint8_t kLF = 0x0A;
constexpr std::uint8_t kCR = 0x0D;
constexpr std::uint8_t kTab = 0x09;
constexpr std::uint8_t kBlank = 0x20;
constexpr std::uint8_t kBackslash = 0x5C;

// Directive states of the comment scanner.
constexpr int kComment = 0;             // inside a comment, nothing recognised
constexpr int kHash2 = 2;               // 1 and 2: that many '#' in a row
constexpr int kSuppressed = 3;          // "\ ###" read: everything is skipped, line by line
constexpr int kSuppressedBackslash = 4; // inside the block, a backslash has been read
constexpr int kSuppressedGt1 = 5;       // 5 and 6: that many '>' since then
constexpr int kSuppressedGt2 = 6;       //
constexpr int kBlockEnds = 7;           // "\ >>>" complete: the block ends with this line

// The widest line the buffer allows: a line cut at the limit holds limit + 2 bytes (a
// backslash pair stored last), and one ended by its CR limit + 1 and a NUL. A column limit
// above this acts as this.
constexpr std::uint16_t kLimitCap = kTXBufSize - 3;

// The file is read in blocks; the rules see one byte at a time.
constexpr int kNoByte = -1;
std::array<std::uint8_t, 4096> gReadBuf{};
std::size_t gReadPos = 0;
std::size_t gReadEnd = 0;
// The last byte read was a CR: an LF right behind it belongs to the same line end.
bool gAfterCR = false;
// The last byte read ended a line, or nothing has been read: at the end of the file no line is
// open that would still need its end.
bool gAtLineStart = true;
// The last result handed out a line; the next call counts it in gqwSourceLine.
bool gLineOut = false;

// Text given to OpenSourceText stands in for the file: gReadBuf is filled from it instead.
bool gFromText = false;
std::string gSourceText;
std::size_t gTextPos = 0;

// The next block of the source into gReadBuf: its length, 0 at the end, -1 on a read error.
ssize_t FillReadBuf() {
    if (gFromText) {
        const std::size_t n = std::min(gReadBuf.size(), gSourceText.size() - gTextPos);
        std::memcpy(gReadBuf.data(), gSourceText.data() + gTextPos, n);
        gTextPos += n;
        return static_cast<ssize_t>(n);
    }
    ssize_t n = 0;
    do {
        n = ::read(ghSourceFile, gReadBuf.data(), gReadBuf.size());
    } while (n < 0 && errno == EINTR);
    return n;
}

// A source just opened is read from its start.
void StartReading() {
    gReadPos = 0;
    gReadEnd = 0;
    gAfterCR = false;
    gAtLineStart = true;
    gLineOut = false;
    gqwSourceLine = 1;
    gfHighDropped = 0;
}

std::uint16_t Limit() {
    return std::min(gwMaxColumn, kLimitCap);
}

// A reader's box: its text, and on a second line what the user needs to act on it.
void ShowBox(platform::Window* hwnd, const char* text, const std::string& detail = {}) {
    hwnd->MessageBox(detail.empty() ? std::string(text) : text + ("\n" + detail), "",
                     platform::MB_OK | platform::MB_ICONEXCLAMATION);
}

// The next byte of the source file (0 to 255), with every line end given as one CR: a CR, a CR
// LF pair, an LF alone, and the end of a last line that has none. kNoByte at the end of the
// file, or after a read error it has shown as "File Read Error!". The byte is also read into the
// line's next slot, gsTXBuf[gwTXCol], without adding it to the line.
int ReadByte(platform::Window* hwnd) {
    std::uint8_t b = 0;
    for (;;) {
        if (gReadPos == gReadEnd) {
            ssize_t n = FillReadBuf();
            if (n < 0) {
                gdwLength = 0;
                ShowBox(hwnd, gszReadErrorStr);
                return kNoByte;
            }
            if (n == 0 && gAtLineStart) {
                gdwLength = 0;
                return kNoByte;
            }
            if (n == 0) {
                gReadBuf[0] = kCR; // the last line ends here as if it had its CR
                n = 1;
            }
            gReadPos = 0;
            gReadEnd = static_cast<std::size_t>(n);
        }
        b = gReadBuf[gReadPos++];
        const bool lfOfPair = b == kLF && gAfterCR;
        gAfterCR = b == kCR;
        if (lfOfPair) {
            continue;
        }
        if (b == kLF) {
            b = kCR;
        }
        gAtLineStart = b == kCR;
        break;
    }
    gdwLength = 1;
    if (gwTXCol < kTXBufSize) {
        gsTXBuf[gwTXCol] = b;
    }
    return b;
}

// Adds a byte to the line; the line then holds text.
void Store(std::uint8_t b) {
    if (gwTXCol < kTXBufSize) {
        gsTXBuf[gwTXCol++] = b;
    }
    gfFold = 0;
}

// Starts the line afresh, empty.
void BeginLine() {
    gwTXCol = 0;
    gfFold = 1;
    gfHighDropped = 0;
}

// A line end consumed without handing out a line.
void CountLine() {
    ++gwSourceLine;
    ++gqwSourceLine;
}

// Ends the line with its CR and a NUL behind it.
void EndLine() {
    Store(kCR);
    if (gwTXCol < kTXBufSize) {
        gsTXBuf[gwTXCol] = 0;
    }
}

} // namespace

void SourceFileInit(platform::Window* /*hwnd*/) {}

int SourceOpenDlg(platform::Window* hwnd, std::string& path, std::string& title) {
    return hwnd->GetOpenFileName(path, title, kSourceFilters, kSourceDefExt) ? 1 : 0;
}

int OpenSourceFile(platform::Window* hwnd) {
    CloseSourceFile();
    if (gszSourcePath.empty()) {
        ShowBox(hwnd, gszOpenErrorStr, "No source file has been selected.");
        return 0;
    }
    // Not blocking on open, so that a FIFO or a device cannot hold the window up before it is
    // refused.
    const int fd = ::open(gszSourcePath.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    const char* reason = fd < 0 ? std::strerror(errno) : nullptr;
    struct stat st {};
    if (fd >= 0 && ::fstat(fd, &st) != 0) {
        reason = std::strerror(errno);
    } else if (fd >= 0 && !S_ISREG(st.st_mode)) {
        reason = "not a regular file";
    }
    if (reason != nullptr) {
        const std::string detail = gszSourcePath + ": " + reason;
        if (fd >= 0) {
            ::close(fd);
        }
        ShowBox(hwnd, gszOpenErrorStr, detail);
        return 0;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) {
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    }
    ghSourceFile = fd;
    StartReading();
    return 1;
}

void OpenSourceText(std::string text) {
    CloseSourceFile();
    gSourceText = std::move(text);
    gFromText = true;
    StartReading();
}

void CloseSourceFile() {
    if (ghSourceFile >= 0) {
        ::close(ghSourceFile);
    }
    ghSourceFile = -1;
    gFromText = false;
    gSourceText.clear();
    gTextPos = 0;
    gReadPos = 0;
    gReadEnd = 0;
}

namespace {

// ReadSourceLine without the count of the lines it handed out.
int ReadLine(platform::Window* hwnd) {
    BeginLine();
    bool held = false; // a backslash that may open a comment, read and not yet stored
    const std::uint16_t limit = Limit();
    for (;;) {
        const int got = ReadByte(hwnd);
        if (got == kNoByte) {
            return kSourceEnd;
        }
        const auto b = static_cast<std::uint8_t>(got);
        if (b == kCR) {
            held = false;
            if (gfFold == 0) {
                EndLine();
                return kSourceLine;
            }
            CountLine(); // an empty line: counted, and the next one is read in its place
            BeginLine();
            continue;
        }
        if (b == kBackslash && !held && (gwTXCol == 0 || gsTXBuf[gwTXCol - 1] == kBlank)) {
            held = true;
            continue;
        }
        if (held) {
            held = false;
            if (b == kBlank) {
                const int folded = Fold(hwnd);
                if (folded == kSourceResume) {
                    continue;
                }
                return folded;
            }
            // Not a comment after all: the backslash goes out with the byte behind it, both
            // kept as they are, and the pair counts as text like any other store.
            Store(kBackslash);
            Store(b);
        } else if (b >= 0x80) {
            gfHighDropped = 1; // the target takes 7-bit text
            continue;
        } else if (b < 0x20 && b != kTab) {
            continue;
        } else if ((b == kBlank || b == kTab) && gfFold != 0) {
            continue;
        } else {
            Store(b);
        }
        if (gwTXCol > limit) {
            ShowBox(hwnd, gszMaxColumnStr, "in line " + std::to_string(gqwSourceLine));
            return kSourceLine; // cut without a CR; the rest follows as a line of its own
        }
    }
}

} // namespace

int ReadSourceLine(platform::Window* hwnd) {
    if (gLineOut) {
        ++gqwSourceLine; // the caller has counted that line in gwSourceLine by now
    }
    const int got = ReadLine(hwnd);
    gLineOut = got == kSourceLine;
    return got;
}

int Fold(platform::Window* hwnd) {
    int s = 0; // directive state, see kSuppressed and its neighbours
    int k = 0; // 'k's read in a row
    for (;;) {
        // Comment bytes pass through the slot behind the line and are never kept.
        const int got = ReadByte(hwnd);
        if (got == kNoByte) {
            return kSourceEnd; // also inside a suppressed block
        }
        const auto b = static_cast<std::uint8_t>(got);
        if (b == kCR) {
            if (s >= kSuppressed && s <= kSuppressedGt2) {
                // The block goes on with the next line, also when a "\ >>>" was half read.
                CountLine();
                s = kSuppressed;
                continue;
            }
            if (s == kBlockEnds || (s == kComment && gfFold != 0)) {
                BeginLine(); // anything kept before a "\ ###" goes with its block
                CountLine();
                return kSourceSkip;
            }
            // The text before the comment goes out; after a "\ #" or "\ ##" the line is sent
            // even when that is the CR alone.
            EndLine();
            return kSourceLine;
        }
        if (b == kBackslash) {
            if (s >= kSuppressed && s <= kSuppressedGt2) {
                s = kSuppressedBackslash; // a new "\ >>>" match begins here
                continue;
            }
            if (s == kBlockEnds) {
                // The block ends here and the rest of the line is read as new text; what was
                // kept before the "\ ###" goes with the block, as at a line end.
                BeginLine();
            }
            return kSourceResume; // the comment ends; the backslash is not kept
        }
        if (b == '#' && s <= kHash2) {
            ++s;
        } else if (b == '>' && s >= kSuppressedBackslash && s <= kSuppressedGt2) {
            ++s;
        } else if (s <= kHash2) {
            s = kComment;
        } else if (s == kSuppressedGt1 || s == kSuppressedGt2) {
            s = kSuppressed;
        }
        if (s != kComment) {
            continue;
        }
        k = b == 'k' ? k + 1 : 0;
        if (k == 3) {
            return kSourcePause; // the rest of this line is read by the next call
        }
    }
}

} // namespace pelko
