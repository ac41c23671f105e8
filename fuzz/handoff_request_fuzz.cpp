// Fuzzes what the window reads from a hand-off caller: the bytes are a stream of frames, taken
// one by one as the window takes them, and each payload is decoded as a request, an outcome and
// a place. After every step:
//   - a frame that is not whole leaves the stream as it was; a malformed one ends the stream;
//   - a request, outcome or place that decodes encodes again to one that decodes to the same;
//   - a decoded request that is not from text names an absolute path.
// Reads beyond a payload are caught by the address sanitizer.
#include <cstdint>
#include <string>
#include <string_view>

#include "app/handoff_wire.h"
#include "fuzz/check.h"

namespace {

using namespace pelko;
using fuzz::Check;

bool SamePlace(const SourcePlace& a, const SourcePlace& b) {
    return a.file == b.file && a.line == b.line && a.from == b.from && a.lines == b.lines;
}

void Request(std::string_view payload) {
    HandoffRequest got;
    std::string why;
    if (!DecodeRequest(payload, got, why)) {
        Check(!why.empty(), "a refused request has no reason");
        return;
    }
    Check(got.fromText || (!got.path.empty() && got.path[0] == '/'), "a relative path accepted");
    HandoffRequest again;
    Check(DecodeRequest(EncodeRequest(got), again, why), "a request does not decode again");
    Check(again.visible == got.visible && again.path == got.path &&
              again.fromText == got.fromText && again.text == got.text,
          "a request changed on its way round");
}

void Outcome(std::string_view payload) {
    UploadOutcome got;
    if (!DecodeOutcome(payload, got)) {
        return;
    }
    UploadOutcome again;
    Check(DecodeOutcome(EncodeOutcome(got), again), "an outcome does not decode again");
    Check(again.started == got.started && again.end == got.end &&
              again.source.stop == got.source.stop &&
              SamePlace(again.source.where, got.source.where) &&
              again.source.reason == got.source.reason && SamePlace(again.at, got.at) &&
              again.echo == got.echo,
          "an outcome changed on its way round");
}

void Place(std::string_view payload) { // a copy: decoding consumes it
    SourcePlace got;
    if (!DecodePlace(payload, got)) { // what is left after the place is the frame's business
        return;
    }
    SourcePlace again;
    const std::string bytes = EncodePlace(got);
    std::string_view encoded = bytes;
    Check(DecodePlace(encoded, again) && encoded.empty() && SamePlace(again, got),
          "a place changed on its way round");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string in(reinterpret_cast<const char*>(data), size);
    for (;;) {
        const std::string before = in;
        HandoffFrame type{};
        std::string payload;
        const FrameResult got = TakeFrame(in, type, payload);
        if (got != FrameResult::Complete) {
            Check(in == before, "a frame not taken changed the stream");
            return 0;
        }
        Check(in.size() + payload.size() + 5 == before.size(), "a frame took the wrong length");
        Check(EncodeFrame(type, payload) == before.substr(0, payload.size() + 5),
              "a frame does not encode to its bytes");
        Request(payload);
        Outcome(payload);
        Place(payload);
    }
}
