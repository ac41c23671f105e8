#pragma once
// The settings file and the source column limit that follows from it.
//   LoadDefaults(record)  no result; a missing or unreadable file leaves the record as it is.
//                         Always sets gwMaxColumn from the record's Max.40 option.
//   SaveDefaults(hwnd)    1 when the file was written; 0 when there is no record or it failed
#include <cstdint>

#include "platform/window.h"

namespace pelko {
struct TTYInfo;

// Widest source line the upload sends: 40 while Max.40 is on, else 80. Window thread only.
extern std::uint16_t gwMaxColumn;

void LoadDefaults(TTYInfo* record);
int SaveDefaults(platform::Window* hwnd);

} // namespace pelko
