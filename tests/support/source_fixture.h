#pragma once
// The source reader's fixture files (tests/fixtures/source, format in its README.md).
//   LoadSourceCase(path)   the case's limit, start line, file bytes (and those of the files it
//                            includes) and expected events;
//                            throws std::invalid_argument on a malformed file
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace pelko::test {

struct SourceCase {
    std::uint16_t limit = 80;
    std::uint16_t start = 1;
    std::string file;
    std::map<std::string, std::string> files; // further files by name, for includes
    std::vector<std::string> events;          // "line N: <bytes>", "pause: N", "box: text", ...
};

SourceCase LoadSourceCase(const std::filesystem::path& path);

} // namespace pelko::test
