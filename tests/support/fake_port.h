#pragma once
// A port whose every answer the test sets, and a factory that hands it out, for driving the
// connection, the receive thread and the write path without a device. The test keeps the
// shared state and watches it while the core owns the port. Safe across threads.
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/port.h"

namespace pelko::test {

struct FakePortState {
    FakePortState();
    ~FakePortState();

    // Scripted answers.
    bool configureOk = true;
    platform::WriteStatus writeStatus = platform::WriteStatus::Complete;
    platform::Reach reach = platform::Reach::Open; // how far its connect has got
    std::string failure;                           // why the connect failed

    // Adds bytes the port will report as waiting, and wakes a blocked WaitForInput.
    void Receive(const std::string& bytes);
    // Makes the port dead: WaitForInput answers Dead once what is waiting is read.
    void Die();

    // What the core did.
    std::vector<std::string> Ops() const;   // "Configure 19200", "SetDtr 1", ...
    std::string Written() const;            // every byte handed to Write
    std::vector<std::size_t> Reads() const; // the size of each Read
    platform::LineSettings LastLine() const;
    bool Closed() const;

    mutable std::mutex mu;
    std::vector<std::string> ops;
    std::string written;
    std::vector<std::size_t> reads;
    std::deque<std::uint8_t> input;
    platform::LineSettings line;
    bool dead = false;
    bool closed = false;
    int inputEvent = -1;        // an eventfd signalled when input or death arrives
    std::string controlRefusal; // when set, SetControl fails with it as the reason
};

class FakePort : public platform::Port {
public:
    explicit FakePort(std::shared_ptr<FakePortState> state) : s_(std::move(state)) {}
    bool Configure(const platform::LineSettings& line) override;
    bool SetDtr(bool on) override;
    bool Purge() override;
    std::int64_t BytesWaiting() override;
    std::int64_t Read(std::uint8_t* buf, std::size_t max) override;
    platform::WriteResult Write(const std::uint8_t* buf, std::size_t n, int ms) override;
    platform::WaitResult WaitForInput(platform::Event wake) override;
    void Close() override;
    platform::Reach Progress(int ms, std::string& why) override;
    bool SetControl(platform::Control what, bool on, std::string& why) override;

private:
    void Op(const std::string& op);
    std::shared_ptr<FakePortState> s_;
};

// Opens `next` (once) for any name and records the names asked for; nullptr when `next` is
// empty. Installs itself for its lifetime.
class FakePortFactory : public platform::PortFactory {
public:
    FakePortFactory();
    ~FakePortFactory() override;
    std::shared_ptr<FakePortState> next;
    std::vector<std::string> names;
    std::unique_ptr<platform::Port> Open(const std::string& device) override;
    std::string DescribeDevice(const std::string& device) override { return "fake " + device; }
};

} // namespace pelko::test
