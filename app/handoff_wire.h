#pragma once
// What a `pelko --upload` and the window that holds its port say to each other over the hand-off
// socket: frames of one type byte, a 4-byte big-endian length and that many bytes.
//   EncodeFrame(type, payload)     the frame's bytes; cannot fail (payloads stay under kMaxFrame)
//   TakeFrame(in, type, payload)   takes the first whole frame off the front of `in`: Complete
//                                  (type and payload set), NeedMore (in unchanged), Malformed
//                                  (an unknown type or a length over kMaxFrame; in unchanged)
//   EncodeRequest / DecodeRequest  the upload asked for; DecodeRequest is false, with a reason,
//                                  for a payload that is not one (out then unspecified)
//   EncodeOutcome / DecodeOutcome  how the upload ended; DecodeOutcome false for a bad payload
//   EncodePlace / DecodePlace      a place in the source (a line sent, a pause)
//   CurrentOutcome(started)        the outcome of the upload that just ended, from the upload's
//                                  and the reader's state
#include <cstdint>
#include <string>
#include <string_view>

#include "upload/source.h"

namespace pelko {

enum class HandoffFrame : char {
    Upload = 'U',   // caller: the request
    Cancel = 'C',   // caller: end the upload as Esc does
    Accepted = 'A', // window: the upload runs
    Refused = 'R',  // window: it does not (the reason as text)
    Progress = 'P', // window: progress text as the headless upload prints it
    Line = 'L',     // window: a line went out (its place, then one byte: 1 when bytes above 0x7F
                    // were dropped from it)
    Pause = 'W',    // window: a pause directive waits for the user (its place)
    End = 'E',      // window: how the upload ended
};

// Standard input handed over whole fits, with room for the rest of the request.
inline constexpr std::size_t kMaxHandoffText = 4U << 20;
inline constexpr std::size_t kMaxFrame = kMaxHandoffText + 64 * 1024;

enum class FrameResult { Complete, NeedMore, Malformed };

struct HandoffRequest {
    bool visible = false; // F4's upload rather than F3's
    std::string path;     // the file, absolute; or the name of `text`
    bool fromText = false;
    std::string text; // the source itself (standard input)
};

// How an upload ended, as the caller reports it.
struct UploadOutcome {
    bool started = false; // it ran (to its end, a rejected line, a cancel or a lost port)
    std::uint8_t end = 0; // UploadEnd
    SourceStatus source;  // what ended the reading
    SourcePlace at;       // where the reader stood
    std::string echo;     // the target's answer to the last line
};

std::string EncodeFrame(HandoffFrame type, std::string_view payload);
FrameResult TakeFrame(std::string& in, HandoffFrame& type, std::string& payload);
std::string EncodeRequest(const HandoffRequest& request);
bool DecodeRequest(std::string_view payload, HandoffRequest& out, std::string& why);
std::string EncodeOutcome(const UploadOutcome& outcome);
bool DecodeOutcome(std::string_view payload, UploadOutcome& out);
std::string EncodePlace(const SourcePlace& place);
bool DecodePlace(std::string_view& payload, SourcePlace& out);
UploadOutcome CurrentOutcome(bool started);

} // namespace pelko
