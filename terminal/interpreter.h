#pragma once
// Putting bytes on the terminal screen.
//   WriteTTYBlock(hwnd, block, length)  0 when the window holds no record (nothing done);
//                                       otherwise 1 once every byte is processed. A length of 0
//                                       or less does nothing and gives 1.
// Backspace, line feed and carriage return act; every other byte is stored at the cursor (or as
// two hex digits and a space in hex mode). Each stored cell is invalidated; a scroll invalidates
// the whole window. Safe to call from the window thread and the receive thread at once.
#include <cstdint>

#include "platform/window.h"

namespace pelko {

int WriteTTYBlock(platform::Window* hwnd, const std::uint8_t* block, std::int32_t length);

inline int WriteTTYBlock(platform::Window* hwnd, const char* block, std::int32_t length) {
    return WriteTTYBlock(hwnd, reinterpret_cast<const std::uint8_t*>(block), length);
}

} // namespace pelko
