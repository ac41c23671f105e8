#pragma once
// The upload loop and the echo handshake it shares with the receive thread.
//   UploadSource(hwnd, mode)   runs a whole upload on the window thread; 1 when it ran (to the end
//                              of the file, a rejected line, a cancel or a lost connection), 0
//                              when it did not start: no record, an upload already running, no
//                              connection (told the user), or the source file could not be
//                              opened (told the user). gUploadEnd says how it ended.
//   ScanCommBlock(block, n)    collects the target's echo of the line just sent (receive thread);
//                              kScanRejected when this block's CR rejected the line (gfUploading
//                              is then clear and the echo is in gsRXBuf), kScanAccepted when it
//                              accepted it, kScanPending while no CR has come; nothing for n <= 0
//   EmptyEcho()                empties the echo buffer and forgets any '~' in it, before a line
//                              goes out (window thread); cannot fail
//   TakeEcho(out)              copies the echo collected so far into out (kRXBufSize bytes);
//                              its length
//   IToDecString(value, text)  writes "<digits> " and a NUL (no digits for 0) into the 10-byte
//                              text; the number of bytes before the NUL
//   EndUploadLinkLost()        on finding the port dead (receive thread) or on a quit signal:
//                              ends a running upload as a lost connection; true when one ran
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/window.h"

namespace pelko {

enum class UploadMode { Fast, Visible };

// Handshake words shared by the window thread and the receive thread.
inline constexpr std::uint8_t kUploadWaiting = 0x00;
inline constexpr std::uint8_t kUploadAccepted = 0x06;
inline constexpr std::uint8_t kUploadRejected = 0x7E;
// Pelko's own: the port died while the line was in flight.
inline constexpr std::uint8_t kUploadLinkLost = 0x15;
extern std::atomic<int> gfUploading;
extern std::atomic<std::uint8_t> gUploadSync;
extern std::atomic<int> gfUpError;
// The echo of the line in flight, kept NUL-terminated. An echo longer than the buffer keeps its
// first kRXBufSize - 1 bytes; the rest is still scanned for '~' and CR. Shared by both threads
// under a lock of its own: read it through TakeEcho.
inline constexpr std::size_t kRXBufSize = 256;
extern std::uint8_t gsRXBuf[kRXBufSize];
extern std::uint16_t gwRXCol;
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

// How the last upload ended; None while none has run (or it did not start).
enum class UploadEnd { None, Ready, Rejected, Cancelled, LinkLost };
extern UploadEnd gUploadEnd;

enum ScanResult { kScanPending = 0, kScanAccepted = 1, kScanRejected = 2 };

int UploadSource(platform::Window* hwnd, UploadMode mode);
int ScanCommBlock(const std::uint8_t* block, std::int32_t length);
void EmptyEcho();
std::int32_t TakeEcho(std::uint8_t* out);
int IToDecString(std::int32_t value, char* text);
bool EndUploadLinkLost();

} // namespace pelko
