#pragma once
// The state the upload loop (window thread) and the receive thread share: the echo handshake of
// the line in flight and the health of the port. One instance, gLink, owned here.
//   ResetLink()               gives every field its start value (no upload, no echo, port
//                             healthy); cannot fail
//   ArmLine()                 before a line goes out (window thread): empties the echo and
//                             makes the scanner wait for this line's answer; false when the
//                             upload has already ended (the port died), and nothing is armed
//   ScanCommBlock(block, n)   collects the echo of the armed line (receive thread);
//                             kScanRejected when this block's CR rejected it (gfUploading is
//                             then clear and the echo is in gsRXBuf), kScanAccepted when it
//                             accepted it, kScanPending while no CR has come, nothing is armed,
//                             or n <= 0. Once a line is decided, what follows is ignored until
//                             the next ArmLine, so a verdict never changes after it falls.
//   StopUploading()           ends the upload's part in the handshake (window thread): nothing
//                             armed, gfUploading clear; cannot fail
//   TakeEcho(out)             copies the echo collected so far into out (kRXBufSize bytes); its
//                             length
//   EchoText()                the echo collected so far as printable text (control bytes left
//                             out), for messages; cannot fail
//   EndUploadLinkLost()       on finding the port dead (receive thread) or on a quit signal:
//                             ends a running upload; a line still waiting gets kUploadLinkLost.
//                             true when an upload ran
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

namespace pelko {

// The handshake word.
inline constexpr std::uint8_t kUploadWaiting = 0x00;
inline constexpr std::uint8_t kUploadAccepted = 0x06;
inline constexpr std::uint8_t kUploadRejected = 0x7E;
// Pelko's own: the port died while the line was in flight.
inline constexpr std::uint8_t kUploadLinkLost = 0x15;

inline constexpr std::size_t kRXBufSize = 256;

// How the last upload ended; None while none has run (or it did not start).
enum class UploadEnd { None, Ready, Rejected, Cancelled, LinkLost };

enum ScanResult { kScanPending = 0, kScanAccepted = 1, kScanRejected = 2 };

struct UploadLink {
    // Handshake words; the window thread waits on gUploadSync.
    std::atomic<int> gfUploading{0};
    std::atomic<std::uint8_t> gUploadSync{kUploadWaiting};
    std::atomic<int> gfUpError{0};
    // The echo of the armed line, kept NUL-terminated, under rxMu. An echo longer than the
    // buffer keeps its first kRXBufSize - 1 bytes; the rest is still scanned for '~' and CR.
    std::uint8_t gsRXBuf[kRXBufSize] = {};
    std::uint16_t gwRXCol = 0;
    bool fArmed = false; // a line is out and its answer not yet decided; under rxMu
    std::mutex rxMu;     // held only for a copy or a scan of one block

    // Set by the receive thread when it finds the port dead and has asked the window thread to
    // tell the user; taken by ConnectionLost, cleared by every open and close.
    std::atomic<int> fLinkLost{0};
    // Set by the receive thread when it finds the port dead, before it ends any upload; cleared
    // by every open and close. Unlike fLinkLost it stays set once the user has been told.
    std::atomic<int> fPortDead{0};

    // Set from anywhere (a signal handler too) to end the running upload before its next line
    // goes out, as a cancel (also one that has not started yet); cleared when the upload
    // takes it.
    std::atomic<int> fCancel{0};

    // Window thread only: an upload is running (a command from a box it shows is ignored), and
    // how the last one ended.
    bool fInUpload = false;
    UploadEnd end = UploadEnd::None;
};

extern UploadLink gLink;

void ResetLink();
bool ArmLine();
void StopUploading();
int ScanCommBlock(const std::uint8_t* block, std::int32_t length);
std::int32_t TakeEcho(std::uint8_t* out);
std::string EchoText();
bool EndUploadLinkLost();

} // namespace pelko
