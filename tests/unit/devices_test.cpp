// Where the port names lead, the options that move them, and the UUCP lock files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "cli/options.h"
#include "platform/port.h"
#include "posix/devices.h"
#include "posix/serial_port.h"
#include "posix/uucp_lock.h"
#include "resources/port_names.h"
#include "serial/connection.h"
#include "tools/rig/rig.h"

namespace pelko::posix {
namespace {

using testing::ElementsAre;

// argv as main gets it, NULL-terminated, from a list of words.
struct Args {
    explicit Args(std::vector<std::string> words) : words_(std::move(words)) {
        for (std::string& w : words_) {
            ptrs.push_back(w.data());
        }
        ptrs.push_back(nullptr);
        argc = static_cast<int>(words_.size());
    }
    std::vector<std::string> Left() const {
        std::vector<std::string> out(ptrs.begin(), ptrs.begin() + argc);
        return out;
    }
    int argc;
    std::vector<char*> ptrs;

private:
    std::vector<std::string> words_;
};

TEST(DeviceNames, PortNumbersNameTheDevices) {
    EXPECT_EQ(PortDeviceName(1), "COM1");
    EXPECT_EQ(PortDeviceName(4), "COM4");
    EXPECT_EQ(PortDeviceName(0), "COM0");
    EXPECT_EQ(PortDeviceName(5), "\\\\.\\TELNET");
    EXPECT_EQ(PortDeviceName(200), "\\\\.\\TELNET");
    EXPECT_EQ(PortDeviceName(255), "\\\\.\\TELNET");
}

TEST(DeviceMap, DefaultsAreTheFirstFourSerialPortsAndLocalTelnet) {
    const DeviceMap map;
    EXPECT_EQ(map.Describe("COM1"), "/dev/ttyS0");
    EXPECT_EQ(map.Describe("COM4"), "/dev/ttyS3");
    EXPECT_EQ(map.Describe("COM0"), "");
    EXPECT_EQ(map.Describe("COM5"), "");
    EXPECT_EQ(map.Describe(PortDeviceName(5)), "127.0.0.1:2217");
}

// One row a command line: what it asks for, or why it is refused.
TEST(CommandLine, EveryFormAndEveryRefusal) {
    using cli::Action;
    struct Row {
        std::vector<std::string> args;
        Action action;
        std::string com1 = "/dev/ttyS0";
        std::string file = "";
    };
    const Row rows[] = {
        {{"pelko"}, Action::Window},
        {{"pelko", "--com1=/dev/ttyUSB0"}, Action::Window, "/dev/ttyUSB0"},
        {{"pelko", "--com1", "/dev/ttyUSB0"}, Action::Window, "/dev/ttyUSB0"},
        {{"pelko", "/dev/ttyACM0", "-b", "115200"}, Action::Window, "/dev/ttyACM0"},
        {{"pelko", "ttyACM0"}, Action::Window, "/dev/ttyACM0"},
        {{"pelko", "--no-reconnect", "/dev/ttyACM0"}, Action::Window, "/dev/ttyACM0"},
        {{"pelko", "--upload", "a.src", "--timeout=0"}, Action::Upload, "/dev/ttyS0", "a.src"},
        {{"pelko", "--dry-run=a.src", "--max40"}, Action::DryRun, "/dev/ttyS0", "a.src"},
        {{"pelko", "--upload", "--", "-odd.src"}, Action::Error},
        {{"pelko", "--upload", "a.src", "--", "/dev/pts/3"}, Action::Upload, "/dev/pts/3", "a.src"},
        {{"pelko", "--version"}, Action::Version},
        {{"pelko", "--list"}, Action::List},
        {{"pelko", "--log-timestamps"}, Action::Error},
        {{"pelko", "--list", "/dev/ttyACM0"}, Action::Error},
        {{"pelko", "--list", "--upload", "a.src"}, Action::Error},
        {{"pelko", "-h", "--com1=x"}, Action::Help, "x"},
        // Refused: unknown, missing or bad values, twice, two modes, an option as a value.
        {{"pelko", "-platform", "offscreen"}, Action::Error},
        {{"pelko", "--bogus"}, Action::Error},
        {{"pelko", "--com2"}, Action::Error},
        {{"pelko", "--com3="}, Action::Error},
        {{"pelko", "--telnet=nohostport"}, Action::Error},
        {{"pelko", "--telnet=host:99999"}, Action::Error},
        {{"pelko", "--telnet", "[::1]2217"}, Action::Error},
        {{"pelko", "--upload", "a.src", "--dry-run", "b.src"}, Action::Error},
        {{"pelko", "--upload", "a.src", "--upload", "a.src"}, Action::Error},
        {{"pelko", "--baud", "9600", "-b", "9600"}, Action::Error},
        {{"pelko", "--upload", "--port", "COM2"}, Action::Error},
        {{"pelko", "--upload", "a.src", "--port", "COM9"}, Action::Error},
        {{"pelko", "--upload", "a.src", "--timeout", "-1"}, Action::Error},
        {{"pelko", "--visible"}, Action::Error},
        {{"pelko", "/dev/ttyACM0", "/dev/ttyACM1"}, Action::Error},
        {{"pelko", "/dev/ttyACM0", "--com1=/dev/ttyUSB0"}, Action::Error},
    };
    for (const Row& r : rows) {
        Args a(r.args);
        const cli::Options o = cli::ParseCommandLine(a.argc, a.ptrs.data());
        std::string line;
        for (const std::string& w : r.args) {
            line += w + " ";
        }
        EXPECT_EQ(o.action, r.action) << line << o.error;
        EXPECT_EQ(o.action == Action::Error, !o.error.empty()) << line;
        if (r.action != Action::Error) {
            EXPECT_EQ(o.map.Describe("COM1"), r.com1) << line;
            EXPECT_EQ(o.file, r.file) << line;
        }
        EXPECT_EQ(a.Left(), r.args) << line; // argv as it was
    }
    Args v6({"pelko", "--telnet", "[::1]:2217"});
    const cli::Options o = cli::ParseCommandLine(v6.argc, v6.ptrs.data());
    EXPECT_EQ(o.map.Describe(PortDeviceName(5)), "[::1]:2217");
    Args up({"pelko", "--upload", "a", "--timeout", "2.5"});
    EXPECT_EQ(cli::ParseCommandLine(up.argc, up.ptrs.data()).timeout, 2.5);
    Args plain({"pelko", "--upload", "a"});
    EXPECT_EQ(cli::ParseCommandLine(plain.argc, plain.ptrs.data()).timeout, 10);
    EXPECT_FALSE(cli::ParseCommandLine(plain.argc, plain.ptrs.data()).noReconnect);
    Args still({"pelko", "--no-reconnect"});
    EXPECT_TRUE(cli::ParseCommandLine(still.argc, still.ptrs.data()).noReconnect);
}

TEST(DeviceFactory, NamesThatLeadNowhereOpenNothing) {
    DeviceMap map;
    map.com[2] = "/nonexistent/tty";
    InstallPortFactory(map);
    EXPECT_EQ(platform::OpenPort("COM0"), nullptr);
    EXPECT_EQ(platform::OpenPort("COM2"), nullptr);
    EXPECT_EQ(platform::DescribeDevice("COM2"), "/nonexistent/tty");
    platform::SetPortFactory(nullptr);
    EXPECT_EQ(platform::OpenPort("COM1"), nullptr);
    EXPECT_EQ(platform::DescribeDevice("COM1"), "");
}

class UucpLockTest : public testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/pelko-lock.XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir = tmpl;
        path = UucpLockPath(dir, "/dev/pts/3");
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }
    void WriteLock(long pid) const { std::ofstream(path) << pid << "\n"; }
    void WriteRaw(const std::string& bytes) const { std::ofstream(path) << bytes; }
    // Sets the lock file's modification time this many seconds back.
    void Age(int seconds) const {
        const timespec t[2] = {{::time(nullptr) - seconds, 0}, {::time(nullptr) - seconds, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), t, AT_SYMLINK_NOFOLLOW), 0);
    }
    // Acquire in a child that an alarm ends after 5 s: the lock result, or -1 when it hung.
    int AcquireInChild() const {
        const pid_t child = ::fork();
        if (child == 0) {
            ::alarm(5);
            ::_exit(static_cast<int>(AcquireUucpLock(path)));
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    bool Exists() const { return ::access(path.c_str(), F_OK) == 0; }
    std::string dir;
    std::string path;
};

TEST_F(UucpLockTest, NamesFollowTheDevicePath) {
    EXPECT_EQ(UucpLockPath("/var/lock", "/dev/ttyUSB0"), "/var/lock/LCK..ttyUSB0");
    EXPECT_EQ(path, dir + "/LCK..pts_3");
}

TEST_F(UucpLockTest, TakenReleasedAndRefusedWhileHeld) {
    ASSERT_EQ(AcquireUucpLock(path), LockResult::Locked);
    std::ifstream in(path);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    char want[16];
    std::snprintf(want, sizeof want, "%10d\n", static_cast<int>(getpid()));
    EXPECT_EQ(text, want);
    EXPECT_EQ(AcquireUucpLock(path), LockResult::Busy); // held by this very process
    ReleaseUucpLock(path);
    EXPECT_FALSE(Exists());

    WriteLock(1); // init never goes away
    EXPECT_EQ(AcquireUucpLock(path), LockResult::Busy);
    ReleaseUucpLock(path); // not ours: left alone
    EXPECT_TRUE(Exists());
}

TEST_F(UucpLockTest, LockOfAVanishedProcessIsTakenOver) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(0);
    }
    ::waitpid(child, nullptr, 0);
    WriteLock(child);
    EXPECT_EQ(AcquireUucpLock(path), LockResult::Locked);
    ReleaseUucpLock(path);
    EXPECT_EQ(AcquireUucpLock(dir + "/no/such/dir/LCK..x"), LockResult::Unavailable);
}

