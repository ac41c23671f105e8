#include "tests/support/fake_port.h"

#include <algorithm>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include "platform/system.h"

namespace pelko::test {

FakePortState::FakePortState() : inputEvent(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

FakePortState::~FakePortState() {
    ::close(inputEvent);
}

void FakePortState::Receive(const std::string& bytes) {
    {
        std::lock_guard lock(mu);
        input.insert(input.end(), bytes.begin(), bytes.end());
    }
    platform::System().SetEvent(inputEvent);
}

void FakePortState::Die() {
    {
        std::lock_guard lock(mu);
        dead = true;
    }
    platform::System().SetEvent(inputEvent);
}

std::vector<std::string> FakePortState::Ops() const {
    std::lock_guard lock(mu);
    return ops;
}

std::string FakePortState::Written() const {
    std::lock_guard lock(mu);
    return written;
}

std::vector<std::size_t> FakePortState::Reads() const {
    std::lock_guard lock(mu);
    return reads;
}

platform::LineSettings FakePortState::LastLine() const {
    std::lock_guard lock(mu);
    return line;
}

bool FakePortState::Closed() const {
    std::lock_guard lock(mu);
    return closed;
}

void FakePort::Op(const std::string& op) {
    std::lock_guard lock(s_->mu);
    s_->ops.push_back(op);
}

bool FakePort::Configure(const platform::LineSettings& line) {
    Op("Configure " + std::to_string(line.baudRate));
    std::lock_guard lock(s_->mu);
    if (s_->configureOk) {
        s_->line = line;
    }
    return s_->configureOk;
}

bool FakePort::SetDtr(bool on) {
    Op(on ? "SetDtr 1" : "SetDtr 0");
    return true;
}

bool FakePort::SetControl(platform::Control what, bool on, std::string& why) {
    static constexpr const char* kNames[] = {"Dtr", "Rts", "Break"};
    Op(std::string("SetControl ") + kNames[static_cast<int>(what)] + (on ? " 1" : " 0"));
    std::lock_guard lock(s_->mu);
    why = s_->controlRefusal;
    return why.empty();
}

bool FakePort::Purge() {
    Op("Purge");
    return true;
}

std::int64_t FakePort::BytesWaiting() {
    std::lock_guard lock(s_->mu);
    if (s_->input.empty() && s_->dead) {
        return -1;
    }
    return static_cast<std::int64_t>(s_->input.size());
}

std::int64_t FakePort::Read(std::uint8_t* buf, std::size_t max) {
    std::lock_guard lock(s_->mu);
    const std::size_t n = std::min(max, s_->input.size());
    std::copy_n(s_->input.begin(), n, buf);
    s_->input.erase(s_->input.begin(), s_->input.begin() + static_cast<std::ptrdiff_t>(n));
    s_->reads.push_back(n);
    return static_cast<std::int64_t>(n);
}

platform::WriteResult FakePort::Write(const std::uint8_t* buf, std::size_t n, int) {
    std::lock_guard lock(s_->mu);
    platform::WriteResult r;
    r.status = s_->writeStatus;
    if (r.status != platform::WriteStatus::FailedAtOnce) {
        s_->written.append(reinterpret_cast<const char*>(buf), n);
        r.written = n;
    }
    return r;
}

platform::WaitResult FakePort::WaitForInput(platform::Event wake) {
    for (;;) {
        {
            std::lock_guard lock(s_->mu);
            if (!s_->input.empty()) {
                return platform::WaitResult::Input;
            }
            if (s_->dead) {
                return platform::WaitResult::Dead;
            }
        }
        pollfd pfd[2] = {{wake, POLLIN, 0}, {s_->inputEvent, POLLIN, 0}};
        ::poll(pfd, 2, -1);
        if ((pfd[0].revents & POLLIN) != 0) {
            return platform::WaitResult::Woken;
        }
        platform::System().ResetEvent(s_->inputEvent);
    }
}

void FakePort::Close() {
    Op("Close");
    std::lock_guard lock(s_->mu);
    s_->closed = true;
}

platform::Reach FakePort::Progress(int, std::string& why) {
    std::lock_guard lock(s_->mu);
    why = s_->failure;
    return s_->reach;
}

FakePortFactory::FakePortFactory() {
    platform::SetPortFactory(this);
}

FakePortFactory::~FakePortFactory() {
    platform::SetPortFactory(nullptr);
}

std::unique_ptr<platform::Port> FakePortFactory::Open(const std::string& device) {
    names.push_back(device);
    if (!next) {
        return nullptr;
    }
    auto port = std::make_unique<FakePort>(next);
    next.reset();
    return port;
}

} // namespace pelko::test
