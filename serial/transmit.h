#pragma once
// Sending to the target.
//   ProcessTTYCharacter(hwnd, ch)     1 when the byte was handed to the write; 0 when the window
//                                     holds no record or no connection is up
//   WriteCommBlock(hwnd, bytes, n)    1 when the write completed; 0 when there is no record or
//                                     the write failed at once
#include <cstdint>

#include "platform/window.h"

namespace pelko {

int ProcessTTYCharacter(platform::Window* hwnd, std::uint8_t character);
int WriteCommBlock(platform::Window* hwnd, const std::uint8_t* bytes, std::int32_t length);

} // namespace pelko
