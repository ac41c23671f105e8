// The Telnet port against the real ser2net, started on a free loopback port in front of a socat
// pty pair: ser2net serves end A, the test plays the target on end B.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "posix/telnet_port.h"
#include "posix/telnet_protocol.h"
#include "resources/globals.h"
#include "serial/connection.h"
#include "serial/receive.h"
#include "serial/transmit.h"
#include "settings/settings.h"
#include "terminal/interpreter.h"
#include "tests/support/link.h"
#include "tools/rig/rig.h"

namespace pelko::test {
namespace {

namespace tn = posix::telnet;

class TelnetLinkTest : public testing::Test, public LinkFixture {
protected:
    void Start(bool kickOldUser = true) {
        ser2net = rig::Ser2net::Start(kickOldUser);
        ASSERT_NE(ser2net, nullptr) << "ser2net and socat must be installed (scripts/deps.sh)";
        map.telnetHost = "127.0.0.1";
        map.telnetPort = ser2net->Port();
        Install();
        tty->bPortNum = 5;
        tty->fConnected = 0;
    }
    // Connects and waits until the server has agreed to every option, and so has the device
    // open; then empties the target's end of whatever was queued before.
    void ConnectAndSettle() {
        ASSERT_NE(OpenConnectionAndWait(&win), 0);
        auto* port = dynamic_cast<posix::TelnetPort*>(OpenPort());
        ASSERT_NE(port, nullptr);
        ASSERT_TRUE(Eventually([&] {
            return port->Agreed(tn::kOptBinary) && port->Agreed(tn::kOptSuppressGoAhead) &&
                   port->Agreed(tn::kOptComPort);
        })) << ser2net->Log();
        target = OpenRawTty(ser2net->DeviceB());
        ASSERT_GE(target, 0);
    }
    void TearDown() override {
        if (target >= 0) {
            ::close(target);
        }
    }
    std::unique_ptr<rig::Ser2net> ser2net;
    int target = -1;
};

TEST_F(TelnetLinkTest, NegotiatesAndCarriesEveryByteValueBothWays) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_NO_FATAL_FAILURE(ConnectAndSettle());
    std::string all;
    for (int i = 0; i < 3; ++i) { // three rounds of 0x00..0xFF, IACs included
        for (int b = 0; b < 256; ++b) {
            all.push_back(static_cast<char>(b));
        }
    }
    EXPECT_EQ(WriteCommBlock(&win, reinterpret_cast<const std::uint8_t*>(all.data()),
                             static_cast<std::int32_t>(all.size())),
              1);
    EXPECT_EQ(ReadFor(target, all.size()), all);

    tty->fHexPrint = 1; // every byte shows as its two digits
    ASSERT_TRUE(WriteAll(target, all.substr(0, 256)));
    RecordingWindow other;
    AttachedRecord reference(other);
    reference->fHexPrint = 1;
    WriteTTYBlock(&other, all.data(), 256);
    ASSERT_TRUE(Eventually([&] {
        std::lock_guard lock(tty->screenLock);
        return std::equal(std::begin(tty->achScreen), std::end(tty->achScreen),
                          std::begin(reference->achScreen));
    })) << Screen();
}

TEST_F(TelnetLinkTest, BaudRateGoesThroughToTheDevice) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_NO_FATAL_FAILURE(ConnectAndSettle());
    EXPECT_EQ(SttySpeed(ser2net->DeviceA()), "19200"); // set at open, not ser2net's 9600
    tty->dwBaudRate = 57600;
    EXPECT_EQ(SetupConnection(&win), 1);
    EXPECT_TRUE(Eventually([&] { return SttySpeed(ser2net->DeviceA()) == "57600"; }));
    auto* port = dynamic_cast<posix::TelnetPort*>(OpenPort());
    EXPECT_TRUE(Eventually([&] { return port->ServerBaudRate() == 57600u; }));
}

TEST_F(TelnetLinkTest, VanishingDeviceEndsTheLinkAndIsReportedOnce) {
    gRunOverrides.noReconnect = true;
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_NO_FATAL_FAILURE(ConnectAndSettle());
    ::close(target);
    target = -1;
    ser2net->KillSocat();
    ASSERT_TRUE(Eventually([&] { return tty->dwWatchThreadId == 0u; }));
    EXPECT_EQ(win.Count("PostConnectionLost"), 1u);
    EXPECT_EQ(Occurrences(gszComError), 1);
    EXPECT_EQ(ConnectionLost(&win), 1);
    EXPECT_EQ(ConnectionLost(&win), 0);
    EXPECT_EQ(ProcessTTYCharacter(&win, 'x'), 1); // returns at once into the dead link
    EXPECT_EQ(CloseConnection(&win), 1);
}

TEST_F(TelnetLinkTest, PortAlreadyInUseIsShownAndEndsTheLink) {
    ASSERT_NO_FATAL_FAILURE(Start(false));
    // Someone else holds the port.
    const int other = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(ser2net->Port());
    ASSERT_EQ(::connect(other, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));

    ASSERT_NE(OpenConnectionAndWait(&win), 0);
    EXPECT_TRUE(WaitForScreen("Port already in use")) << Screen();
    ASSERT_TRUE(Eventually([&] { return tty->dwWatchThreadId == 0u; }));
    EXPECT_EQ(win.Count("PostConnectionLost"), 1u);
    EXPECT_EQ(ConnectionLost(&win), 1);
    ::close(other);
}

} // namespace
} // namespace pelko::test
