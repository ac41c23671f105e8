#pragma once
// The window's end of the hand-off: another Pelko of the same user hands the window that holds
// its port an upload over a local socket. The port factory makes the listener; the core polls it
// from a window timer, so nothing here ever waits.
//   ListenForHandoff(device, why)   a listener for the port behind `device` (a COM or the Telnet
//                                   port's name), or nullptr with the reason (no factory, no
//                                   private folder for the socket, a live window already serves
//                                   that port). The socket goes away with the listener.
//   HandoffListener::Accept(why)    the next caller, or nullptr when none waits (why "") or the
//                                   accept failed (why says)
//   HandoffPeer::Read(buf, max)     bytes the caller sent, 0 when none are there yet, -1 once it
//                                   has gone (closed, or a failed read)
//   HandoffPeer::Send(bytes)        queues bytes and sends what the socket takes now; false once
//                                   the caller has gone or left more than kMaxHandoffBacklog
//                                   unread (the bytes are then dropped)
//   HandoffPeer::Flush()            sends what the socket takes now; true when nothing is left
//   HandoffPeer::SameUser()         whether the caller runs as this process's user
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace pelko::platform {

inline constexpr std::size_t kMaxHandoffBacklog = 1U << 20;

class HandoffPeer {
public:
    virtual ~HandoffPeer() = default;
    virtual std::int64_t Read(char* buf, std::size_t max) = 0;
    virtual bool Send(std::string_view bytes) = 0;
    virtual bool Flush() = 0;
    virtual bool SameUser() const = 0;
};

class HandoffListener {
public:
    virtual ~HandoffListener() = default;
    virtual std::unique_ptr<HandoffPeer> Accept(std::string& why) = 0;
};

std::unique_ptr<HandoffListener> ListenForHandoff(const std::string& device, std::string& why);

} // namespace pelko::platform
