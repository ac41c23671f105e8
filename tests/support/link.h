#pragma once
// A terminal record wired to real ports, for the tests that run the link over ptys, the target
// simulator and ser2net. The record has its two events as window creation makes them; hTTYWnd
// is the recording window; ports open through the POSIX factory with `map` (installed by
// Install), their UUCP lock files in a private folder; every open port's reads are counted.
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "posix/devices.h"
#include "tests/support/recording_window.h"
#include "tests/support/terminal_record.h"

namespace pelko::test {

class LinkFixture {
public:
    LinkFixture();
    ~LinkFixture();

    // Installs a factory for `map` whose ports note the size of every read.
    void Install();
    std::vector<std::size_t> Reads() const;
    // The device port behind the record's port; nullptr while none is open.
    platform::Port* OpenPort() const;

    // The whole screen as 25 rows joined by '\n', and how often `text` occurs on it.
    std::string Screen() const;
    int Occurrences(const std::string& text) const;
    // Waits up to `ms` for `text` to show on the screen.
    bool WaitForScreen(const std::string& text, int ms = 5000) const;
    // Types each byte of `text` as the window procedure would.
    void Type(const std::string& text);

    RecordingWindow win;
    AttachedRecord tty{win};
    posix::DeviceMap map;
    std::string lockDir;

private:
    class Tracing;
    std::unique_ptr<Tracing> tracing_;
};

// OpenConnection, with the connect of a network port waited for.
int OpenConnectionAndWait(platform::Window* hwnd);

// Polls `done` every millisecond for up to `ms`.
template <typename F> bool Eventually(F done, int ms = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Reads from fd until `n` bytes came or `ms` passed.
std::string ReadFor(int fd, std::size_t n, int ms = 5000);
// Writes all of `bytes` to fd.
bool WriteAll(int fd, const std::string& bytes);
// The speed `stty -F device speed` reports, or "" when it failed.
std::string SttySpeed(const std::string& device);
// Opens a tty raw and flushed, for the test's end of a line; -1 on failure.
int OpenRawTty(const std::string& device);

} // namespace pelko::test
