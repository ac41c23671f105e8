// The write path (typed characters, local echo, "<COM Error>") and one read of the port, with a
// scripted port in the record.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "platform/null_window.h"
#include "serial/receive.h"
#include "serial/transmit.h"
#include "terminal/interpreter.h"
#include "tests/support/fake_port.h"
#include "tests/support/recording_window.h"
#include "tests/support/terminal_record.h"

namespace pelko::test {
namespace {

using platform::WriteStatus;

class WritePathTest : public testing::Test {
protected:
    void SetUp() override {
        tty->hCommPort = std::make_unique<FakePort>(port);
        tty->fConnected = 1;
    }
    RecordingWindow win;
    AttachedRecord tty{win};
    std::shared_ptr<FakePortState> port = std::make_shared<FakePortState>();
};

TEST_F(WritePathTest, WriteResultsAndTheirTraces) {
    const std::uint8_t line[] = {'1', ' ', '2', '+', '\r'};
    struct Case {
        WriteStatus status;
        int result;
        const char* screen;
    };
    for (const Case& c : {Case{WriteStatus::Complete, 1, ""}, Case{WriteStatus::TimedOut, 1, ""},
                          Case{WriteStatus::FailedLater, 1, "<COM Error>"},
                          Case{WriteStatus::FailedAtOnce, 0, ""}}) {
        AttachedRecord fresh(win);
        auto state = std::make_shared<FakePortState>();
        state->writeStatus = c.status;
        fresh->hCommPort = std::make_unique<FakePort>(state);
        EXPECT_EQ(WriteCommBlock(&win, line, sizeof line), c.result);
        EXPECT_EQ(fresh.Row(0).substr(0, 11),
                  std::string(c.screen).append(11 - std::strlen(c.screen), ' '));
        if (c.status != WriteStatus::FailedAtOnce) {
            EXPECT_EQ(state->Written(), "1 2+\r"); // one write, exactly as handed over
        }
    }
}

TEST_F(WritePathTest, NoRecordOrNoPortWritesNothing) {
    const std::uint8_t b = 'x';
    tty->hCommPort.reset();
    EXPECT_EQ(WriteCommBlock(&win, &b, 1), 0);
    platform::NullWindow none;
    EXPECT_EQ(WriteCommBlock(&none, &b, 1), 0);
    EXPECT_EQ(ProcessTTYCharacter(&none, 'x'), 0);
}

TEST_F(WritePathTest, TypedByteGoesOutAsTypedThenEchoes) {
    tty->fLocalEcho = 1;
    port->writeStatus = WriteStatus::FailedAtOnce; // a dead port still echoes
    EXPECT_EQ(ProcessTTYCharacter(&win, 'a'), 1);
    port->writeStatus = WriteStatus::Complete;
    EXPECT_EQ(ProcessTTYCharacter(&win, 0xE9), 1);
    EXPECT_EQ(port->Written(), "\xE9");
    EXPECT_EQ(tty.Row(0).substr(0, 3), "a\xE9 ");
}

TEST_F(WritePathTest, NotConnectedSendsAndEchoesNothing) {
    tty->fLocalEcho = 1;
    tty->fConnected = 0;
    EXPECT_EQ(ProcessTTYCharacter(&win, 'a'), 0);
    EXPECT_EQ(port->Written(), "");
    EXPECT_EQ(tty.Row(0)[0], ' ');
}

TEST_F(WritePathTest, EchoedCarriageReturnActsLikeAReceivedOne) {
    tty->fLocalEcho = 1;
    tty->fNewLine = 1;
    ProcessTTYCharacter(&win, 'a');
    ProcessTTYCharacter(&win, '\r');
    EXPECT_EQ(tty->nCursorRow, 1);
    EXPECT_EQ(tty->nCursorCol, 0);
    EXPECT_EQ(port->Written(), "a\r");
}

TEST_F(WritePathTest, ReadTakesAtMostTheBlockAndOnlyWhatIsThere) {
    port->Receive(std::string(200, 'r'));
    std::uint8_t buf[kReadBlockSize];
    EXPECT_EQ(ReadCommBlock(&win, buf, kReadBlockSize), 80);
    EXPECT_EQ(ReadCommBlock(&win, buf, kReadBlockSize), 80);
    EXPECT_EQ(ReadCommBlock(&win, buf, kReadBlockSize), 40);
    EXPECT_EQ(ReadCommBlock(&win, buf, kReadBlockSize), 0);
    EXPECT_THAT(port->Reads(), testing::ElementsAre(80, 80, 40)); // no read of nothing
    port->Die();
    EXPECT_EQ(ReadCommBlock(&win, buf, kReadBlockSize), 0);
    EXPECT_EQ(ReadCommBlock(nullptr, buf, kReadBlockSize), 0);
}

} // namespace
} // namespace pelko::test
