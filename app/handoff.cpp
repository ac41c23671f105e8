#include "app/handoff.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/handoff_wire.h"
#include "link/handshake.h"
#include "platform/handoff.h"
#include "platform/port.h"
#include "resources/port_names.h"
#include "serial/transmit.h"
#include "terminal/tty_info.h"
#include "upload/source.h"
#include "upload/upload.h"

namespace pelko {

namespace {

using Clock = std::chrono::steady_clock;
// An answered caller gets this long to take the rest of its answer.
constexpr std::chrono::seconds kFlushTime{2};

struct Handoff {
    platform::Window* hwnd = nullptr;
    std::string device; // what the listener serves, or failed to
    std::unique_ptr<platform::HandoffListener> listener;
    std::unique_ptr<platform::HandoffPeer> caller; // the one being served
    std::string in;                                // its bytes not yet read as frames
    bool pending = false;                          // its request waits for the run timer
    bool running = false;
    HandoffRequest request;
    std::vector<std::pair<std::unique_ptr<platform::HandoffPeer>, Clock::time_point>> closing;
};

Handoff& State() {
    static Handoff state;
    return state;
}

bool Connected(platform::Window* hwnd) {
    const TTYInfo* tty = hwnd->GetRecord();
    return tty != nullptr && tty->hCommPort && tty->fConnected.load() != 0 &&
           gLink.fPortDead.load() == 0;
}

// Sends the last word to a caller and lets it go once that is out.
void Close(std::unique_ptr<platform::HandoffPeer> peer, HandoffFrame type,
           const std::string& payload) {
    if (peer && peer->Send(EncodeFrame(type, payload)) && !peer->Flush()) {
        State().closing.emplace_back(std::move(peer), Clock::now() + kFlushTime);
    }
}

void DropCaller(HandoffFrame type, const std::string& payload) {
    Handoff& h = State();
    Close(std::move(h.caller), type, payload);
    h.in.clear();
    h.pending = false;
}

// Why the window cannot take an upload now, or "".
std::string Busy(platform::Window* hwnd) {
    std::size_t sent = 0;
    std::size_t total = 0;
    if (!Connected(hwnd)) {
        return "the window holds no open connection now";
    }
    if (gLink.fInUpload) {
        return "an upload is running in the window";
    }
    if (Typing(sent, total)) {
        return "pasted text is being typed in the window";
    }
    if (hwnd->ModalOpen()) {
        return "a dialog is open in the window";
    }
    return {};
}

// The caller's ear on the upload it handed over.
class CallerObserver : public UploadObserver {
public:
    void Progress(const std::uint8_t* text, std::int32_t n) override {
        Send(HandoffFrame::Progress,
             std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(n)));
    }
    void LineSent() override {
        Send(HandoffFrame::Line, EncodePlace(SourceWhere()) + char(gfHighDropped != 0 ? 1 : 0));
    }
    void Pausing() override { Send(HandoffFrame::Pause, EncodePlace(SourceWhere())); }

private:
    // A caller that has gone, or reads nothing, ends the upload as Esc does.
    static void Send(HandoffFrame type, const std::string& payload) {
        Handoff& h = State();
        if (h.caller && !h.caller->Send(EncodeFrame(type, payload))) {
            gLink.fCancel.store(1);
            h.hwnd->CancelEchoWait();
        }
    }
};

void Listen(platform::Window* hwnd) {
    Handoff& h = State();
    if (!Connected(hwnd)) {
        h.listener.reset();
        h.device.clear();
        return;
    }
    const std::string device = PortDeviceName(hwnd->GetRecord()->bPortNum);
    if (device == h.device) {
        return; // served, or said why not
    }
    h.device = device;
    std::string why;
    h.listener = platform::ListenForHandoff(device, why);
    if (!h.listener) {
        std::fprintf(stderr, "pelko: uploads cannot be handed to this window: %s\n", why.c_str());
    }
}

void Read(platform::Window* hwnd) {
    Handoff& h = State();
    char block[16384];
    bool gone = false;
    while (h.caller && h.in.size() <= kMaxFrame + 5) {
        const std::int64_t n = h.caller->Read(block, sizeof block);
        if (n <= 0) {
            gone = n < 0;
            break;
        }
        h.in.append(block, static_cast<std::size_t>(n));
    }
    HandoffFrame type{};
    std::string payload;
    while (h.caller) {
        const FrameResult got = TakeFrame(h.in, type, payload);
        if (got == FrameResult::NeedMore) {
            break;
        }
        if (got == FrameResult::Malformed) {
            DropCaller(HandoffFrame::Refused, "a malformed request");
            return;
        }
        if (type == HandoffFrame::Cancel || h.running || h.pending) {
            gone = gone || type == HandoffFrame::Cancel;
            continue; // only a cancel means anything once the request is in
        }
        std::string why;
        if (type != HandoffFrame::Upload || !DecodeRequest(payload, h.request, why)) {
            DropCaller(HandoffFrame::Refused, why.empty() ? "a malformed request" : why);
            return;
        }
        h.pending = true;
        hwnd->SetTimer(kHandoffRunTimer, 0);
    }
    if (gone && h.caller) {
        if (h.running) {
            gLink.fCancel.store(1);
            hwnd->CancelEchoWait();
        } else {
            DropCaller(HandoffFrame::Refused, "cancelled");
        }
    }
}

void Accept(platform::Window* hwnd) {
    Handoff& h = State();
    std::string why;
    while (h.listener) {
        std::unique_ptr<platform::HandoffPeer> peer = h.listener->Accept(why);
        if (!peer) {
            return;
        }
        if (!peer->SameUser()) {
            Close(std::move(peer), HandoffFrame::Refused,
                  "only the user running the window may hand it uploads");
        } else if (h.caller && (Read(hwnd), h.caller)) { // the last one may just have gone
            Close(std::move(peer), HandoffFrame::Refused,
                  "an upload handed over by another call runs in the window");
        } else {
            h.caller = std::move(peer);
        }
    }
}

void FlushClosing() {
    Handoff& h = State();
    const Clock::time_point now = Clock::now();
    std::erase_if(h.closing, [now](auto& c) { return c.first->Flush() || now >= c.second; });
    if (h.caller) {
        h.caller->Flush();
    }
}

} // namespace

