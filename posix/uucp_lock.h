#pragma once
// UUCP lock files, which serial programs on one machine honour to keep off each other's ports:
// "<dir>/LCK..<name>" holding the owner's pid as "%10d\n".
//   UucpLockPath(dir, device)   the lock file for a device path ("/dev/ttyUSB0" ->
//                               "<dir>/LCK..ttyUSB0"; "/dev/pts/3" -> "<dir>/LCK..pts_3")
//   AcquireUucpLock(path)       Locked when the file is now ours; Busy when a live process
//                               (this one included) holds it; Unavailable when no lock file can
//                               be made here (the caller goes on without one). A lock left by a
//                               process that is gone is removed and taken.
//   ReleaseUucpLock(path)       removes the file if it is ours; cannot fail
#include <string>

namespace pelko::posix {

enum class LockResult { Locked, Busy, Unavailable };

std::string UucpLockPath(const std::string& dir, const std::string& device);
LockResult AcquireUucpLock(const std::string& path);
void ReleaseUucpLock(const std::string& path);

} // namespace pelko::posix
