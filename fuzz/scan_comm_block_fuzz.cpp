// The receive side of the upload handshake: echo blocks of any bytes and length, interleaved with
// the window thread's emptying of the buffer before each line and a new upload's start.
// Invariants: no store falls outside the echo buffer and it stays NUL-terminated; a result of
// accepted or rejected comes exactly from a CR, with the handshake word set to match and the CR
// stored last (unless the buffer was full); a rejection needs a '~' since the last emptying and
// ends the upload; a pending result leaves the word waiting.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz/check.h"
#include "upload/upload.h"

using namespace pelko;
using fuzz::Check;

namespace {

void StartUpload() {
    gfUpError = 0;
    gUploadSync = kUploadWaiting;
    gfUploading = 1;
    EmptyEcho();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    StartUpload();
    bool tildeSinceEmpty = false;
    std::size_t at = 0;
    while (at < size) {
        const std::uint8_t op = data[at++];
        if (op < 8) {
            StartUpload();
            tildeSinceEmpty = false;
            continue;
        }
        if (op < 24) {
            EmptyEcho();
            gUploadSync = kUploadWaiting;
            tildeSinceEmpty = false;
            continue;
        }
        // A block of up to 300 bytes (more than the buffer holds); an odd op gives a length of
        // 0 or below, which must do nothing.
        std::size_t n = op % 2 == 1 ? 0 : std::min<std::size_t>(size - at, op + 44U);
        const std::uint8_t* block = data + at;
        at += n;
        const std::uint16_t colBefore = gwRXCol;
        const std::uint8_t syncBefore = gUploadSync.load();
        const void* cr = std::memchr(block, '\r', n);
        const std::size_t upTo =
            cr != nullptr
                ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(cr) - block) + 1
                : n;
        const bool tilde = std::memchr(block, '~', upTo) != nullptr;
        const int result = ScanCommBlock(block, op % 2 == 1 ? -static_cast<std::int32_t>(op % 3)
                                                            : static_cast<std::int32_t>(n));

        Check(gwRXCol < kRXBufSize, "echo length past the buffer");
        Check(gsRXBuf[gwRXCol] == 0, "echo not NUL-terminated");
        Check(gwRXCol >= colBefore, "echo shrank while scanning");
        if (n == 0) {
            Check(result == kScanPending && gwRXCol == colBefore && gUploadSync == syncBefore,
                  "an empty block changed something");
            continue;
        }
        tildeSinceEmpty = tildeSinceEmpty || tilde;
        if (cr == nullptr) {
            Check(result == kScanPending, "decided without a CR");
            Check(gUploadSync == syncBefore, "handshake word changed without a CR");
            continue;
        }
        const bool roomForCr = colBefore + upTo <= kRXBufSize - 1;
        if (roomForCr) {
            Check(gsRXBuf[gwRXCol - 1] == '\r', "CR not stored last");
        }
        if (tildeSinceEmpty) {
            Check(result == kScanRejected && gUploadSync == kUploadRejected && gfUploading == 0,
                  "a '~' before the CR did not reject and end the upload");
            Check(gfUpError == 1, "rejected without the error flag");
        } else {
            Check(result == kScanAccepted && gUploadSync == kUploadAccepted,
                  "a clean echo not accepted");
            Check(gfUpError == 0, "accepted with the error flag set");
        }
    }
    return 0;
}
