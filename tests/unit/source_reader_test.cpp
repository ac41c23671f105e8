// The source reader: every case in tests/fixtures/source (format in its README.md) read as one
// upload, from the file and from the same bytes in memory (a paste), with the files it includes
// beside it, then the refusals of OpenSourceFile and the read errors.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "settings/settings.h"
#include "tests/support/escapes.h"
#include "tests/support/private_dir.h"
#include "tests/support/recording_window.h"
#include "tests/support/source_fixture.h"
#include "upload/source.h"

namespace pelko::test {
namespace {

namespace fs = std::filesystem;

constexpr unsigned kBoxStyle = platform::MB_OK | platform::MB_ICONEXCLAMATION;

// Sets the column limit for one test and puts the previous one back.
struct Limit {
    explicit Limit(std::uint16_t limit) : saved(gwMaxColumn) { gwMaxColumn = limit; }
    ~Limit() { gwMaxColumn = saved; }
    std::uint16_t saved;
};

std::string WriteSource(const PrivateDir& dir, const std::string& bytes) {
    const std::string path = dir.Path() + "/source.txt";
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

// The boxes shown since the last call, as events; each must look as the reader's boxes do.
void TakeBoxes(RecordingWindow& win, std::vector<std::string>& events) {
    for (const Call& c : win.Calls("MessageBox")) {
        EXPECT_EQ(c.n, std::vector<std::int64_t>{kBoxStyle}) << c;
        const auto bar = c.s.rfind('|');
        EXPECT_EQ(c.s.substr(bar + 1), "") << "the reader's boxes have no caption";
        events.push_back("box: " + c.s.substr(0, bar));
    }
    win.Clear();
}

std::vector<fs::path> FixtureFiles() {
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(fs::path(PELKO_FIXTURES) / "source")) {
        if (e.path().extension() == ".txt") {
            files.push_back(e.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

class SourceFixture : public testing::TestWithParam<std::tuple<fs::path, bool>> {};

TEST_P(SourceFixture, Matches) {
    const auto& [path, fromText] = GetParam();
    const SourceCase f = LoadSourceCase(path);
    PrivateDir dir; // the working folder, where relative names start
    Limit limit(f.limit);
    RecordingWindow win;
    WriteSource(dir, f.file);
    for (const auto& [name, bytes] : f.files) {
        if (fs::path(name).has_parent_path()) {
            fs::create_directories(fs::path(name).parent_path());
        }
        std::ofstream(name, std::ios::binary) << bytes;
    }
    gszSourcePath = "source.txt";
    std::vector<std::string> got;
    const bool refused =
        (fromText ? OpenSourceText(&win, f.file, "source.txt") : OpenSourceFile(&win)) == 0;
    if (refused) {
        TakeBoxes(win, got);
        got.push_back("end: refused");
    }

    gwSourceLine = f.start;
    for (int calls = 0; !refused && calls < 10000; ++calls) {
        const int result = ReadSourceLine(&win);
        TakeBoxes(win, got);
        const SourcePlace at = SourceWhere();
        // N, and in an included file its name behind it.
        const std::string n = std::to_string(gwSourceLine) + (at.from.empty() ? "" : " " + at.file);
        EXPECT_EQ(static_cast<std::uint16_t>(at.line - 1 + (at.from.empty() ? f.start : 1)),
                  gwSourceLine)
            << n;
        if (result == kSourceLine) {
            ASSERT_GT(gwTXCol, 0) << "an empty line handed out";
            EXPECT_GE(at.lines, at.line) << n << ": the file's lines, counted at opening";
            const std::string line(reinterpret_cast<const char*>(gsTXBuf), gwTXCol);
            if (line.back() == '\r') {
                EXPECT_EQ(gsTXBuf[gwTXCol], 0) << "no NUL behind the CR";
            }
            got.push_back("line " + n + ": " + line);
            if (gfHighDropped != 0) {
                got.push_back("dropped: " + n);
            }
            ++gwSourceLine; // as the upload loop does after each line it sent
        } else if (result == kSourcePause) {
            got.push_back("pause: " + n);
        } else if (result == kSourceSkip) {
            got.push_back("skip: " + n);
        } else {
            got.push_back(result == kSourceEnd ? "end: " + n : "result " + std::to_string(result));
            break;
        }
    }
    CloseSourceFile();
    gszSourcePath.clear();
    EXPECT_EQ(got, f.events);
}

INSTANTIATE_TEST_SUITE_P(Source, SourceFixture,
                         testing::Combine(testing::ValuesIn(FixtureFiles()), testing::Bool()),
                         [](const testing::TestParamInfo<std::tuple<fs::path, bool>>& info) {
                             return std::get<0>(info.param).stem().string() +
                                    (std::get<1>(info.param) ? "_text" : "_file");
                         });

TEST(OpenSourceFile, RefusesWhatIsNoRegularFileAndSaysWhy) {
    PrivateDir dir;
    const std::string fifo = dir.Path() + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string missing = dir.Path() + "/missing.txt";
    // A FIFO without a writer would block an open that waits, and a device is no source file.
    const std::pair<std::string, std::string> cases[] = {
        {"", "No source file has been selected."},
        {missing, missing + ": No such file or directory"},
        {dir.Path(), dir.Path() + ": not a regular file"},
        {fifo, fifo + ": not a regular file"},
        {"/dev/null", "/dev/null: not a regular file"},
    };
    for (const auto& [path, detail] : cases) {
        RecordingWindow win;
        gszSourcePath = path;
        EXPECT_EQ(OpenSourceFile(&win), 0) << path;
        EXPECT_EQ(ghSourceFile, -1) << path;
        EXPECT_EQ(win.Calls("MessageBox"),
                  (std::vector<Call>{
                      {"MessageBox", {kBoxStyle}, "Unable to open Source File!\n" + detail + "|"}}))
            << path;
    }
    gszSourcePath.clear();
}

TEST(OpenSourceFile, EveryUploadStartsAtTheTop) {
    PrivateDir dir;
    RecordingWindow win;
    gszSourcePath = WriteSource(dir, "one\r\ntwo\r\n");
    for (int upload = 0; upload < 2; ++upload) {
        ASSERT_EQ(OpenSourceFile(&win), 1);
        ASSERT_EQ(ReadSourceLine(&win), kSourceLine);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(gsTXBuf), gwTXCol), "one\r");
        CloseSourceFile();
        EXPECT_EQ(ghSourceFile, -1);
    }
    CloseSourceFile(); // closing twice is harmless
    EXPECT_EQ(win.Count("MessageBox"), 0U);
    gszSourcePath.clear();
}

// A read that fails ends the reading with "File Read Error!", inside a comment as well as
// between lines; bytes read before the failure are still handed out.
TEST(ReadSourceLine, ReadErrorEndsTheFile) {
    PrivateDir dir;
    RecordingWindow win;
    Limit limit(80); // whatever an earlier test left behind
    gszSourcePath = WriteSource(dir, "a\r\nb \\ " + std::string(10000, 'x') + "\r\nc\r\n");
    ASSERT_EQ(OpenSourceFile(&win), 1);
    ASSERT_EQ(ReadSourceLine(&win), kSourceLine);
    // From here on the descriptor reads a directory, which fails.
    const int dirFd = ::open(dir.Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(dirFd, 0);
    ASSERT_EQ(::dup2(dirFd, ghSourceFile), ghSourceFile);
    ::close(dirFd);

    EXPECT_EQ(ReadSourceLine(&win), kSourceEnd); // fails in the comment
    EXPECT_EQ(ReadSourceLine(&win), kSourceEnd); // fails at the start of a line
    const Call box{"MessageBox", {kBoxStyle}, "File Read Error!|"};
    EXPECT_EQ(win.Calls("MessageBox"), (std::vector<Call>{box, box}));
    CloseSourceFile();
    gszSourcePath.clear();
}

} // namespace
} // namespace pelko::test