void StartHandoff(platform::Window* hwnd) {
    State().hwnd = hwnd;
    hwnd->SetTimer(kHandoffTimer, kHandoffTickMs);
}

void HandoffTick(platform::Window* hwnd) {
    State().hwnd = hwnd;
    Listen(hwnd);
    Accept(hwnd);
    Read(hwnd);
    FlushClosing();
}

void RunHandedUpload(platform::Window* hwnd) {
    hwnd->KillTimer(kHandoffRunTimer);
    Handoff& h = State();
    if (!h.pending || h.running || !h.caller) {
        return;
    }
    h.pending = false;
    if (const std::string busy = Busy(hwnd); !busy.empty()) {
        DropCaller(HandoffFrame::Refused, busy);
        return;
    }
    h.caller->Send(EncodeFrame(HandoffFrame::Accepted, {}));
    h.running = true;
    CallerObserver observer;
    SetUploadObserver(&observer);
    const UploadMode mode = h.request.visible ? UploadMode::Visible : UploadMode::Fast;
    int started = 0;
    if (h.request.fromText) {
        started = UploadText(hwnd, h.request.text, mode, h.request.path);
    } else {
        const std::string chosen = std::exchange(gszSourcePath, h.request.path);
        started = UploadSource(hwnd, mode);
        gszSourcePath = chosen; // F3 goes on uploading the user's own choice
    }
    SetUploadObserver(nullptr);
    h.running = false;
    h.request = {};
    DropCaller(HandoffFrame::End, EncodeOutcome(CurrentOutcome(started != 0)));
}

void EndHandoff(platform::Window* hwnd) {
    hwnd->KillTimer(kHandoffTimer);
    hwnd->KillTimer(kHandoffRunTimer);
    Handoff& h = State();
    DropCaller(HandoffFrame::Refused, gszHandoffWindowClosed);
    h.closing.clear();
    h.listener.reset();
    h.device.clear();
}

} // namespace pelko
