#include "upload/upload.h"

namespace pelko {

std::atomic<int> gfUploading{0};
std::atomic<std::uint8_t> gUploadSync{kUploadWaiting};
std::atomic<int> gfUpError{0};
std::uint8_t gsRXBuf[kRXBufSize] = {};
std::uint16_t gwRXCol = 0;

// No upload loop yet: nothing is sent and no echo is expected.
int UploadSource(platform::Window* /*hwnd*/, UploadMode /*mode*/) {
    return 0;
}

void ScanCommBlock(const std::uint8_t* /*block*/, std::int32_t /*length*/) {}

} // namespace pelko