TEST_F(UucpLockTest, WhatIsNotARegularFileIsHeldAndNeverWaitedOn) {
    // A FIFO: reading it would wait for a writer that never comes.
    ASSERT_EQ(::mkfifo(path.c_str(), 0666), 0);
    EXPECT_EQ(AcquireInChild(), static_cast<int>(LockResult::Busy));
    ::unlink(path.c_str());

    // A link, even to a lock of a process that is gone, is neither followed nor removed.
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(0);
    }
    ::waitpid(child, nullptr, 0);
    std::ofstream(dir + "/elsewhere") << child << "\n";
    ASSERT_EQ(::symlink((dir + "/elsewhere").c_str(), path.c_str()), 0);
    EXPECT_EQ(AcquireUucpLock(path), LockResult::Busy);
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

TEST_F(UucpLockTest, BothPidFormatsAndLocksStillBeingWritten) {
    // Above any pid the kernel hands out (2^22), and its bytes ("DCBA") read as no decimal pid.
    const std::int32_t gone = 0x41424344;
    const auto binary = [](std::int32_t pid) {
        return std::string(reinterpret_cast<const char*>(&pid), sizeof pid);
    };
    struct Case {
        std::string bytes;
        int ageSeconds;
        LockResult expected;
    };
    for (const Case& c : {
             Case{binary(1), 0, LockResult::Busy},      // binary pid, alive
             Case{binary(gone), 0, LockResult::Locked}, // binary pid, gone
             Case{"1", 0, LockResult::Busy},            // ASCII without padding or newline
             Case{"   1 minicom root\n", 0, LockResult::Busy},
             Case{"", 0, LockResult::Busy},     // its owner has not written its pid yet
             Case{"  \n", 1, LockResult::Busy}, // nor a readable one
             Case{"", 10, LockResult::Locked},  // an owner that never will
             Case{"junk\n", 10, LockResult::Locked},
         }) {
        WriteRaw(c.bytes);
        Age(c.ageSeconds);
        EXPECT_EQ(AcquireUucpLock(path), c.expected) << testing::PrintToString(c.bytes);
        ReleaseUucpLock(path);
        ::unlink(path.c_str());
    }
}

