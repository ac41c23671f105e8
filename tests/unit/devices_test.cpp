// Where the port names lead, the options that move them, and the UUCP lock files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "platform/port.h"
#include "posix/devices.h"
#include "posix/uucp_lock.h"
#include "serial/connection.h"

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

TEST(DeviceOptions, NoOptionsChangeNothing) {
    Args a({"pelko", "-platform", "offscreen"});
    const DeviceOptions o = ParseDeviceOptions(a.argc, a.ptrs.data());
    EXPECT_EQ(o.action, OptionsAction::Run);
    EXPECT_EQ(o.map.Describe("COM2"), DeviceMap().Describe("COM2"));
    EXPECT_EQ(o.map.Describe(PortDeviceName(9)), "127.0.0.1:2217");
    EXPECT_THAT(a.Left(), ElementsAre("pelko", "-platform", "offscreen"));
}

TEST(DeviceOptions, RemapPortsAndLeaveOtherArgumentsInOrder) {
    Args a({"pelko", "--com1=/dev/ttyUSB0", "-style", "--com4", "/dev/pts/9", "fusion",
            "--telnet=lab.example:4001"});
    const DeviceOptions o = ParseDeviceOptions(a.argc, a.ptrs.data());
    ASSERT_EQ(o.action, OptionsAction::Run) << o.error;
    EXPECT_EQ(o.map.Describe("COM1"), "/dev/ttyUSB0");
    EXPECT_EQ(o.map.Describe("COM2"), "/dev/ttyS1");
    EXPECT_EQ(o.map.Describe("COM4"), "/dev/pts/9");
    EXPECT_EQ(o.map.Describe(PortDeviceName(5)), "lab.example:4001");
    EXPECT_THAT(a.Left(), ElementsAre("pelko", "-style", "fusion"));
    EXPECT_EQ(a.ptrs[static_cast<std::size_t>(a.argc)], nullptr);

    Args v6({"pelko", "--telnet", "[::1]:2217"});
    const DeviceOptions o6 = ParseDeviceOptions(v6.argc, v6.ptrs.data());
    EXPECT_EQ(o6.map.telnetHost, "::1");
    EXPECT_EQ(o6.map.Describe(PortDeviceName(5)), "[::1]:2217");
}

TEST(DeviceOptions, HelpAndErrors) {
    Args h({"pelko", "--help"});
    EXPECT_EQ(ParseDeviceOptions(h.argc, h.ptrs.data()).action, OptionsAction::Help);
    const std::string help = DeviceOptionsHelp("pelko");
    EXPECT_THAT(help, testing::HasSubstr("--com1=/dev/ttyUSB0"));
    EXPECT_THAT(help, testing::HasSubstr("--telnet=HOST:PORT"));

    for (std::vector<std::string> bad : {std::vector<std::string>{"pelko", "--com2"},
                                         {"pelko", "--com3="},
                                         {"pelko", "--telnet=nohostport"},
                                         {"pelko", "--telnet=host:0"},
                                         {"pelko", "--telnet=host:99999"},
                                         {"pelko", "--telnet", "[::1]2217"}}) {
        Args a(bad);
        const DeviceOptions o = ParseDeviceOptions(a.argc, a.ptrs.data());
        EXPECT_EQ(o.action, OptionsAction::Error) << bad.back();
        EXPECT_FALSE(o.error.empty());
        EXPECT_EQ(a.argc, static_cast<int>(bad.size())); // argv untouched
    }
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

} // namespace
} // namespace pelko::posix
