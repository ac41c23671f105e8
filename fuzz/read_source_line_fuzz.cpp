// Fuzzes the source reader with arbitrary file contents and reads each file as one upload does,
// adding 1 to gwSourceLine after each line handed out. The first input byte picks the column
// limit (bit 0: 40, else 80) and where the line count starts (bit 1: 65530, so that it wraps,
// else 1); the rest is the file. Checked at every call:
//   - a line is 1 to limit + 2 bytes (a backslash pair stored last may pass the limit by two);
//     it holds no LF; a CR only as its last byte, with a NUL behind; it never starts with a
//     blank or TAB; every control byte or byte 0x80 to 0xFF in it directly follows a backslash;
//   - a line without its CR was cut: it is longer than the limit and came with exactly one
//     "Max # of Char/Line exceeded!"; no other call shows a box;
//   - gwSourceLine never goes backwards (modulo the 65535 -> 0 wrap), and the reader's line
//     (SourceWhere) has made the same steps without the wrap;
//   - the reader ends within one call per byte of the file, and keeps answering end after it.
// At the end every line end of the file (a CR, an LF not right behind a CR, and the end of a last
// line without either) has been counted exactly once, by the reader or by the loop after a line,
// and every cut line once more: the count advanced by line ends + cut lines.
// Include lines are parsed and checked too: one that names no file that can be read refuses the
// file at opening (a relative name finds only the file itself: a loop); an input that reads
// another file (an absolute name) ends there, as its lines are no longer its own.
// Stores beyond gsTXBuf are caught by the address sanitizer.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#include "fuzz/check.h"
#include "platform/null_window.h"
#include "settings/settings.h"
#include "upload/source.h"

namespace {

using namespace pelko;
using fuzz::Check;

class CountingWindow : public platform::NullWindow {
public:
    int maxBoxes = 0;
    int otherBoxes = 0;
    int MessageBox(const std::string& text, const std::string& caption, unsigned style) override {
        Check(caption.empty() && style == (platform::MB_OK | platform::MB_ICONEXCLAMATION),
              "a reader box with a caption or the wrong style");
        (text.starts_with(gszMaxColumnStr) ? maxBoxes : otherBoxes) += 1;
        return platform::IDOK;
    }
};

int gFile = -1; // a memory file that holds the current input

void CheckLine(std::uint16_t limit, bool cut) {
    const std::uint8_t* line = gsTXBuf;
    const std::size_t n = gwTXCol;
    Check(n >= 1 && n <= limit + 2U, "line length out of bounds");
    Check(line[0] != ' ' && line[0] != '\t', "a line starts with a blank or TAB");
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t b = line[i];
        Check(b != '\n', "an LF in a line");
        Check(b != '\r' || i == n - 1, "a CR inside a line");
        const bool odd = (b < 0x20 && b != '\t' && b != '\r') || b >= 0x80;
        Check(!odd || (i > 0 && line[i - 1] == '\\'), "a control or high byte not after '\\'");
    }
    if (cut) {
        Check(n > limit, "a line without its CR below the limit");
    } else {
        Check(n <= limit + 1U && line[n] == 0, "a CR line too long or without its NUL");
    }
}

// The memory file is read through a link in an empty folder of its own, where relative include
// names lead nowhere but to the link itself.
std::string gFolder;

void RemoveFolder() {
    ::unlink(gszSourcePath.c_str());
    ::rmdir(gFolder.c_str());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    gFile = ::memfd_create("pelko-source", MFD_CLOEXEC);
    Check(gFile >= 0, "no memory file");
    char folder[] = "/tmp/pelko-fuzz-source.XXXXXX";
    Check(::mkdtemp(folder) != nullptr, "no folder for the memory file");
    gFolder = folder;
    gszSourcePath = gFolder + "/source";
    Check(::symlink(("/proc/self/fd/" + std::to_string(gFile)).c_str(), gszSourcePath.c_str()) == 0,
          "no link to the memory file");
    std::atexit(RemoveFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::uint16_t limit = (data[0] & 1) != 0 ? 40 : 80;
    const std::uint16_t start = (data[0] & 2) != 0 ? 65530 : 1;
    const std::uint8_t* file = data + 1;
    const std::size_t length = size - 1;
    Check(::ftruncate(gFile, 0) == 0, "cannot empty the memory file");
    Check(::pwrite(gFile, file, length, 0) == static_cast<ssize_t>(length),
          "short write of the input");
    std::uint64_t ends = 0;
    for (std::size_t i = 0; i < length; ++i) {
        ends += file[i] == '\r' || (file[i] == '\n' && (i == 0 || file[i - 1] != '\r')) ? 1 : 0;
    }
    ends += length > 0 && file[length - 1] != '\r' && file[length - 1] != '\n' ? 1 : 0;

    CountingWindow win;
    gwMaxColumn = limit;
    if (OpenSourceFile(&win) == 0) {
        const SourceStop stop = SourceEndStatus().stop;
        Check((stop == SourceStop::IncludeError || stop == SourceStop::ReadError) &&
                  win.otherBoxes == 1,
              "the memory file was refused, not for an include, or without its box");
        return 0;
    }
    if (SourceFiles().size() > 1) {
        CloseSourceFile();
        return 0;
    }
    gwSourceLine = start;
    std::uint64_t advanced = 0; // gwSourceLine's steps, without the wrap
    std::uint64_t cuts = 0;
    for (std::size_t calls = 0;; ++calls) {
        Check(calls <= length, "the reader does not come to an end");
        const std::uint16_t before = gwSourceLine;
        const int boxes = win.maxBoxes;
        const int result = ReadSourceLine(&win);
        const auto step = static_cast<std::uint16_t>(gwSourceLine - before);
        Check(step <= ends, "gwSourceLine went backwards");
        advanced += step;
        Check(SourceWhere().line == 1 + advanced, "the reader's line and gwSourceLine differ");
        Check(win.otherBoxes == 0, "an open or read error on a memory file");
        if (result == kSourceLine) {
            const bool cut = gsTXBuf[gwTXCol - 1] != '\r';
            CheckLine(limit, cut);
            Check(win.maxBoxes - boxes == (cut ? 1 : 0), "a cut line without its box, or more");
            cuts += cut ? 1 : 0;
            ++gwSourceLine;
            ++advanced;
            continue;
        }
        Check(win.maxBoxes == boxes, "a box without a cut line");
        if (result == kSourceEnd) {
            break;
        }
        Check(result == kSourcePause || result == kSourceSkip, "an unknown result");
    }
    const std::uint16_t ended = gwSourceLine;
    Check(ReadSourceLine(&win) == kSourceEnd && gwSourceLine == ended && win.otherBoxes == 0,
          "reading on after the end");
    CloseSourceFile();
    Check(advanced == ends + cuts, "a line end not counted exactly once");
    return 0;
}
