// The upload against the target simulator over a pty: the echo handshake, its progress texts,
// the pause box, and the ways a wait ends other than by an answer.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "serial/connection.h"
#include "settings/settings.h"
#include "tests/support/link.h"
#include "tests/support/private_dir.h"
#include "tools/rig/rig.h"
#include "upload/source.h"
#include "upload/upload.h"

namespace pelko::test {
namespace {

using namespace std::chrono_literals;

class UploadTest : public testing::Test, public LinkFixture {
protected:
    void SetUp() override {
        gwMaxColumn = 80;
        ResetLink();
        tty->fNewLine = 1;
    }
    void TearDown() override {
        CloseConnection(&win);
        gszSourcePath.clear();
    }
    void Connect(std::vector<std::string> args = {}) {
        args.insert(args.end(), {"--transcript", dir.Path() + "/transcript"});
        sim = rig::Simulator::Start(args);
        ASSERT_NE(sim, nullptr);
        map.com[1] = sim->Path();
        Install();
        tty->fConnected = 0;
        ASSERT_NE(OpenConnection(&win), 0);
    }
    void Source(const std::string& text) {
        gszSourcePath = dir.Path() + "/source.txt";
        std::ofstream(gszSourcePath, std::ios::binary) << text;
    }
    std::vector<std::string> Transcript() const {
        std::ifstream in(dir.Path() + "/transcript", std::ios::binary);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }
    // Lines "code1" .. "codeN", each ended by CR LF.
    static std::string Code(int n) {
        std::string text;
        for (int i = 1; i <= n; ++i) {
            text += "code" + std::to_string(i) + "\r\n";
        }
        return text;
    }

    PrivateDir dir;
    std::unique_ptr<rig::Simulator> sim;
};

TEST_F(UploadTest, FastUploadShowsADotEveryTenLinesAndReady) {
    ASSERT_NO_FATAL_FAILURE(Connect());
    Source(Code(25));
    EXPECT_EQ(UploadSource(&win, UploadMode::Fast), 1);
    EXPECT_EQ(tty.Row(0).substr(0, 20), "Loading ... Ready   ");
    EXPECT_EQ(Transcript().size(), 25u);
    EXPECT_EQ(Transcript().back(), "code25");
    EXPECT_EQ(gLink.gfUploading, 0);
    EXPECT_EQ(ghSourceFile, -1);
}

TEST_F(UploadTest, VisibleUploadShowsEachNumberAndAcceptedLine) {
    ASSERT_NO_FATAL_FAILURE(Connect());
    Source("a\r\n\r\n\\ note\r\n  b \\ c\r\n");
    EXPECT_EQ(UploadSource(&win, UploadMode::Visible), 1);
    EXPECT_EQ(tty.Row(0).substr(0, 8), "<1> a   ");
    EXPECT_EQ(tty.Row(1).substr(0, 8), "<4> b   ");
    EXPECT_EQ(tty.Row(2).substr(0, 8), " Ready  ");
    EXPECT_THAT(Transcript(), testing::ElementsAre("a", "b "));
    EXPECT_GE(win.Count("UpdateWindow"), 2u);
}

TEST_F(UploadTest, RejectedLineStopsTheUploadAndShowsItsEcho) {
    ASSERT_NO_FATAL_FAILURE(Connect({"--reject-line", "7"}));
    Source(Code(12));
    EXPECT_EQ(UploadSource(&win, UploadMode::Fast), 1);
    // Both texts reach the screen; which comes first is not fixed.
    ASSERT_TRUE(WaitForScreen("code7 ~ line 7 rejected"));
    EXPECT_EQ(Occurrences("Source Error in line <7> "), 1);
    EXPECT_EQ(Occurrences("Ready"), 0);
    EXPECT_EQ(Transcript().size(), 7u);
    EXPECT_EQ(gLink.gfUploading, 0);
    EXPECT_EQ(gLink.gfUpError, 1);
    EXPECT_EQ(gLink.gUploadSync, kUploadWaiting);
}

TEST_F(UploadTest, VisibleRejectionOfTheFirstLineShowsItsNumberTwice) {
    ASSERT_NO_FATAL_FAILURE(Connect({"--reject-word", "bad"}));
    Source("bad\r\ngood\r\n");
    UploadSource(&win, UploadMode::Visible);
    ASSERT_TRUE(WaitForScreen("bad ~ bad ?"));
    EXPECT_EQ(Occurrences("<1> "), 2);
    EXPECT_EQ(Occurrences("Source Error in line <1> "), 1);
    EXPECT_EQ(Transcript().size(), 1u);
}

TEST_F(UploadTest, PauseAsksAndGoesOnWhenClosed) {
    ASSERT_NO_FATAL_FAILURE(Connect());
    Source("one\r\n\\ kkk\r\ntwo\r\n");
    win.boxAnswers = {platform::IDCANCEL}; // closing the box any way goes on
    EXPECT_EQ(UploadSource(&win, UploadMode::Fast), 1);
    const auto boxes = win.Calls("MessageBox");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].s, "Continue?|Upload");
    EXPECT_EQ(boxes[0].n, std::vector<std::int64_t>{platform::MB_OK});
    EXPECT_THAT(Transcript(), testing::ElementsAre("one", "two"));
}

