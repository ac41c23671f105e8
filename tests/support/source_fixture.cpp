#include "tests/support/source_fixture.h"

#include <fstream>
#include <stdexcept>

#include "tests/support/escapes.h"

namespace pelko::test {

SourceCase LoadSourceCase(const std::filesystem::path& path) {
    SourceCase f;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const auto colon = line.find(':');
        if (colon == std::string::npos) {
            throw std::invalid_argument(path.stem().string() + ": no 'key: value' in: " + line);
        }
        const std::string key = line.substr(0, colon);
        const std::string value = colon + 1 < line.size() ? line.substr(colon + 2) : "";
        if (key == "limit") {
            f.limit = static_cast<std::uint16_t>(std::stoul(value));
        } else if (key == "start") {
            f.start = static_cast<std::uint16_t>(std::stoul(value));
        } else if (key == "file") {
            f.file += Decode(value);
        } else if (key.rfind("file ", 0) == 0) {
            f.files[key.substr(5)] += Decode(value);
        } else if (key.rfind("line ", 0) == 0 || key == "box") {
            f.events.push_back(key + ": " + Decode(value));
        } else if (key == "pause" || key == "dropped" || key == "skip" || key == "end") {
            f.events.push_back(key + ": " + value);
        } else {
            throw std::invalid_argument(path.stem().string() + ": unknown key " + key);
        }
    }
    return f;
}

} // namespace pelko::test
