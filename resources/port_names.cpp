#include "resources/port_names.h"

#include <cctype>

#include "resources/resources.h"

namespace pelko {

namespace {

constexpr std::size_t kPrefixSize = 10; // the string table entry is read into 10 characters

std::string ComPrefix() {
    return LoadString(IDS_COMPREFIX).substr(0, kPrefixSize - 1);
}

std::string Upper(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

} // namespace

std::string PortDeviceName(std::uint8_t portNum) {
    if (portNum >= kTelnetPortNum) {
        return gszTelnetDevice;
    }
    return ComPrefix() + std::to_string(portNum);
}

int PortNumberOf(const std::string& device) {
    if (device == gszTelnetDevice) {
        return kTelnetPortNum;
    }
    for (int n = 1; n < kTelnetPortNum; ++n) {
        if (device == PortDeviceName(static_cast<std::uint8_t>(n))) {
            return n;
        }
    }
    return -1;
}

std::string PortLabel(int portNum) {
    if (portNum >= kTelnetPortNum) {
        return kTelnetEntry;
    }
    return ComPrefix() + std::to_string(portNum);
}

int ParsePortLabel(const std::string& text) {
    const std::string want = Upper(text);
    for (int n = 1; n <= kTelnetPortNum; ++n) {
        if (want == Upper(PortLabel(n))) {
            return n;
        }
    }
    return -1;
}

} // namespace pelko
