#pragma once
// Standard input, output and error that a caller closed (`pelko ... <&- >&-`) are opened on
// /dev/null before Pelko opens anything else, so that no port, log or lock file takes their
// numbers and no message meant for the terminal reaches a device.
//   OpenClosedStdStreams()  true when descriptors 0 to 2 are all open afterwards; false when
//                           /dev/null itself could not be opened (Pelko should then stop)
namespace pelko::posix {

bool OpenClosedStdStreams();

} // namespace pelko::posix
