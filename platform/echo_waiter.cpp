#include "platform/echo_waiter.h"

namespace pelko::platform {

bool EchoWaiter::Wait(const std::atomic<std::uint8_t>& sync, const Between& between) {
    for (;;) {
        // A wake that comes while between() runs (a cancel it has not seen yet) ends the sleep
        // that follows before it starts.
        const std::uint32_t seen = wakes_.load();
        const std::optional<Clock::time_point> until = between();
        if (sync.load() != 0) {
            return true;
        }
        if (!until) {
            return false;
        }
        std::unique_lock<std::mutex> lock(mu_);
        wake_.wait_until(lock, *until, [&] { return sync.load() != 0 || wakes_.load() != seen; });
        if (sync.load() != 0) {
            return true; // answered: back to the upload at once, between() can wait
        }
    }
}

void EchoWaiter::Wake() {
    wakes_.fetch_add(1);
    // Passing through the lock orders this after a waiter's look at the word; the waiter then
    // need not wait for the lock again once woken.
    { std::lock_guard<std::mutex> lock(mu_); }
    wake_.notify_all();
}

} // namespace pelko::platform
