#pragma once
// The wait for room in a full output queue that both ports' writes share, bounded by the write's
// total deadline.
//   WaitForRoom(fd, deadline)  Room when the descriptor may take more (or the wait was cut
//                              short by a signal), TimedOut when the deadline has passed,
//                              Broken when the descriptor reports an error or hang-up
#include <chrono>
#include <poll.h>

namespace pelko::posix {

enum class RoomWait { Room, TimedOut, Broken };

inline RoomWait WaitForRoom(int fd, std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
        return RoomWait::TimedOut;
    }
    pollfd pfd{fd, POLLOUT, 0};
    if (::poll(&pfd, 1, static_cast<int>(left.count())) > 0 &&
        (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
        return RoomWait::Broken;
    }
    return RoomWait::Room;
}

} // namespace pelko::posix
