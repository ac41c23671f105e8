#include "cli/upload_report.h"

#include <cstdio>

#include "link/handshake.h"

namespace pelko::cli {

namespace {

// " (included from a.src:3, app.src:1)" for a place in an included file, else "".
std::string IncludedFrom(const SourcePlace& at) {
    return at.from.empty() ? "" : " (included from " + at.from + ")";
}

} // namespace

void WarnHighDropped(const SourcePlace& at) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s: warning: bytes above 0x7F dropped\n", PlaceText(at).c_str());
}

bool SourceFailed(const SourceStatus& s) {
    return s.stop == SourceStop::OpenError || s.stop == SourceStop::ReadError ||
           s.stop == SourceStop::IncludeError;
}

bool SaySourceFailed(const SourceStatus& s, const Options& o) {
    std::fflush(stdout);
    if (s.stop == SourceStop::OpenError) {
        std::fprintf(stderr, "%s: %s %s\n", o.file.c_str(), gszOpenErrorStr, s.reason.c_str());
    } else if (s.stop == SourceStop::ReadError) {
        std::fprintf(stderr, "%s: %s\n", PlaceText(s.where).c_str(), gszReadErrorStr);
    } else if (s.stop == SourceStop::IncludeError) {
        std::fprintf(stderr, "%s\n", s.Message().c_str());
    }
    return SourceFailed(s);
}

std::string NoAnswerText(const Options& o) {
    char text[96];
    std::snprintf(text, sizeof text, "no answer from the target within %g s", o.timeout);
    return text;
}

int ReportEnd(const UploadOutcome& u, const Options& o, bool timedOut) {
    if (!u.started) {
        return SaySourceFailed(u.source, o) ? kExitFile : kExitConnection;
    }
    const std::string at = PlaceText(u.at);
    switch (static_cast<UploadEnd>(u.end)) {
    case UploadEnd::Ready:
        return SaySourceFailed(u.source, o) ? kExitFile : kExitOk;
    case UploadEnd::Rejected:
        std::fprintf(stderr, "%s: error: the target rejected the line: %s%s\n", at.c_str(),
                     u.echo.c_str(), IncludedFrom(u.at).c_str());
        return kExitRejected;
    case UploadEnd::LinkLost:
        std::fprintf(stderr, "%s: error: the connection was lost%s\n", at.c_str(),
                     IncludedFrom(u.at).c_str());
        return kExitConnection;
    case UploadEnd::Cancelled:
    case UploadEnd::None:
        break;
    }
    std::fprintf(stderr, "%s: error: %s%s\n", at.c_str(),
                 timedOut ? NoAnswerText(o).c_str() : "interrupted", IncludedFrom(u.at).c_str());
    return kExitAborted;
}

} // namespace pelko::cli
