#include "tests/support/escapes.h"

#include <cctype>
#include <stdexcept>

namespace pelko::test {

namespace {

// Reads one unit at `i` (a plain character or an escape) and returns its bytes.
std::string Unit(const std::string& t, std::size_t& i) {
    if (i >= t.size()) {
        throw std::invalid_argument("escape at end of text: " + t);
    }
    if (t[i] != '\\') {
        return std::string(1, t[i++]);
    }
    if (++i >= t.size()) {
        throw std::invalid_argument("lone backslash: " + t);
    }
    const char e = t[i++];
    switch (e) {
    case 'r':
        return "\r";
    case 'n':
        return "\n";
    case 'b':
        return "\b";
    case 't':
        return "\t";
    case '\\':
        return "\\";
    case 'x': {
        if (i + 2 > t.size() || !std::isxdigit(static_cast<unsigned char>(t[i])) ||
            !std::isxdigit(static_cast<unsigned char>(t[i + 1]))) {
            throw std::invalid_argument("bad \\x escape: " + t);
        }
        const char byte = static_cast<char>(std::stoi(t.substr(i, 2), nullptr, 16));
        i += 2;
        return std::string(1, byte);
    }
    case '*': {
        std::size_t digits = 0;
        while (i + digits < t.size() && std::isdigit(static_cast<unsigned char>(t[i + digits]))) {
            ++digits;
        }
        if (digits == 0) {
            throw std::invalid_argument("\\* without a count: " + t);
        }
        const std::size_t count = std::stoul(t.substr(i, digits));
        i += digits;
        std::string unit;
        if (i < t.size() && t[i] == '(') {
            const auto close = t.find(')', i);
            if (close == std::string::npos) {
                throw std::invalid_argument("unclosed \\*N( group: " + t);
            }
            unit = Decode(t.substr(i + 1, close - i - 1));
            i = close + 1;
        } else {
            unit = Unit(t, i);
        }
        std::string out;
        for (std::size_t k = 0; k < count; ++k) {
            out += unit;
        }
        return out;
    }
    default:
        throw std::invalid_argument(std::string("unknown escape \\") + e + " in: " + t);
    }
}

} // namespace

std::string Decode(const std::string& text) {
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        out += Unit(text, i);
    }
    return out;
}

} // namespace pelko::test
