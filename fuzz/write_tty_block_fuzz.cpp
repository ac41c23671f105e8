// Fuzzes the interpreter with any sequence of blocks in any option combination and checks,
// at every call the interpreter makes on the window and after every block:
//   - the cursor is on the screen;
//   - nothing outside the screen buffer changed (the record's other fields are intact);
//   - every cell that changed was invalidated (or the whole window was).
#include <array>
#include <bitset>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "fuzz/check.h"
#include "platform/null_window.h"
#include "terminal/interpreter.h"
#include "terminal/tty_info.h"

namespace {

using namespace pelko;
using fuzz::Fail;

class CheckingWindow : public platform::NullWindow {
public:
    TTYInfo* tty = nullptr;
    std::bitset<kScreenCells> invalidated;
    bool all = false;

    void CheckCursor() const {
        const int r = tty->nCursorRow.load();
        const int c = tty->nCursorCol.load();
        if (r < 0 || r >= kScreenRows || c < 0 || c >= kScreenCols) {
            Fail("cursor off the screen");
        }
    }
    void InvalidateRect(const platform::Rect* rect, bool erase) override {
        CheckCursor();
        if (erase) {
            Fail("the interpreter asked for an erase");
        }
        if (rect == nullptr) {
            all = true;
            return;
        }
        const int cx = tty->cxChar.load();
        const int cy = tty->cyChar.load();
        const int col = (rect->left + tty->nHScrollPos.load()) / cx;
        const int row = (rect->top + tty->nVScrollPos.load()) / cy;
        if (rect->right - rect->left != cx || rect->bottom - rect->top != cy || col < 0 ||
            col >= kScreenCols || row < 0 || row >= kScreenRows) {
            Fail("an invalidated rectangle is not a screen cell");
        }
        invalidated.set(static_cast<std::size_t>(row * kScreenCols + col));
    }
    void SetCaretPos(std::int32_t, std::int32_t) override { CheckCursor(); }
};

// The fields the interpreter must never write.
struct Untouched {
    std::uint8_t bPortNum;
    std::int32_t flags[6];
    std::uint8_t line[3];
    std::uint32_t baud;
    std::uint16_t caret;
    platform::LogFont font;
    std::uint32_t color;
    std::int32_t geometry[8];
    platform::Overlapped os[2];

    static Untouched Of(const TTYInfo& t) {
        Untouched u{};
        u.bPortNum = t.bPortNum;
        u.flags[0] = t.fConnected;
        u.flags[1] = t.fLocalEcho;
        u.flags[2] = t.fNewLine;
        u.flags[3] = t.fAutoWrap;
        u.flags[4] = t.fMax40;
        u.flags[5] = t.fHexPrint;
        u.line[0] = t.bDataBits;
        u.line[1] = t.bParity;
        u.line[2] = t.bStopBits;
        u.baud = t.dwBaudRate;
        u.caret = t.wCaretState;
        u.font = t.lfTTYFont;
        u.color = t.rgbTextColor;
        u.geometry[0] = t.cxClient;
        u.geometry[1] = t.cyClient;
        u.geometry[2] = t.nHScrollMax;
        u.geometry[3] = t.nVScrollMax;
        u.geometry[4] = t.nHScrollPos;
        u.geometry[5] = t.nVScrollPos;
        u.geometry[6] = t.cxChar;
        u.geometry[7] = t.cyChar;
        u.os[0] = t.osRead;
        return u;
    }
    bool operator==(const Untouched& o) const {
        return bPortNum == o.bPortNum && std::memcmp(flags, o.flags, sizeof flags) == 0 &&
               std::memcmp(line, o.line, sizeof line) == 0 && baud == o.baud && caret == o.caret &&
               std::memcmp(&font, &o.font, sizeof font) == 0 && color == o.color &&
               std::memcmp(geometry, o.geometry, sizeof geometry) == 0 &&
               std::memcmp(os, o.os, sizeof os) == 0;
    }
};

// The checks are not what is being explored: their comparisons would only feed the fuzzer
// noise, and over 2000 cells a block they would cost most of its time.
#if defined(__clang__)
#define PELKO_CHECKER __attribute__((no_sanitize("coverage")))
#else
#define PELKO_CHECKER
#endif

// Every cell that differs from `before` was invalidated.
PELKO_CHECKER void CheckChangedCells(const std::uint8_t* before, const std::uint8_t* after,
                                     const std::bitset<kScreenCells>& invalidated) {
    if (std::memcmp(before, after, kScreenCells) == 0) {
        return;
    }
    for (std::size_t i = 0; i < kScreenCells; ++i) {
        if (before[i] != after[i] && !invalidated.test(i)) {
            Fail("a changed cell was not invalidated");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 6) {
        return 0;
    }
    CheckingWindow win;
    auto tty = std::make_unique<TTYInfo>();
    SetTTYDefaults(tty.get());
    std::memset(tty->achScreen, ' ', sizeof tty->achScreen);
    tty->fNewLine = data[0] & 1;
    tty->fAutoWrap = (data[0] >> 1) & 1;
    tty->fHexPrint = (data[0] >> 2) & 1;
    tty->fConnected = 1;
    tty->wCaretState = 1;
    tty->nCursorRow = data[1] % kScreenRows;
    tty->nCursorCol = data[2] % kScreenCols;
    tty->cxChar = 1 + data[3] % 16;
    tty->cyChar = 1 + data[4] % 32;
    tty->nHScrollPos = data[5] % 64;
    tty->nVScrollPos = data[5] / 4;
    win.tty = tty.get();
    win.SetRecord(tty.get());
    data += 6;
    size -= 6;

    // The rest is blocks: a length byte (values above 200 pass a length of 0 or less) and the
    // bytes of the block.
    while (size > 0) {
        const std::uint8_t lenByte = data[0];
        ++data;
        --size;
        std::int32_t length = lenByte > 200 ? 200 - lenByte : lenByte;
        if (length > static_cast<std::int32_t>(size)) {
            length = static_cast<std::int32_t>(size);
        }
        std::array<std::uint8_t, kScreenCells> before{};
        std::memcpy(before.data(), tty->achScreen, kScreenCells);
        const Untouched fields = Untouched::Of(*tty);
        win.invalidated.reset();
        win.all = false;

        // The block is copied so that reading past its end is caught by the address sanitizer.
        std::unique_ptr<std::uint8_t[]> block(new std::uint8_t[length > 0 ? length : 1]);
        if (length > 0) {
            std::memcpy(block.get(), data, static_cast<std::size_t>(length));
        }
        if (WriteTTYBlock(&win, block.get(), length) != 1) {
            Fail("WriteTTYBlock did not return 1");
        }
        win.CheckCursor();
        if (!(Untouched::Of(*tty) == fields)) {
            Fail("a field outside the screen buffer changed");
        }
        if (!win.all) {
            CheckChangedCells(before.data(), tty->achScreen, win.invalidated);
        }
        if (length > 0) {
            data += length;
            size -= static_cast<std::size_t>(length);
        }
    }
    win.SetRecord(nullptr);
    return 0;
}