// A target that sends a stray '~' and CR just after accepting a line: the accepted verdict stands,
// and the stray text decides nothing.
TEST_F(UploadTest, StrayTildeAfterAnAcceptedLineChangesNothing) {
    ASSERT_NO_FATAL_FAILURE(Connect({"--stray-tilde"}));
    Source(Code(20));
    // The window thread looks at each answer only after the stray text has come as well.
    win.onCall = [&](const Call& c) {
        if (c.op == "WaitForEcho") {
            Eventually([&] { return gLink.gUploadSync.load() != kUploadWaiting; });
            std::this_thread::sleep_for(2ms);
        }
    };
    EXPECT_EQ(UploadSource(&win, UploadMode::Fast), 1);
    win.onCall = nullptr;
    EXPECT_EQ(gLink.end, UploadEnd::Ready) << Screen();
    EXPECT_EQ(Occurrences("Source Error"), 0);
    EXPECT_EQ(Transcript().size(), 20u);
}

TEST_F(UploadTest, NoConnectionNoUpload) {
    Source(Code(2));
    EXPECT_EQ(UploadSource(&win, UploadMode::Fast), 0);
    const auto boxes = win.Calls("MessageBox");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].s, std::string(gszNotConnectedStr) + "|Pelko v3.1");
    EXPECT_EQ(Occurrences("Loading"), 0);
}

TEST_F(UploadTest, EscEndsAWaitThatNoAnswerWouldEnd) {
    ASSERT_NO_FATAL_FAILURE(Connect({"--silent"}));
    Source(Code(3));
    std::thread esc([&] {
        Eventually([&] { return win.Count("WaitForEcho") > 0; });
        win.cancelEchoWait = true;
        win.WakeEchoWait();
    });
    EXPECT_EQ(UploadSource(&win, UploadMode::Fast), 1);
    esc.join();
    EXPECT_EQ(Occurrences("Loading Upload cancelled in line <1> "), 1) << Screen();
    EXPECT_EQ(gLink.gfUploading, 0);
    EXPECT_EQ(ghSourceFile, -1);
}

TEST_F(UploadTest, TargetGoneMidUploadEndsItAsALostConnection) {
    ASSERT_NO_FATAL_FAILURE(Connect({"--line-delay", "20"}));
    Source(Code(200));
    std::thread pull([&] {
        Eventually([&] { return Transcript().size() >= 3; });
        sim->Kill();
    });
    EXPECT_EQ(UploadSource(&win, UploadMode::Fast), 1);
    pull.join();
    EXPECT_EQ(Occurrences("Connection lost in line <"), 1);
    EXPECT_EQ(Occurrences("Source Error"), 0);
    // A second upload on the dead port does not start.
    win.Clear();
    EXPECT_EQ(UploadSource(&win, UploadMode::Fast), 0);
    EXPECT_EQ(win.Count("MessageBox"), 1u);
}

// Random source of code, comments, directives, blank and long lines: the target receives exactly
// what the reader hands out, nothing lost, doubled or reordered.
TEST_F(UploadTest, EveryLineTheReaderYieldsArrivesOnceAndInOrder) {
    std::mt19937 rng(20261207);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    auto word = [&] {
        std::string w;
        for (int i = 1 + pick(8); i > 0; --i) {
            w += static_cast<char>('a' + pick(26));
        }
        return w;
    };
    std::string text;
    const int lines = 100000;
    for (int i = 0; i < lines; ++i) {
        std::string line;
        switch (pick(10)) {
        case 0:
            break; // blank
        case 1:
            line = "\\ " + word() + " comment";
            break;
        case 2:
            line = word() + " \\ note \\ " + word();
            break;
        case 3:
            line = pick(50) == 0 ? "\\ kkk" : "   \t" + word();
            break;
        case 4:
            while (line.size() < 70) {
                line += word() + " ";
            }
            break;
        default:
            line = word() + " " + word() + " " + std::to_string(i);
        }
        text += line + (pick(4) == 0 ? "\r" : "\r\n");
    }
    Source(text);
    std::vector<std::string> expected;
    ASSERT_EQ(OpenSourceFile(&win), 1);
    gwSourceLine = 1;
    for (int got; (got = ReadSourceLine(&win)) != kSourceEnd;) {
        if (got == kSourceLine) {
            ASSERT_EQ(gsTXBuf[gwTXCol - 1], '\r');
            expected.emplace_back(reinterpret_cast<const char*>(gsTXBuf), gwTXCol - 1);
        }
    }
    CloseSourceFile();
    ASSERT_GT(expected.size(), 50000u);

    ASSERT_NO_FATAL_FAILURE(Connect());
    EXPECT_EQ(UploadSource(&win, UploadMode::Fast), 1);
    EXPECT_EQ(Occurrences("Ready"), 1);
    EXPECT_TRUE(Transcript() == expected);
}

} // namespace
} // namespace pelko::test
