// Runs every case in tests/fixtures/terminal: a start state, the bytes written, and the screen,
// cursor, invalidations and caret placements expected afterwards. The format is described in
// tests/fixtures/terminal/README.md.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>

#include "terminal/interpreter.h"
#include "terminal/view.h"
#include "tests/support/escapes.h"
#include "tests/support/recording_window.h"
#include "tests/support/terminal_record.h"

namespace pelko::test {
namespace {

namespace fs = std::filesystem;

struct Fixture {
    std::string name;
    bool newLine = false, autoWrap = false, hex = false, caret = false;
    int cx = 8, cy = 16, hpos = 0, vpos = 0;
    std::optional<std::pair<int, int>> start;
    std::string pre, in;
    std::optional<std::int32_t> length;
    std::map<int, std::string> rows;
    std::string others = "same";
    std::optional<std::pair<int, int>> cursor;
    std::optional<std::vector<std::string>> inval;  // "r,c" or "all"
    std::optional<std::vector<std::string>> carets; // "r,c"
    int result = 1;
};

std::vector<std::string> Words(const std::string& s) {
    std::istringstream is(s);
    std::vector<std::string> out;
    for (std::string w; is >> w;) {
        out.push_back(w);
    }
    return out;
}

// Expands "3,0-79" into "3,0" ... "3,79"; other words stay as they are.
std::vector<std::string> ExpandCells(const std::vector<std::string>& words) {
    std::vector<std::string> out;
    for (const std::string& w : words) {
        const auto comma = w.find(',');
        const auto dash = w.find('-', comma == std::string::npos ? 0 : comma);
        if (comma == std::string::npos || dash == std::string::npos) {
            out.push_back(w);
            continue;
        }
        const std::string row = w.substr(0, comma);
        const int from = std::stoi(w.substr(comma + 1, dash - comma - 1));
        const int to = std::stoi(w.substr(dash + 1));
        for (int c = from; c <= to; ++c) {
            out.push_back(row + "," + std::to_string(c));
        }
    }
    return out;
}

Fixture Load(const fs::path& path) {
    Fixture f;
    f.name = path.stem().string();
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const auto colon = line.find(':');
        if (colon == std::string::npos) {
            throw std::invalid_argument(f.name + ": no 'key: value' in: " + line);
        }
        const std::string key = line.substr(0, colon);
        const std::string value = colon + 1 < line.size() ? line.substr(colon + 2) : "";
        std::istringstream is(value);
        if (key == "options") {
            for (const std::string& w : Words(value)) {
                f.newLine |= w == "newline";
                f.autoWrap |= w == "autowrap";
                f.hex |= w == "hex";
            }
        } else if (key == "caret") {
            f.caret = value == "on";
        } else if (key == "cell") {
            is >> f.cx >> f.cy;
        } else if (key == "scroll") {
            is >> f.hpos >> f.vpos;
        } else if (key == "start") {
            int r = 0, c = 0;
            is >> r >> c;
            f.start = {r, c};
        } else if (key == "pre") {
            f.pre += Decode(value);
        } else if (key == "in") {
            f.in += Decode(value);
        } else if (key == "length") {
            f.length = std::stoi(value);
        } else if (key.rfind("row ", 0) == 0) {
            f.rows[std::stoi(key.substr(4))] = Decode(value);
        } else if (key == "others") {
            f.others = value;
        } else if (key == "cursor") {
            int r = 0, c = 0;
            is >> r >> c;
            f.cursor = {r, c};
        } else if (key == "inval") {
            f.inval = ExpandCells(Words(value));
        } else if (key == "carets") {
            f.carets = value == "none" ? std::vector<std::string>{} : ExpandCells(Words(value));
        } else if (key == "result") {
            f.result = std::stoi(value);
        } else {
            throw std::invalid_argument(f.name + ": unknown key " + key);
        }
    }
    return f;
}

std::vector<fs::path> FixtureFiles() {
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(fs::path(PELKO_FIXTURES) / "terminal")) {
        if (e.path().extension() == ".txt") {
            files.push_back(e.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

class InterpreterFixture : public testing::TestWithParam<fs::path> {};

TEST_P(InterpreterFixture, Matches) {
    const Fixture f = Load(GetParam());
    RecordingWindow win;
    AttachedRecord tty(win, f.cx, f.cy);
    tty->fNewLine = f.newLine;
    tty->fAutoWrap = f.autoWrap;
    tty->fHexPrint = f.hex;
    tty->nHScrollPos = f.hpos;
    tty->nVScrollPos = f.vpos;
    tty->fConnected = f.caret ? 1 : 0;
    tty->wCaretState = f.caret ? 1 : 0;
    if (!f.pre.empty()) {
        WriteTTYBlock(&win, f.pre.data(), static_cast<std::int32_t>(f.pre.size()));
    }
    if (f.start) {
        tty->nCursorRow = f.start->first;
        tty->nCursorCol = f.start->second;
    }
    std::vector<std::string> before;
    for (int r = 0; r < kScreenRows; ++r) {
        before.push_back(tty.Row(r));
    }
    win.Clear();

    const std::int32_t length = f.length.value_or(static_cast<std::int32_t>(f.in.size()));
    EXPECT_EQ(WriteTTYBlock(&win, f.in.data(), length), f.result);

    for (int r = 0; r < kScreenRows; ++r) {
        std::string want;
        if (auto it = f.rows.find(r); it != f.rows.end()) {
            want = it->second;
            want.resize(kScreenCols, ' ');
        } else if (f.others == "blank") {
            want = std::string(kScreenCols, ' ');
        } else {
            want = before[static_cast<std::size_t>(r)];
        }
        EXPECT_EQ(tty.Row(r), want) << "row " << r;
    }
    if (f.cursor) {
        EXPECT_EQ(tty->nCursorRow.load(), f.cursor->first) << "cursor row";
        EXPECT_EQ(tty->nCursorCol.load(), f.cursor->second) << "cursor column";
    }
    if (f.inval) {
        std::vector<std::string> got;
        for (const Call& c : win.Calls()) {
            if (c.op == "InvalidateAll") {
                EXPECT_EQ(c.n[0], 0) << "a scroll must not erase";
                got.push_back("all");
            } else if (c.op == "InvalidateRect") {
                EXPECT_EQ(c.n[4], 0) << "a cell must not erase";
                EXPECT_EQ(c.n[2] - c.n[0], f.cx);
                EXPECT_EQ(c.n[3] - c.n[1], f.cy);
                const auto col = (c.n[0] + f.hpos) / f.cx;
                const auto row = (c.n[1] + f.vpos) / f.cy;
                EXPECT_EQ(col * f.cx - f.hpos, c.n[0]) << "rectangle off the cell grid";
                got.push_back(std::to_string(row) + "," + std::to_string(col));
            }
        }
        EXPECT_EQ(got, *f.inval);
    }
    if (f.carets) {
        std::vector<std::string> got;
        for (const Call& c : win.Calls("SetCaretPos")) {
            got.push_back(std::to_string((c.n[1] + f.vpos) / f.cy) + "," +
                          std::to_string((c.n[0] + f.hpos) / f.cx));
        }
        EXPECT_EQ(got, *f.carets);
    }
}

INSTANTIATE_TEST_SUITE_P(Terminal, InterpreterFixture, testing::ValuesIn(FixtureFiles()),
                         [](const testing::TestParamInfo<fs::path>& info) {
                             std::string name = info.param.stem().string();
                             for (char& ch : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) {
                                     ch = '_';
                                 }
                             }
                             return name;
                         });

} // namespace
} // namespace pelko::test
