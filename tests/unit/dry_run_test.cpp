// pelko --dry-run lists what the reader yields: each reader case of one file with a column limit
// the command line can set (80, or 40 with --max40), its expected lines, pauses and boxes in the
// dry run's format.
#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "cli/headless.h"
#include "tests/support/private_dir.h"
#include "tests/support/source_fixture.h"

namespace pelko::test {
namespace {

namespace fs = std::filesystem;

// What the dry run should print for a case's events.
std::string Expected(const SourceCase& c) {
    std::string out;
    char num[16];
    for (const std::string& e : c.events) {
        const auto colon = e.find(": ");
        const std::string key = e.substr(0, colon);
        const std::string value = e.substr(colon + 2);
        if (key.rfind("line ", 0) == 0) {
            const bool cr = !value.empty() && value.back() == '\r';
            std::snprintf(num, sizeof num, "%5s %c ", key.substr(5).c_str(), cr ? '|' : '+');
            out += num + value.substr(0, value.size() - (cr ? 1 : 0)) + "\n";
        } else if (key == "pause") {
            out += "      = pause\n";
        } else if (key == "box") {
            out += "      ! " + value.substr(0, value.find('\n')) + "\n"; // its first line only
        }
    }
    return out;
}

// Runs the dry run with its standard output in a file; what it printed.
std::string DryRun(const cli::Options& o, int& status) {
    std::fflush(stdout);
    const std::string path = o.file + ".out";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int saved = ::dup(STDOUT_FILENO);
    ::dup2(fd, STDOUT_FILENO);
    status = cli::RunDryRun(o);
    std::fflush(stdout);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    ::close(fd);
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(DryRun, ListsWhatTheReaderYields) {
    PrivateDir dir; // no PELKO.SET here: 80 columns unless --max40
    int cases = 0;
    for (const auto& entry : fs::directory_iterator(fs::path(PELKO_FIXTURES) / "source")) {
        if (entry.path().extension() != ".txt") {
            continue;
        }
        const SourceCase c = LoadSourceCase(entry.path());
        if (c.start != 1 || (c.limit != 80 && c.limit != 40) || !c.files.empty()) {
            continue;
        }
        cli::Options o;
        o.action = cli::Action::DryRun;
        o.max40 = c.limit == 40;
        o.file = dir.Path() + "/" + entry.path().stem().string() + ".src";
        std::ofstream(o.file, std::ios::binary) << c.file;
        int status = -1;
        EXPECT_EQ(DryRun(o, status), Expected(c)) << entry.path().stem();
        EXPECT_EQ(status, cli::kExitOk) << entry.path().stem();
        ++cases;
    }
    EXPECT_GE(cases, 10);
}

} // namespace
} // namespace pelko::test
