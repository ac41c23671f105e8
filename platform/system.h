#pragma once
// What the terminal record takes from the operating system: its own storage and its two wake-up
// events (eventfds, which the port layer uses to wake a thread blocked on the port).
//   AllocZeroed(size)  zero-filled storage aligned for any object, or nullptr when none is left
//   Free(p)            releases storage from AllocZeroed; nullptr is ignored
//   CreateEvent()      a new event handle (>= 0), not signalled, or kNoEvent when none was made
//   SetEvent(h)        signals the event; false for kNoEvent or a closed handle
//   ResetEvent(h)      clears the event; false for kNoEvent or a closed handle
//   CloseEvent(h)      releases the event; kNoEvent is ignored
//   WaitEvent(h, ms)   waits up to ms milliseconds (-1: no limit) for the event, leaving it
//                      signalled; true when it is signalled, false on time-out or a bad handle
// Tests swap the whole set with SetSystem to make each step fail on demand.
#include <cstddef>
#include <cstdint>

namespace pelko::platform {

using Event = int;
inline constexpr Event kNoEvent = -1;

// The platform's block for one direction of port transfers: its offset words and its event.
struct Overlapped {
    std::uint32_t Offset = 0;
    std::uint32_t OffsetHigh = 0;
    Event hEvent = kNoEvent;
};

class System {
public:
    virtual ~System() = default;
    virtual void* AllocZeroed(std::size_t size);
    virtual void Free(void* p);
    virtual Event CreateEvent();
    virtual bool SetEvent(Event h);
    virtual bool ResetEvent(Event h);
    virtual void CloseEvent(Event h);
    virtual bool WaitEvent(Event h, int timeoutMs);
};

// The system in use; a process-wide default until SetSystem replaces it. SetSystem(nullptr)
// restores the default.
System& Sys();
void SetSystem(System* sys);

} // namespace pelko::platform
