#pragma once
// The terminal record of the main window, and its lifecycle.
//   SetTTYDefaults(record)       gives every field its start value (the screen is left alone)
//   InitTTYInfo(record)          start values, a blank screen and the receive thread's wake-up
//                                event; false when the event could not be had (nothing to undo)
//   FreeTTYResources(record)     closes the event and drops the font InitTTYInfo and
//                                ResetTTYScreen gave it; cannot fail
//   NewTTYInfo()                 a record in storage of its own, set up by InitTTYInfo; nullptr
//                                when the storage or the event could not be had
//   DeleteTTYInfo(record)        frees what NewTTYInfo made; nothing for nullptr
//   ResetTTYScreen(hwnd, record) 1 after the font is remade and measured; 0 when record is null
// Creating the window's record (settings, port, file dialog) is the window procedure's job.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/font.h"
#include "platform/port.h"
#include "platform/system.h"
#include "platform/window.h"
#include "terminal/history.h"

namespace pelko {

inline constexpr int kScreenCols = 80;
inline constexpr int kScreenRows = 25;
inline constexpr int kScreenCells = kScreenCols * kScreenRows;

// The text the mouse has chosen, in row numbers of the history (screen row r is history.Total()
// + r), so that it stays on its text while the screen scrolls. `from` and `to` are inclusive and
// in order; `anchor` is where the drag began. Window thread only.
struct TextSelection {
    struct Cell {
        std::uint64_t row = 0;
        int col = 0;
    };
    bool active = false;
    int unit = 1; // 1 characters, 2 words, 3 whole rows
    Cell anchor;
    Cell from;
    Cell to;
};

// A 32-bit flag shared between the window thread and the receive thread: zero is off, any other
// value on. Loads and stores are relaxed unless a caller says otherwise.
using Flag32 = std::atomic<std::int32_t>;

struct TTYInfo {
    std::unique_ptr<platform::Port> hCommPort; // the open port, null while none is open
    std::uint8_t bPortNum = 0;                 // 1..4 COMn, anything larger the Telnet port
    std::uint8_t achScreen[kScreenCells] = {}; // row r, column c at r * 80 + c
    Flag32 fConnected{0};
    Flag32 fLocalEcho{0};
    Flag32 fNewLine{0};
    Flag32 fAutoWrap{0};
    Flag32 fMax40{0};
    Flag32 fHexPrint{0};
    std::uint8_t bDataBits = 0;
    std::uint8_t bParity = 0;
    std::uint8_t bStopBits = 0;
    std::uint32_t dwBaudRate = 0;
    std::atomic<std::uint16_t> wCaretState{0};
    std::unique_ptr<platform::Font> hTTYFont;
    platform::LogFont lfTTYFont;
    std::uint32_t rgbTextColor = 0; // 0x00BBGGRR
    std::int32_t cxClient = 0;
    std::int32_t cyClient = 0;
    std::int32_t nHScrollMax = 0;
    std::int32_t nVScrollMax = 0;
    std::atomic<std::int32_t> nHScrollPos{0};
    std::atomic<std::int32_t> nVScrollPos{0};
    // Rows the view is moved back into the history; 0 shows the live screen. Changed under
    // screenLock; readable anywhere.
    std::atomic<std::int32_t> nHistoryPos{0};
    std::atomic<std::int32_t> nCursorCol{0};
    std::atomic<std::int32_t> nCursorRow{0};
    std::atomic<std::int32_t> cxChar{0};
    std::atomic<std::int32_t> cyChar{0};
    std::atomic<std::uint32_t> dwWatchThreadId{0};
    std::thread watchThread; // the receive thread itself; CloseConnection joins it
    platform::Overlapped osRead;

    // Window thread only. The port died and the window waits for it to come back: a timer
    // tries to open it again every nRetryMs. reopenedAt: when a retry last opened it.
    bool fReconnecting = false;
    std::int32_t nRetryMs = 0;
    std::chrono::steady_clock::time_point reopenedAt{};
    // Window thread only. The open port is still connecting (a network port): the connect
    // timer looks every kConnectLookMs until it is made, and only then does the rest of the open.
    bool fOpening = false;

    // Keeps calls that change the screen buffer and cursor from interleaving; the wrap of a
    // full row re-enters it on the same thread. Painting holds it briefly to copy rows.
    std::recursive_mutex screenLock;
    ScreenHistory history; // rows scrolled off the top, under screenLock
    TextSelection selection;
};

void SetTTYDefaults(TTYInfo* record);
bool InitTTYInfo(TTYInfo* record);
void FreeTTYResources(TTYInfo* record);
TTYInfo* NewTTYInfo();
void DeleteTTYInfo(TTYInfo* record);
bool ResetTTYScreen(platform::Window* hwnd, TTYInfo* record);

} // namespace pelko
