#pragma once
// A port Pelko talks to the target through: a serial device or the Telnet port. Operations and
// what they give back on failure:
//   Configure(line)    false when the port refuses the settings (the old ones then stay)
//   SetDtr(on)         false on failure; a port without modem lines answers true
//   Purge()            drops both queues and anything in transfer; false on failure
//   BytesWaiting()     bytes that can be read at once; -1 when the port has failed
//   Read(buf, max)     reads at most max bytes of what is already there; -1 on failure
//   Write(buf, n, ms)  writes within `ms` milliseconds in total; bytes written, -1 on failure
//   WaitForInput(wake) blocks until input, a failure of the port, or the `wake` event is
//                      signalled; returns the reason
//   Close()            releases the device; calling it again does nothing
// Opening is done by the port factories of the serial layer (by device name).
#include <cstddef>
#include <cstdint>

#include "platform/system.h"

namespace pelko::platform {

struct LineSettings {
    std::uint32_t baudRate = 19200;
    std::uint8_t dataBits = 8;
    std::uint8_t parity = 0;   // 0 none
    std::uint8_t stopBits = 0; // 0 one stop bit
};

enum class WaitResult { Input, Woken, Dead };

class Port {
public:
    virtual ~Port() = default;
    virtual bool Configure(const LineSettings& line) = 0;
    virtual bool SetDtr(bool on) = 0;
    virtual bool Purge() = 0;
    virtual std::int64_t BytesWaiting() = 0;
    virtual std::int64_t Read(std::uint8_t* buf, std::size_t max) = 0;
    virtual std::int64_t Write(const std::uint8_t* buf, std::size_t n, int totalTimeoutMs) = 0;
    virtual WaitResult WaitForInput(Event wake) = 0;
    virtual void Close() = 0;
};

} // namespace pelko::platform
