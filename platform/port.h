#pragma once
// A port Pelko talks to the target through: a serial device or the Telnet port, and the factory
// that opens one by its device name. Operations and what they give back on failure:
//   Configure(line)     false when the port refuses the settings (the old ones then stay)
//   SetDtr(on)          false on failure; a port without modem lines answers true
//   Purge()             drops both queues and anything in transfer; false on failure
//   BytesWaiting()      bytes that can be read at once; -1 when the port has failed
//   Read(buf, max)      reads at most max bytes of what is already there, never waits;
//                       -1 on failure
//   Write(buf, n, ms)   writes within `ms` milliseconds in total; see WriteStatus
//   WaitForInput(wake)  blocks until bytes can be read, the port has died, or the `wake` event
//                       is signalled (the event is left signalled); Woken wins over the others
//   Close()             releases the device; calling it again does nothing
//   Progress(ms, why)   how far a port that reaches its device over a network has got: Open
//                       once connected (a device is Open at once), Pending while the connect
//                       is under way (waits up to ms milliseconds for it to end), Failed when
//                       it could not be made, with "HOST:PORT: reason" in why. Configure, SetDtr,
//                       Purge and Write may come while it is Pending and take effect once Open.
//   SetControl(what, on, why)  raises or drops DTR or RTS, or starts or ends a break, at once;
//                       false when the device or server cannot (the reason in why); why is
//                       kControlNotYet when a network port may still learn that it can
// The factory (installed by the program's entry, none by default):
//   OpenPort(device)       the open port (a network port may still be connecting: Progress),
//                          or nullptr when the device is missing, in use, or no factory is
//                          installed
//   DescribeDevice(device) what the device name stands for here (a path, host:port), "" when
//                          nothing stands behind it
//   LastOpenError()        why the last OpenPort on this thread gave nothing (the device and
//                          the system's reason); "" when there is nothing to say
//   ReleaseOpenPorts()     for a program that ends without closing its ports: takes them out of
//                          exclusive use and removes their lock files; any thread, never fails
//   ResetPlanFor(device)   which lines reset the target behind the device and for how long
//                          (DTR for 100 ms unless the ports file says otherwise)
//   DeviceChoices()        the serial devices of this machine, for a menu: the value a port
//                          would keep and the text to show; empty without a factory
//   RemapPort(n, value, why)  port n (1..4 COMn, 5 TELNET) leads to value from now on and in the
//                          ports file: Remap::Kept; Remap::NotKept when it leads there now but
//                          the file could not be written (why); Remap::Refused for a bad value
//                          or no factory (why), nothing changed
//   SetResetPlan(n, plan, why)  what a reset of port n pulses from now on and in the ports
//                          file; Remap results as RemapPort
//   ListenForHandoff(device, why)  see platform/handoff.h; the default listens nowhere
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/handoff.h"
#include "platform/system.h"

namespace pelko::platform {

struct LineSettings {
    std::uint32_t baudRate = 19200;
    std::uint8_t dataBits = 8;
    std::uint8_t parity = 0;   // 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::uint8_t stopBits = 0; // 0 one, 1 one and a half, 2 two
};

enum class WaitResult { Input, Woken, Dead };

enum class Reach { Open, Pending, Failed };

enum class Control { Dtr, Rts, Break };
inline constexpr const char* kControlNotYet =
    "the server has not agreed to serial line commands (RFC 2217) yet";

struct DeviceChoice {
    std::string value; // what the port keeps: a /dev/serial/by-id link where there is one
    std::string text;  // the device, its product and by-id name
};

enum class Remap { Kept, NotKept, Refused };

// The lines a reset drops, and for how long, before they are raised again.
struct ResetPlan {
    bool dtr = true;
    bool rts = false;
    int ms = 100;
};

// How a write ended. FailedAtOnce: nothing was sent and nothing waited for (a dead or closed
// port). FailedLater: the port failed after part of the block went out or after a wait.
enum class WriteStatus { Complete, TimedOut, FailedAtOnce, FailedLater };

struct WriteResult {
    std::size_t written = 0;
    WriteStatus status = WriteStatus::Complete;
};

class Port {
public:
    virtual ~Port() = default;
    virtual bool Configure(const LineSettings& line) = 0;
    virtual bool SetDtr(bool on) = 0;
    virtual bool Purge() = 0;
    virtual std::int64_t BytesWaiting() = 0;
    virtual std::int64_t Read(std::uint8_t* buf, std::size_t max) = 0;
    virtual WriteResult Write(const std::uint8_t* buf, std::size_t n, int totalTimeoutMs) = 0;
    virtual WaitResult WaitForInput(Event wake) = 0;
    virtual void Close() = 0;
    virtual Reach Progress(int /*waitMs*/, std::string& /*why*/) { return Reach::Open; }
    virtual bool SetControl(Control /*what*/, bool /*on*/, std::string& why) {
        why = "this port has no control lines";
        return false;
    }
};

class PortFactory {
public:
    virtual ~PortFactory() = default;
    virtual std::unique_ptr<Port> Open(const std::string& device) = 0;
    virtual std::string DescribeDevice(const std::string& device) = 0;
    // Why the last Open on this thread gave nothing; "" when there is nothing to say.
    virtual std::string LastOpenError() { return {}; }
    virtual void ReleaseOpenPorts() {}
    virtual ResetPlan ResetPlanFor(const std::string& /*device*/) { return {}; }
    virtual std::vector<DeviceChoice> DeviceChoices() { return {}; }
    virtual Remap RemapPort(int /*n*/, const std::string& /*value*/, std::string& why) {
        why = "no port factory";
        return Remap::Refused;
    }
    virtual Remap SetResetPlan(int /*n*/, const ResetPlan& /*plan*/, std::string& why) {
        why = "no port factory";
        return Remap::Refused;
    }
    virtual std::unique_ptr<HandoffListener> ListenForHandoff(const std::string& /*device*/,
                                                              std::string& why) {
        why = "this program hands no uploads over";
        return nullptr;
    }
};

// Installs the factory the core opens ports through; nullptr removes it. The factory must
// outlive its use; install it before the first window is made.
void SetPortFactory(PortFactory* factory);

std::unique_ptr<Port> OpenPort(const std::string& device);
std::string DescribeDevice(const std::string& device);
std::string LastOpenError();
void ReleaseOpenPorts();
ResetPlan ResetPlanFor(const std::string& device);
std::vector<DeviceChoice> DeviceChoices();
Remap RemapPort(int n, const std::string& value, std::string& why);
Remap SetResetPlan(int n, const ResetPlan& plan, std::string& why);

} // namespace pelko::platform
