#include "platform/system.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace pelko::platform {

void* System::AllocZeroed(std::size_t size) {
    void* p = std::aligned_alloc(alignof(std::max_align_t), (size + alignof(std::max_align_t) - 1) &
                                                                ~(alignof(std::max_align_t) - 1));
    if (p != nullptr) {
        std::memset(p, 0, size);
    }
    return p;
}

void System::Free(void* p) {
    std::free(p);
}

Event System::CreateEvent() {
    const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return fd < 0 ? kNoEvent : fd;
}

bool System::SetEvent(Event h) {
    if (h < 0) {
        return false;
    }
    const std::uint64_t one = 1;
    return ::write(h, &one, sizeof one) == static_cast<ssize_t>(sizeof one);
}

bool System::ResetEvent(Event h) {
    if (h < 0) {
        return false;
    }
    std::uint64_t count = 0;
    // Non-blocking: EAGAIN means it was not signalled, which is fine.
    const ssize_t n = ::read(h, &count, sizeof count);
    return n == static_cast<ssize_t>(sizeof count) || (n < 0 && errno == EAGAIN);
}

void System::CloseEvent(Event h) {
    if (h >= 0) {
        ::close(h);
    }
}

bool System::WaitEvent(Event h, int timeoutMs) {
    if (h < 0) {
        return false;
    }
    pollfd pfd{h, POLLIN, 0};
    int n = 0;
    do {
        n = ::poll(&pfd, 1, timeoutMs);
    } while (n < 0 && errno == EINTR);
    return n > 0 && (pfd.revents & POLLIN) != 0;
}

namespace {
System gDefaultSystem;
System* gSystem = &gDefaultSystem;
} // namespace

System& Sys() {
    return *gSystem;
}

void SetSystem(System* sys) {
    gSystem = sys != nullptr ? sys : &gDefaultSystem;
}

} // namespace pelko::platform
