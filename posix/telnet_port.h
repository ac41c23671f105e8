#pragma once
// The network serial port: a TCP connection to an RFC 2217 server (ser2net, for one), which
// stands in for the Telnet-redirected port. Line settings, DTR and purges go out as COM-PORT
// commands once the server has agreed to COM-PORT-OPTION (until then the latest of each is
// held); no call waits for the server's answer, which it may never give (ser2net does not
// answer DTR requests on a pty). A server that refuses COM-PORT-OPTION is told to the user
// once, as the received text "<Telnet server refuses COM-PORT settings>" on a line of its own.
// What waits to be sent is bounded by kTelnetQueueLimit; a server that takes none of it for
// kTelnetPeerDeadlineMs ends the connection, which then reports itself dead as a closed one does.
//   ConnectTelnetPort(host, port, ms)  the connected port, its option requests already sent;
//                                      nullptr when the host is unknown or the connection is
//                                      refused or not made within ms milliseconds
//   LastTelnetConnectError()           why the last ConnectTelnetPort on this thread failed:
//                                      "HOST:PORT: reason" ("" after a success)
//   TelnetPort::Agreed(option)         true once the server agreed to the option both ways it
//                                      was asked (COM-PORT-OPTION: Pelko's side only)
//   TelnetPort::ServerBaudRate()       the last baud rate the server reported; 0 before any
//   TelnetPort::QueuedBytes()          the bytes waiting for the server to take them
// Configure refuses what RFC 2217 cannot say (a rate of 0, 9 data bits, ...) and a connection
// whose server side has ended; the server's own verdict is not awaited.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/port.h"

namespace pelko::posix {

class TelnetPort : public platform::Port {
public:
    virtual bool Agreed(std::uint8_t option) = 0;
    virtual std::uint32_t ServerBaudRate() = 0;
    virtual std::size_t QueuedBytes() = 0;
};

inline constexpr int kTelnetConnectTimeoutMs = 5000;
inline constexpr int kTelnetPeerDeadlineMs = 1000; // as long as a write may take
inline constexpr std::size_t kTelnetQueueLimit = 72 * 1024;

std::string LastTelnetConnectError();
std::unique_ptr<TelnetPort> ConnectTelnetPort(const std::string& host, std::uint16_t port,
                                              int timeoutMs = kTelnetConnectTimeoutMs);

} // namespace pelko::posix
