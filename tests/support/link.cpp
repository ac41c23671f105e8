#include "tests/support/link.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "platform/port.h"
#include "platform/system.h"
#include "resources/globals.h"
#include "serial/connection.h"
#include "serial/transmit.h"
#include "settings/settings.h"
#include "tools/rig/raw_tty.h"

namespace pelko::test {

// Passes everything to the POSIX factory and notes the size of each read.
class LinkFixture::Tracing : public platform::PortFactory {
public:
    explicit Tracing(const posix::DeviceMap& map) : map_(map), real_(MakePortFactory(map)) {}

    std::unique_ptr<platform::Port> Open(const std::string& device) override {
        std::unique_ptr<platform::Port> port = real_->Open(device);
        if (!port) {
            return nullptr;
        }
        return std::make_unique<Port>(std::move(port), this);
    }
    std::string DescribeDevice(const std::string& device) override { return map_.Describe(device); }
    std::vector<std::size_t> Reads() const {
        std::lock_guard lock(mu_);
        return reads_;
    }

    class Port : public platform::Port {
    public:
        Port(std::unique_ptr<platform::Port> inner, Tracing* owner)
            : inner_(std::move(inner)), owner_(owner) {}
        bool Configure(const platform::LineSettings& l) override { return inner_->Configure(l); }
        bool SetDtr(bool on) override { return inner_->SetDtr(on); }
        bool SetControl(platform::Control what, bool on, std::string& why) override {
            return inner_->SetControl(what, on, why);
        }
        bool Purge() override { return inner_->Purge(); }
        std::int64_t BytesWaiting() override { return inner_->BytesWaiting(); }
        std::int64_t Read(std::uint8_t* buf, std::size_t max) override {
            const std::int64_t n = inner_->Read(buf, max);
            std::lock_guard lock(owner_->mu_);
            owner_->reads_.push_back(n > 0 ? static_cast<std::size_t>(n) : 0);
            return n;
        }
        platform::WriteResult Write(const std::uint8_t* b, std::size_t n, int ms) override {
            return inner_->Write(b, n, ms);
        }
        platform::WaitResult WaitForInput(platform::Event wake) override {
            return inner_->WaitForInput(wake);
        }
        void Close() override { inner_->Close(); }
        platform::Reach Progress(int ms, std::string& why) override {
            return inner_->Progress(ms, why);
        }
        platform::Port* Inner() const { return inner_.get(); }

    private:
        std::unique_ptr<platform::Port> inner_;
        Tracing* owner_;
    };

private:
    posix::DeviceMap map_;
    std::unique_ptr<platform::PortFactory> real_;
    mutable std::mutex mu_;
    std::vector<std::size_t> reads_;
};

int OpenConnectionAndWait(platform::Window* hwnd) {
    int opened = OpenConnection(hwnd);
    std::string why;
    while (opened == kConnecting) {
        opened = FinishConnection(hwnd, 100, why);
    }
    return opened;
}

LinkFixture::LinkFixture() {
    char tmpl[] = "/tmp/pelko-locks.XXXXXX";
    if (::mkdtemp(tmpl) != nullptr) {
        lockDir = tmpl;
    }
    map.lockDir = lockDir;
    tty->osRead.hEvent = platform::Sys().CreateEvent();
    hTTYWnd = &win;
}

LinkFixture::~LinkFixture() {
    CloseConnection(&win);
    hTTYWnd = nullptr;
    platform::SetPortFactory(nullptr);
    FreeTTYResources(&*tty);
    gRunOverrides = {};
    if (!lockDir.empty()) {
        std::system(("rm -rf '" + lockDir + "'").c_str());
    }
}

void LinkFixture::Install() {
    map.lockDir = lockDir;
    tracing_ = std::make_unique<Tracing>(map);
    platform::SetPortFactory(tracing_.get());
}

platform::Port* LinkFixture::OpenPort() const {
    auto* traced = dynamic_cast<Tracing::Port*>(tty->hCommPort.get());
    return traced != nullptr ? traced->Inner() : tty->hCommPort.get();
}

std::vector<std::size_t> LinkFixture::Reads() const {
    return tracing_ ? tracing_->Reads() : std::vector<std::size_t>{};
}

std::string LinkFixture::Screen() const {
    std::lock_guard lock(tty->screenLock);
    std::string out;
    for (int r = 0; r < kScreenRows; ++r) {
        out += tty.Row(r);
        out += '\n';
    }
    return out;
}

int LinkFixture::Occurrences(const std::string& text) const {
    const std::string screen = Screen();
    int n = 0;
    for (std::size_t at = screen.find(text); at != std::string::npos;
         at = screen.find(text, at + 1)) {
        ++n;
    }
    return n;
}

bool LinkFixture::WaitForScreen(const std::string& text, int ms) const {
    return Eventually([&] { return Screen().find(text) != std::string::npos; }, ms);
}

void LinkFixture::Type(const std::string& text) {
    for (char c : text) {
        ProcessTTYCharacter(&win, static_cast<std::uint8_t>(c));
    }
}

std::string ReadFor(int fd, std::size_t n, int ms) {
    std::string out;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (out.size() < n) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              end - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            break;
        }
        pollfd pfd{fd, POLLIN, 0};
        if (::poll(&pfd, 1, static_cast<int>(left)) <= 0) {
            continue;
        }
        char buf[1024];
        const ssize_t got = ::read(fd, buf, std::min(sizeof buf, n - out.size()));
        if (got <= 0 && errno != EAGAIN && errno != EINTR) {
            break;
        }
        if (got > 0) {
            out.append(buf, static_cast<std::size_t>(got));
        }
    }
    return out;
}

bool WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        } else {
            pollfd pfd{fd, POLLOUT, 0};
            ::poll(&pfd, 1, 100);
        }
    }
    return true;
}

std::string SttySpeed(const std::string& device) {
    const std::string cmd = "stty -F '" + device + "' speed 2>/dev/null";
    std::FILE* p = ::popen(cmd.c_str(), "r");
    if (p == nullptr) {
        return "";
    }
    char buf[64] = {};
    const bool ok = std::fgets(buf, sizeof buf, p) != nullptr;
    ::pclose(p);
    std::string out = ok ? buf : "";
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) {
        out.pop_back();
    }
    return out;
}

int OpenRawTty(const std::string& device) {
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    rig::MakeRawTty(fd);
    ::tcflush(fd, TCIOFLUSH);
    return fd;
}

} // namespace pelko::test
