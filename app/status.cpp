#include "app/status.h"

#include "link/handshake.h"
#include "log/session_log.h"
#include "platform/port.h"
#include "resources/port_names.h"
#include "serial/target_control.h"
#include "serial/transmit.h"
#include "terminal/tty_info.h"
#include "upload/source.h"

namespace pelko {

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
    s.control = TargetControlNote();
    s.log = SessionLogProblem();
    std::size_t sent = 0;
    std::size_t total = 0;
    if (Typing(sent, total)) {
        s.progress = "typing pasted text: " + std::to_string(sent) + " of " +
                     std::to_string(total) + " bytes (Esc stops)";
    }
    if (gLink.fInUpload) {
        const SourcePlace at = SourceWhere();
        s.progress = "uploading line " + std::to_string(at.line);
        if (at.lines > 0) {
            s.progress += " of about " + std::to_string(at.lines);
        }
        if (!at.from.empty()) {
            s.progress += " in " + at.file;
        } else {
            s.source = at.file; // the chosen file, or "pasted text"
        }
    }
    return s;
}

int ScrollbackRowsUp(const platform::Window* hwnd) {
    const TTYInfo* tty = hwnd != nullptr ? hwnd->GetRecord() : nullptr;
    return tty != nullptr ? tty->nHistoryPos.load(std::memory_order_relaxed) : 0;
}

} // namespace pelko
