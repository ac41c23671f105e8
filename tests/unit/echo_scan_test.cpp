// The receive side of the upload handshake and the line-number text.
#include <gtest/gtest.h>

#include <string>

#include "upload/upload.h"

namespace pelko::test {
namespace {

class EchoScanTest : public testing::Test {
protected:
    void SetUp() override {
        ResetLink();
        l.gfUploading = 1;
        ASSERT_TRUE(ArmLine());
    }
    void TearDown() override { ResetLink(); }
    static int Scan(const std::string& s) {
        return ScanCommBlock(reinterpret_cast<const std::uint8_t*>(s.data()),
                             static_cast<std::int32_t>(s.size()));
    }
    static std::string Echo() {
        std::uint8_t out[kRXBufSize];
        const std::int32_t n = TakeEcho(out);
        return {reinterpret_cast<const char*>(out), static_cast<std::size_t>(n)};
    }
    UploadLink& l = gLink;
};

TEST_F(EchoScanTest, TildeInAnEarlierBlockRejectsAtTheCrAndTheLfIsNotKept) {
    EXPECT_EQ(Scan("xy"), kScanPending);
    EXPECT_EQ(l.gUploadSync, kUploadWaiting);
    EXPECT_EQ(Scan("~z\r\n"), kScanRejected);
    EXPECT_EQ(Echo(), "xy~z\r");
    EXPECT_EQ(l.gUploadSync, kUploadRejected);
    EXPECT_EQ(l.gfUploading, 0);
}

TEST_F(EchoScanTest, CrInTheMiddleAcceptsAndDropsTheRest) {
    // Counts of 0 and below take nothing, not even a CR.
    EXPECT_EQ(ScanCommBlock(reinterpret_cast<const std::uint8_t*>("\r"), 0), kScanPending);
    EXPECT_EQ(ScanCommBlock(reinterpret_cast<const std::uint8_t*>("\r"), -1), kScanPending);
    EXPECT_EQ(l.gwRXCol, 0);
    EXPECT_EQ(Scan("ab\rcd~\r"), kScanAccepted);
    EXPECT_EQ(Echo(), "ab\r");
    EXPECT_EQ(l.gUploadSync, kUploadAccepted);
    EXPECT_EQ(l.gfUploading, 1);
    EXPECT_EQ(l.gfUpError, 0);
    // The verdict stands until the next line is armed: a stray '~' and CR change nothing, and
    // neither does the port dying now.
    EXPECT_EQ(Scan("~\r"), kScanPending);
    EXPECT_TRUE(EndUploadLinkLost());
    EXPECT_EQ(l.gUploadSync, kUploadAccepted);
    EXPECT_EQ(Echo(), "ab\r");
    // The upload is over, so no next line can be armed.
    EXPECT_FALSE(ArmLine());
}

// An echo longer than the buffer keeps its start, and the handshake still decides at its CR.
TEST_F(EchoScanTest, OverlongEchoStaysInTheBufferAndStillDecides) {
    const std::string head(300, 'a');
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(Scan(head), kScanPending);
    }
    EXPECT_EQ(Scan("~"), kScanPending);
    EXPECT_EQ(Scan("\r"), kScanRejected);
    const std::string echo = Echo();
    ASSERT_EQ(echo.size(), kRXBufSize - 1);
    EXPECT_EQ(echo.back(), '\r');
    EXPECT_EQ(echo.substr(0, 254), std::string(254, 'a'));
    EXPECT_EQ(l.gsRXBuf[kRXBufSize - 1], 0);
}

TEST(LineNumberText, DigitsWithoutLeadingZerosBetweenBrackets) {
    char text[10];
    const std::pair<std::int32_t, std::string> cases[] = {
        {7, "<7> "}, {100, "<100> "}, {65535, "<65535> "}, {0, "<> "}, {10000, "<10000> "}};
    for (const auto& [value, want] : cases) {
        EXPECT_EQ(IToDecString(value, text), static_cast<int>(want.size()));
        EXPECT_EQ(std::string(text), want);
    }
    // Wider values than the counter's still fit the text.
    EXPECT_EQ(IToDecString(-1, text), 8);
}

} // namespace
} // namespace pelko::test
