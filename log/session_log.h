#pragma once
// The record of a session (--log FILE): every byte received and every byte typed, as raw bytes,
// and the session's events as lines of their own ("[pelko] ..."). A writer thread of its own puts
// it on the disk, so neither the receive thread nor the window ever waits for it; what comes
// faster than the disk takes, past kLogBacklog bytes, is counted and said in the log instead.
//   OpenSessionLog(path, timestamps, why)  appends to path from now on (each received line
//                                          begins with its ISO 8601 local time when timestamps
//                                          is set); never waits: a FIFO without a reader yet is
//                                          opened by the writer once one comes. false with the
//                                          reason in `why` when the file cannot be opened (the
//                                          session goes on without)
//   LogSessionPort(text)                   the first call begins the session's part of the log
//                                          with a line giving the date and time and `text`
//                                          (Pelko's version and the port); later ones add
//                                          "connected: text"
//   LogReceived(bytes, n) / LogTyped(bytes, n)  any thread, never waits for the disk; nothing
//                                          without an open log
//   LogEvent(text)                         one line "[pelko] text"; nothing without a log
//   SessionLogProblem()                    why writes to the log fail at present (said once on
//                                          standard error too); "" while they work. When they
//                                          work again a line in the log says how many bytes the
//                                          gap holds
//   CloseSessionLog()                      writes what is left, giving the writer about
//                                          kLogCloseMs; what it could not write is counted on
//                                          standard error. Ends the writer and closes the file;
//                                          nothing without a log. Called once no receive thread
//                                          runs (at the program's end).
#include <cstddef>
#include <cstdint>
#include <string>

namespace pelko {

inline constexpr std::size_t kLogBacklog = 4 << 20;
inline constexpr int kLogCloseMs = 2000;

bool OpenSessionLog(const std::string& path, bool timestamps, std::string& why);
void LogSessionPort(const std::string& text);
void LogReceived(const std::uint8_t* bytes, std::int32_t n);
void LogTyped(const std::uint8_t* bytes, std::int32_t n);
void LogEvent(const std::string& text);
std::string SessionLogProblem();
void CloseSessionLog();

} // namespace pelko
