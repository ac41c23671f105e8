#pragma once
// The record of a session (--log FILE): every byte received and every byte typed, as raw bytes,
// and the upload's events as lines of their own ("[pelko] ..."). A writer thread of its own puts
// it on the disk, so the receive thread never waits for it; what comes faster than the disk
// takes, past kLogBacklog bytes, is counted and said in the log instead.
//   OpenSessionLog(path, timestamps, why)  appends to path from now on (each received line
//                                          prefixed with the local time when timestamps is
//                                          set); false with the reason in `why` when the file
//                                          cannot be opened (the session goes on without)
//   LogReceived(bytes, n) / LogTyped(bytes, n)  any thread, never waits for the disk; nothing
//                                          without an open log
//   LogEvent(text)                         one line "[pelko] text"; nothing without a log
//   CloseSessionLog()                      writes what is left, ends the writer and closes the
//                                          file; nothing without a log. Called once no receive
//                                          thread runs (at the program's end).
#include <cstddef>
#include <cstdint>
#include <string>

namespace pelko {

inline constexpr std::size_t kLogBacklog = 4 << 20;

bool OpenSessionLog(const std::string& path, bool timestamps, std::string& why);
void LogReceived(const std::uint8_t* bytes, std::int32_t n);
void LogTyped(const std::uint8_t* bytes, std::int32_t n);
void LogEvent(const std::string& text);
void CloseSessionLog();

} // namespace pelko
