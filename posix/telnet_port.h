#pragma once
// The network serial port: a TCP connection to an RFC 2217 server (ser2net, for one), which
// stands in for the Telnet-redirected port. Nothing here waits for the network: the connect goes
// on while the port is used (Progress tells how far it is), and no call waits for the server's
// answer, which it may never give (ser2net does not answer DTR requests on a pty).
// Line settings, DTR and purges go out as COM-PORT commands once the server has agreed to
// COM-PORT-OPTION; until then the latest of each is held. Data written is held too, behind
// them, until the server has agreed (the commands then go first), has refused, or has said
// nothing for kTelnetSettingsWaitMs after the connect; it then goes out without them. A purge
// never follows data (the server's purge would destroy it): once data has gone out, a held purge
// is dropped and a new one only empties what Pelko has received. A server that refuses
// COM-PORT-OPTION is told to the user once, as the received text "<Telnet server refuses
// COM-PORT settings>" on a line of its own.
// What waits to be sent is bounded by kTelnetQueueLimit; a server that takes none of it for
// kTelnetPeerDeadlineMs ends the connection, which then reports itself dead as a closed one does.
//   ConnectTelnetPort(host, port, ms)  the port, its connect under way (each address is given
//                                      ms milliseconds; a host name is looked up on a thread of
//                                      its own); nullptr when the host cannot be an address or
//                                      name, or the connect failed at once (a refusal on this
//                                      machine)
//   LastTelnetConnectError()           why the last ConnectTelnetPort on this thread failed:
//                                      "HOST:PORT: reason" ("" after a success)
//   TelnetPort::Agreed(option)         true once the server agreed to the option both ways it
//                                      was asked (COM-PORT-OPTION: Pelko's side only)
//   TelnetPort::ServerBaudRate()       the last baud rate the server reported; 0 before any
//   TelnetPort::QueuedBytes()          the bytes waiting to be sent, held ones included
// Configure refuses what RFC 2217 cannot say (a rate of 0, 9 data bits, ...) and a connection
// that failed or whose server side has ended; the server's own verdict is not awaited.
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
inline constexpr int kTelnetSettingsWaitMs = 1000; // data held for the server's agreement
inline constexpr std::size_t kTelnetQueueLimit = 72 * 1024;

std::string LastTelnetConnectError();
std::unique_ptr<TelnetPort> ConnectTelnetPort(const std::string& host, std::uint16_t port,
                                              int timeoutMs = kTelnetConnectTimeoutMs);

} // namespace pelko::posix
