#pragma once
// UUCP lock files, which serial programs on one machine honour to keep off each other's ports:
// "<dir>/LCK..<name>" holding the owner's pid as "%10d\n" (the 4-byte binary pid of older
// programs is read as well).
//   UucpLockPath(dir, device)   the lock file for a device path as given ("/dev/ttyUSB0" ->
//                               "<dir>/LCK..ttyUSB0"; "/dev/pts/3" -> "<dir>/LCK..pts_3"); the
//                               caller resolves symbolic links first
//   AcquireUucpLock(path)       Locked when the file is now ours; Busy when someone else may
//                               hold it; Unavailable when no lock file can be made here (the
//                               caller goes on without one). Held means: a live pid (this
//                               process included); an empty or unreadable file younger than
//                               kUnreadableLockSeconds (its owner may still be writing it); or
//                               anything that is not a regular file. A lock of a process that
//                               is gone, or an unreadable one older than that, is removed and
//                               taken. The file appears under its name already complete.
//   ReleaseUucpLock(path)       removes the file if it is ours; cannot fail
//   UucpLockHolder(path)        who holds the lock file: "process PID (NAME)", "process PID"
//                               when its name cannot be read, or "" when no live process does
//   ReleaseHeldUucpLocks()      removes every lock file this process holds, for a program that
//                               ends without closing its ports (exit() from a library); cannot
//                               fail
#include <string>

namespace pelko::posix {

enum class LockResult { Locked, Busy, Unavailable };

// How long an empty or unreadable lock file counts as held, by its modification time.
inline constexpr int kUnreadableLockSeconds = 5;

std::string UucpLockPath(const std::string& dir, const std::string& device);
LockResult AcquireUucpLock(const std::string& path);
void ReleaseUucpLock(const std::string& path);
void ReleaseHeldUucpLocks();
std::string UucpLockHolder(const std::string& path);

} // namespace pelko::posix
