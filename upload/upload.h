#pragma once
// The upload loop, on the window thread; its handshake with the receive thread is link/.
//   UploadSource(hwnd, mode)   runs a whole upload on the window thread; 1 when it ran (to the end
//                              of the file, a rejected line, a cancel or a lost connection), 0
//                              when it did not start: no record, an upload already running, no
//                              connection (told the user), or the source file could not be
//                              opened or an include failed (told the user; SourceEndStatus()
//                              says why). gLink.end says how it ended.
//   NextSourceLine(hwnd)       the next line to send, the pauses on the way asked with the
//                              "Continue?" box: kSourceLine with the line in gsTXBuf, or
//                              kSourceEnd at the end of the source (or a read error or an
//                              include that failed, told; SourceEndStatus() says which)
//   UploadText(hwnd, text, mode, name)  the same with `text` read as the source file would be (a
//                              paste, standard input), named `name` in messages; 0 when it did
//                              not start, as above (for the source only when an include fails)
//   SetUploadObserver(observer)  the observer hears the uploads that run from now on (nullptr:
//                              none): their progress texts, each line as it goes out (after
//                              the write), and each pause before its box; window thread
//   IToDecString(value, text)  writes "<digits> " and a NUL (no digits for 0) into the 10-byte
//                              text; the number of bytes before the NUL
#include <cstdint>
#include <string>

#include "link/handshake.h"
#include "platform/window.h"

namespace pelko {

enum class UploadMode { Fast, Visible };

extern char gszLineStr[10];

inline constexpr const char* gszLoadStr = "Loading ";
inline constexpr const char* gszDotStr = ".";
inline constexpr const char* gszRdyStr = " Ready\r";
inline constexpr const char* gszErrorLineStr = "Source Error in line ";
inline constexpr const char* gszCRStr = "\r";
inline constexpr const char* gszUpStr = "Upload";
inline constexpr const char* gszContinueStr = "Continue?";
inline constexpr const char* gszAbortLineStr = "Upload cancelled in line ";
inline constexpr const char* gszLostLineStr = "Connection lost in line ";
inline constexpr const char* gszNotConnectedStr =
    "No connection is open.\nConnect to the target before uploading.";

class UploadObserver {
public:
    virtual ~UploadObserver() = default;
    virtual void Progress(const std::uint8_t* text, std::int32_t n) = 0;
    virtual void LineSent() = 0;
    virtual void Pausing() = 0;
};

void SetUploadObserver(UploadObserver* observer);
int UploadSource(platform::Window* hwnd, UploadMode mode);
int NextSourceLine(platform::Window* hwnd);
int UploadText(platform::Window* hwnd, const std::string& text, UploadMode mode = UploadMode::Fast,
               const std::string& name = "pasted text");
int IToDecString(std::int32_t value, char* text);

} // namespace pelko
