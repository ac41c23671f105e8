#pragma once
// The hand-off socket: where a window that holds a port listens for uploads from `pelko --upload`
// of the same user. One socket per port, named after what the port leads to (a device's real
// path, a server's HOST:PORT), in $XDG_RUNTIME_DIR/pelko/ or, without that, /tmp/pelko-UID/; the
// folder is made 0700 and must be this user's own and private.
//   HandoffSocketPath(where, why, create)  the socket's path for a port that leads to `where`
//                                     (the folder made first when create); "" with the reason
//                                     when the folder is missing, cannot be made or is not private
//   ListenHandoffSocket(where, why)   a listener there (a stale socket, its window gone, is
//                                     replaced); nullptr with the reason, also when a live window
//                                     serves that port already
//   ConnectHandoffSocket(where, why)  a connected socket to the window serving the port; -1 with
//                                     why "" when no window serves it, or with the reason when
//                                     one does but cannot be reached or runs as another user
//   RemoveHandoffSocket()             removes the socket this process listens on; for the exit
//                                     of a program that cannot close its listener, any thread
#include <memory>
#include <string>

#include "platform/handoff.h"

namespace pelko::posix {

std::string HandoffSocketPath(const std::string& where, std::string& why, bool create = true);
std::unique_ptr<platform::HandoffListener> ListenHandoffSocket(const std::string& where,
                                                               std::string& why);
int ConnectHandoffSocket(const std::string& where, std::string& why);
void RemoveHandoffSocket();

} // namespace pelko::posix
