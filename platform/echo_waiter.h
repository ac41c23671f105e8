#pragma once
// The upload's wait for the target's echo, for every window: the window thread sleeps on the
// handshake word and the receive thread wakes it. Each window says what it does between sleeps
// (run its events, notice a signal, a time limit or a cancel) and how long it sleeps.
//   Wait(sync, between)  loops: between(), then true when `sync` is nonzero; otherwise false
//                        when between() gave no time (it gave up), else sleeps until that time
//                        or the next Wake, and is true at once when the sleep ends answered.
//                        Nothing else can fail.
//   Wake()               any thread, never blocks: a Wait that sleeps looks at its word again,
//                        and one that has not gone to sleep yet does not
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

namespace pelko::platform {

class EchoWaiter {
public:
    using Clock = std::chrono::steady_clock;
    // What a window does between sleeps: the time to sleep until, or none to give up.
    using Between = std::function<std::optional<Clock::time_point>()>;

    bool Wait(const std::atomic<std::uint8_t>& sync, const Between& between);
    void Wake();

private:
    std::mutex mu_;
    std::condition_variable wake_;
    std::atomic<std::uint32_t> wakes_{0}; // counts Wake calls, so none is lost before a sleep
};

} // namespace pelko::platform
