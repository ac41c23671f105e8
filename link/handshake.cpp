#include "link/handshake.h"

#include <cstring>

namespace pelko {

UploadLink gLink;

void ResetLink() {
    UploadLink& l = gLink;
    {
        std::lock_guard<std::mutex> lock(l.rxMu);
        l.gwRXCol = 0;
        l.gsRXBuf[0] = 0;
        l.fArmed = false;
    }
    l.gfUploading.store(0);
    l.gUploadSync.store(kUploadWaiting);
    l.gfUpError.store(0);
    l.fLinkLost.store(0);
    l.fPortDead.store(0);
    l.fCancel.store(0);
    l.fInUpload = false;
    l.end = UploadEnd::None;
}

bool ArmLine() {
    UploadLink& l = gLink;
    std::lock_guard<std::mutex> lock(l.rxMu);
    // Tested under the lock the scanner takes: an end decided now is seen, never erased.
    if (l.gfUploading.load() == 0) {
        return false;
    }
    l.gwRXCol = 0;
    l.gsRXBuf[0] = 0;
    l.gfUpError.store(0);
    l.gUploadSync.store(kUploadWaiting);
    l.fArmed = true;
    return true;
}

void StopUploading() {
    UploadLink& l = gLink;
    std::lock_guard<std::mutex> lock(l.rxMu);
    l.fArmed = false;
    l.gfUploading.store(0);
}

int ScanCommBlock(const std::uint8_t* block, std::int32_t length) {
    if (block == nullptr || length <= 0) {
        return kScanPending;
    }
    UploadLink& l = gLink;
    std::lock_guard<std::mutex> lock(l.rxMu);
    if (!l.fArmed) {
        return kScanPending; // between lines: nothing is waiting for an answer
    }
    for (std::int32_t i = 0; i < length; ++i) {
        const std::uint8_t b = block[i];
        // A long echo keeps its start; the last place before the NUL is kept for the CR, so a
        // rejected echo is always shown with it.
        if (l.gwRXCol < kRXBufSize - 1 && (b == '\r' || l.gwRXCol < kRXBufSize - 2)) {
            l.gsRXBuf[l.gwRXCol++] = b;
            l.gsRXBuf[l.gwRXCol] = 0;
        }
        if (b == '~') {
            l.gfUpError.store(1);
        }
        if (b == '\r') {
            l.fArmed = false;
            if (l.gfUpError.load() != 0) {
                l.gfUploading.store(0);
                l.gUploadSync.store(kUploadRejected);
                return kScanRejected;
            }
            l.gUploadSync.store(kUploadAccepted);
            return kScanAccepted;
        }
    }
    return kScanPending;
}

std::int32_t TakeEcho(std::uint8_t* out) {
    UploadLink& l = gLink;
    std::lock_guard<std::mutex> lock(l.rxMu);
    const std::uint16_t n = l.gwRXCol < kRXBufSize ? l.gwRXCol : kRXBufSize - 1;
    std::memcpy(out, l.gsRXBuf, n);
    return n;
}

std::string EchoText() {
    std::uint8_t echo[kRXBufSize];
    const std::int32_t n = TakeEcho(echo);
    std::string text;
    for (std::int32_t i = 0; i < n; ++i) {
        if (echo[i] >= 0x20 && echo[i] != 0x7F) {
            text += static_cast<char>(echo[i]);
        }
    }
    return text;
}

bool EndUploadLinkLost() {
    UploadLink& l = gLink;
    std::lock_guard<std::mutex> lock(l.rxMu);
    if (l.gfUploading.exchange(0) == 0) {
        return false;
    }
    // A line already decided keeps its verdict; the loop finds the upload over at the next one.
    if (l.fArmed) {
        l.fArmed = false;
        l.gUploadSync.store(kUploadLinkLost);
    }
    return true;
}

} // namespace pelko
