#include "app/handoff_wire.h"

#include "link/handshake.h"

namespace pelko {

namespace {

void PutNumber(std::string& out, std::uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

bool GetNumber(std::string_view& in, std::uint64_t& value, int bytes) {
    if (in.size() < static_cast<std::size_t>(bytes)) {
        return false;
    }
    value = 0;
    for (int i = 0; i < bytes; ++i) {
        value = (value << 8) | static_cast<std::uint8_t>(in[static_cast<std::size_t>(i)]);
    }
    in.remove_prefix(static_cast<std::size_t>(bytes));
    return true;
}

// Text the window reports is cut to what the caller takes; a request is sent whole (and refused
// when too long).
void PutText(std::string& out, std::string_view text, std::size_t limit = kMaxHandoffText) {
    text = text.substr(0, limit);
    PutNumber(out, text.size(), 4);
    out.append(text);
}

bool GetText(std::string_view& in, std::string& text, std::size_t limit) {
    std::uint64_t n = 0;
    if (!GetNumber(in, n, 4) || n > limit || n > in.size()) {
        return false;
    }
    text.assign(in.substr(0, n));
    in.remove_prefix(n);
    return true;
}

constexpr std::size_t kMaxName = 4096; // a path, a reason, an echo

bool Known(char type) {
    switch (static_cast<HandoffFrame>(type)) {
    case HandoffFrame::Upload:
    case HandoffFrame::Cancel:
    case HandoffFrame::Accepted:
    case HandoffFrame::Refused:
    case HandoffFrame::Progress:
    case HandoffFrame::Line:
    case HandoffFrame::Pause:
    case HandoffFrame::End:
        return true;
    }
    return false;
}

} // namespace

std::string EncodeFrame(HandoffFrame type, std::string_view payload) {
    std::string out;
    out.reserve(5 + payload.size());
    out.push_back(static_cast<char>(type));
    PutNumber(out, payload.size(), 4);
    out.append(payload);
    return out;
}

FrameResult TakeFrame(std::string& in, HandoffFrame& type, std::string& payload) {
    if (in.empty()) {
        return FrameResult::NeedMore;
    }
    if (!Known(in[0])) {
        return FrameResult::Malformed;
    }
    std::string_view head(in);
    head.remove_prefix(1);
    std::uint64_t n = 0;
    if (!GetNumber(head, n, 4)) {
        return FrameResult::NeedMore;
    }
    if (n > kMaxFrame) {
        return FrameResult::Malformed;
    }
    if (head.size() < n) {
        return FrameResult::NeedMore;
    }
    type = static_cast<HandoffFrame>(in[0]);
    payload.assign(head.substr(0, n));
    in.erase(0, 5 + n);
    return FrameResult::Complete;
}

std::string EncodeRequest(const HandoffRequest& r) {
    std::string out;
    out.push_back(r.visible ? 'V' : 'F');
    out.push_back(r.fromText ? 'T' : 'P');
    PutText(out, r.path);
    PutText(out, r.text);
    return out;
}

bool DecodeRequest(std::string_view in, HandoffRequest& out, std::string& why) {
    why = "a malformed request";
    if (in.size() < 2 || (in[0] != 'V' && in[0] != 'F') || (in[1] != 'T' && in[1] != 'P')) {
        return false;
    }
    out.visible = in[0] == 'V';
    out.fromText = in[1] == 'T';
    in.remove_prefix(2);
    if (!GetText(in, out.path, kMaxName) || !GetText(in, out.text, kMaxHandoffText) ||
        !in.empty()) {
        return false;
    }
    if (out.path.empty() || out.path.find('\0') != std::string::npos) {
        why = "a request without a file name";
        return false;
    }
    if (!out.fromText && (out.path[0] != '/' || !out.text.empty())) {
        why = "a request whose file is not named by its full path";
        return false;
    }
    why.clear();
    return true;
}

std::string EncodePlace(const SourcePlace& p) {
    std::string out;
    PutText(out, p.file, kMaxName);
    PutNumber(out, p.line, 8);
    PutText(out, p.from, kMaxName * 4);
    PutNumber(out, p.lines, 8);
    return out;
}

bool DecodePlace(std::string_view& in, SourcePlace& out) {
    return GetText(in, out.file, kMaxName) && GetNumber(in, out.line, 8) &&
           GetText(in, out.from, kMaxName * 4) && GetNumber(in, out.lines, 8);
}

std::string EncodeOutcome(const UploadOutcome& o) {
    std::string out;
    out.push_back(o.started ? 1 : 0);
    out.push_back(static_cast<char>(o.end));
    out.push_back(static_cast<char>(o.source.stop));
    out += EncodePlace(o.source.where);
    PutText(out, o.source.reason, kMaxName);
    out += EncodePlace(o.at);
    PutText(out, o.echo, kMaxName);
    return out;
}

bool DecodeOutcome(std::string_view in, UploadOutcome& out) {
    if (in.size() < 3 || static_cast<std::uint8_t>(in[1]) > static_cast<int>(UploadEnd::LinkLost) ||
        static_cast<std::uint8_t>(in[2]) > static_cast<int>(SourceStop::IncludeError)) {
        return false;
    }
    out.started = in[0] != 0;
    out.end = static_cast<std::uint8_t>(in[1]);
    out.source.stop = static_cast<SourceStop>(in[2]);
    in.remove_prefix(3);
    return DecodePlace(in, out.source.where) && GetText(in, out.source.reason, kMaxName) &&
           DecodePlace(in, out.at) && GetText(in, out.echo, kMaxName) && in.empty();
}

UploadOutcome CurrentOutcome(bool started) {
    UploadOutcome o;
    o.started = started;
    o.end = static_cast<std::uint8_t>(gLink.end);
    o.source = SourceEndStatus();
    o.at = SourceWhere();
    o.echo = EchoText();
    return o;
}

} // namespace pelko