TEST_F(UucpLockTest, OurLockAppearsComplete) {
    // Its pid is never written under the lock's own name, so nobody can find it empty.
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, dir.c_str(), IN_MODIFY | IN_CREATE), 0);
    ASSERT_EQ(AcquireUucpLock(path), LockResult::Locked);
    alignas(inotify_event) char events[4096];
    const ssize_t n = ::read(watch, events, sizeof events);
    ::close(watch);
    ASSERT_GT(n, 0);
    bool created = false;
    for (ssize_t at = 0; at < n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(events + at);
        if (e->len > 0 && dir + "/" + e->name == path) {
            EXPECT_FALSE(e->mask & IN_MODIFY);
            created = created || (e->mask & IN_CREATE) != 0;
        }
        at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
    }
    EXPECT_TRUE(created);
    ReleaseUucpLock(path);
    EXPECT_TRUE(std::filesystem::is_empty(dir)); // no temporary file left behind
}

TEST_F(UucpLockTest, APortIsLockedByItsRealNameAndRefusedWhileExclusive) {
    rig::PtyPair pty;
    ASSERT_TRUE(pty.Open());
    const std::string lock = UucpLockPath(dir, pty.path);
    const std::string link = dir + "/by-id";
    ASSERT_EQ(::symlink(pty.path.c_str(), link.c_str()), 0);
    auto port = OpenSerialPort(link, dir);
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(::access(lock.c_str(), F_OK), 0);
    EXPECT_EQ(OpenSerialPort(pty.path, dir), nullptr);
    port.reset();
    EXPECT_NE(::access(lock.c_str(), F_OK), 0);

    // Another program's exclusive mode keeps Pelko off even when it runs as root.
    ASSERT_EQ(::ioctl(pty.slave, TIOCEXCL), 0);
    EXPECT_EQ(OpenSerialPort(pty.path, dir), nullptr);
    EXPECT_NE(::access(lock.c_str(), F_OK), 0);
    ASSERT_EQ(::ioctl(pty.slave, TIOCNXCL), 0);
    EXPECT_NE(OpenSerialPort(pty.path, dir), nullptr);
}

} // namespace
} // namespace pelko::posix
