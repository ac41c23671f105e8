#include "app/status.h"

#include <cstdio>
#include <sys/stat.h>

#include "link/handshake.h"
#include "platform/port.h"
#include "resources/port_names.h"
#include "terminal/tty_info.h"
#include "upload/source.h"

namespace pelko {

namespace {

// Line ends in the file, counted once for each version of it (path, size, time).
std::uint64_t LinesIn(const std::string& path) {
    static std::string lastPath;
    static off_t lastSize = -1;
    static std::int64_t lastTime = -1;
    static std::uint64_t lastCount = 0;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return 0;
    }
    if (path == lastPath && st.st_size == lastSize && st.st_mtime == lastTime) {
        return lastCount;
    }
    std::uint64_t count = 0;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        char buf[16384];
        int previous = 0;
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) {
            for (std::size_t i = 0; i < n; ++i) {
                const int b = static_cast<unsigned char>(buf[i]);
                count += b == '\r' || (b == '\n' && previous != '\r') ? 1 : 0;
                previous = b;
            }
        }
        std::fclose(f);
    }
    lastPath = path;
    lastSize = st.st_size;
    lastTime = st.st_mtime;
    lastCount = count;
    return count;
}

} // namespace

StatusInfo DescribeStatus(platform::Window* hwnd) {
    StatusInfo s;
    const TTYInfo* tty = hwnd->GetRecord();
    if (tty == nullptr) {
        return s;
    }
    s.port = PortLabel(tty->bPortNum);
    s.device = platform::DescribeDevice(PortDeviceName(tty->bPortNum));
    s.baud = tty->dwBaudRate;
    if (!tty->hCommPort) {
        s.state = "not connected";
    } else if (tty->fOpening) {
        s.state = "connecting";
    } else {
        s.state = gLink.fPortDead.load() != 0 ? "connection lost" : "connected";
    }
    s.source = gszSourcePath;
    if (gLink.fInUpload) {
        s.progress = "uploading line " + std::to_string(gqwSourceLine);
        if (const std::uint64_t total = LinesIn(gszSourcePath); total > 0) {
            s.progress += " of about " + std::to_string(total);
        }
    }
    return s;
}

} // namespace pelko
