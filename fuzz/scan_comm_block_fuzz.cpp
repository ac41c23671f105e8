// The receive side of the upload handshake: echo blocks of any bytes and length, interleaved with
// the window thread's arming of each line and a new upload's start.
// Invariants: no store falls outside the echo buffer and it stays NUL-terminated; a result of
// accepted or rejected comes exactly from a CR of an armed line, with the handshake word set to
// match and the CR stored last (unless the buffer was full); a rejection needs a '~' since the
// line was armed and ends the upload; once a line is decided nothing changes until the next is
// armed; a pending result leaves the word as it was.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz/check.h"
#include "link/handshake.h"

using namespace pelko;
using fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    UploadLink& l = gLink;
    ResetLink();
    bool armed = false;
    bool tildeSinceArmed = false;
    std::size_t at = 0;
    while (at < size) {
        const std::uint8_t op = data[at++];
        if (op < 8) {
            ResetLink();
            l.gfUploading = 1;
            armed = false;
            continue;
        }
        if (op < 24) {
            const bool uploading = l.gfUploading != 0;
            Check(ArmLine() == uploading, "arming did not follow the upload's state");
            armed = uploading;
            if (armed) {
                Check(l.gwRXCol == 0 && l.gUploadSync == kUploadWaiting, "armed line not empty");
                tildeSinceArmed = false;
            }
            continue;
        }
        // A block of up to 300 bytes (more than the buffer holds); an odd op gives a length of
        // 0 or below, which must do nothing.
        std::size_t n = op % 2 == 1 ? 0 : std::min<std::size_t>(size - at, op + 44U);
        const std::uint8_t* block = data + at;
        at += n;
        const std::uint16_t colBefore = l.gwRXCol;
        const std::uint8_t syncBefore = l.gUploadSync.load();
        const void* cr = std::memchr(block, '\r', n);
        const std::size_t upTo =
            cr != nullptr
                ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(cr) - block) + 1
                : n;
        const bool tilde = std::memchr(block, '~', upTo) != nullptr;
        const int result = ScanCommBlock(block, op % 2 == 1 ? -static_cast<std::int32_t>(op % 3)
                                                            : static_cast<std::int32_t>(n));

        Check(l.gwRXCol < kRXBufSize, "echo length past the buffer");
        Check(l.gsRXBuf[l.gwRXCol] == 0, "echo not NUL-terminated");
        Check(l.gwRXCol >= colBefore, "echo shrank while scanning");
        if (n == 0 || !armed) {
            Check(result == kScanPending && l.gwRXCol == colBefore && l.gUploadSync == syncBefore,
                  "an empty block or one after the verdict changed something");
            continue;
        }
        tildeSinceArmed = tildeSinceArmed || tilde;
        if (cr == nullptr) {
            Check(result == kScanPending, "decided without a CR");
            Check(l.gUploadSync == syncBefore, "handshake word changed without a CR");
            continue;
        }
        armed = false;
        const bool roomForCr = colBefore + upTo <= kRXBufSize - 1;
        if (roomForCr) {
            Check(l.gsRXBuf[l.gwRXCol - 1] == '\r', "CR not stored last");
        }
        if (tildeSinceArmed) {
            Check(result == kScanRejected && l.gUploadSync == kUploadRejected && l.gfUploading == 0,
                  "a '~' before the CR did not reject and end the upload");
            Check(l.gfUpError == 1, "rejected without the error flag");
        } else {
            Check(result == kScanAccepted && l.gUploadSync == kUploadAccepted,
                  "a clean echo not accepted");
            Check(l.gfUpError == 0, "accepted with the error flag set");
        }
    }
    return 0;
}
