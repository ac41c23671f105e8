#pragma once
// The upload loop and the echo handshake it shares with the receive thread.
//   UploadSource(hwnd, mode)    runs a whole upload on the window thread; 0 when the window holds
//                               no record or no source file could be opened, else 1
//   ScanCommBlock(block, n)     collects the target's echo of the line just sent (receive thread);
//                               sets gUploadSync and may clear gfUploading; cannot fail
#include <atomic>
#include <cstdint>

#include "platform/window.h"

namespace pelko {

enum class UploadMode { Fast, Visible };

// Handshake words shared by the window thread and the receive thread.
inline constexpr std::uint8_t kUploadWaiting = 0x00;
inline constexpr std::uint8_t kUploadAccepted = 0x06;
inline constexpr std::uint8_t kUploadRejected = 0x7E;
extern std::atomic<int> gfUploading;
extern std::atomic<std::uint8_t> gUploadSync;
extern std::atomic<int> gfUpError;
inline constexpr std::size_t kRXBufSize = 256;
extern std::uint8_t gsRXBuf[kRXBufSize];
extern std::uint16_t gwRXCol;

int UploadSource(platform::Window* hwnd, UploadMode mode);
void ScanCommBlock(const std::uint8_t* block, std::int32_t length);

} // namespace pelko
