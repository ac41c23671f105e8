#include "cli/handoff_client.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "cli/upload_report.h"
#include "link/handshake.h"

namespace pelko::cli {

namespace {

using Clock = std::chrono::steady_clock;

// A cancelled upload still gets this long to say how it ended.
constexpr std::chrono::seconds kEndAfterCancel{5};

bool SendAll(int fd, const std::string& bytes, const std::atomic<int>& interrupted) {
    std::size_t at = 0;
    while (at < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
        if (n > 0) {
            at += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR && interrupted.load() == 0) {
            continue;
        } else {
            return false;
        }
    }
    return true;
}

class Session {
public:
    Session(int fd, const std::string& folder, const Options& o, const std::string& label,
            const std::atomic<int>& interrupted)
        : fd_(fd), o_(o), label_(label), interrupted_(interrupted), folder_(folder) {}

    int Run(const HandoffRequest& request) {
        if (!SendAll(fd_, EncodeFrame(HandoffFrame::Upload, EncodeRequest(request)),
                     interrupted_)) {
            return Gone();
        }
        lastLine_ = Clock::now();
        for (;;) {
            if (const int status = Step(); status >= 0) {
                return status;
            }
        }
    }

private:
    // One look at the socket and the clock: an exit status once it is over, -1 until then.
    int Step() {
        const Clock::time_point now = Clock::now();
        if (interrupted_.load() != 0 && !cancelled_) {
            Cancel();
        } else if (o_.timeout > 0 && !paused_ && !cancelled_ && // a window that never answers too
                   now - lastLine_ > std::chrono::duration<double>(o_.timeout)) {
            timedOut_ = true;
            Cancel();
        }
        if (cancelled_ && now > cancelledAt_ + kEndAfterCancel) {
            std::fprintf(stderr, "pelko: the window holding %s did not end the upload\n",
                         label_.c_str());
            return kExitAborted;
        }
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) {
            return -1;
        }
        char block[16384];
        const ssize_t n = ::recv(fd_, block, sizeof block, 0);
        if (n < 0 && errno == EINTR) {
            return -1;
        }
        if (n <= 0) {
            return Gone();
        }
        in_.append(block, static_cast<std::size_t>(n));
        HandoffFrame type{};
        std::string payload;
        for (;;) {
            const FrameResult got = TakeFrame(in_, type, payload);
            if (got == FrameResult::NeedMore) {
                return -1;
            }
            if (got == FrameResult::Malformed) {
                return Gone();
            }
            if (const int status = Take(type, payload); status >= 0) {
                return status;
            }
        }
    }

    int Take(HandoffFrame type, const std::string& payload) {
        SourcePlace at;
        std::string_view rest(payload);
        switch (type) {
        case HandoffFrame::Accepted:
            accepted_ = true;
            std::fflush(stdout);
            std::fprintf(stderr, "pelko: %s is held by a Pelko window; the upload runs there\n",
                         label_.c_str());
            return -1;
        case HandoffFrame::Refused:
            if (cancelled_) {
                return kExitAborted;
            }
            std::fflush(stdout);
            std::fprintf(stderr, "pelko: the Pelko window holding %s cannot take the upload: %s\n",
                         label_.c_str(), payload.c_str());
            return kExitConnection;
        case HandoffFrame::Progress:
            Progress(payload);
            return -1;
        case HandoffFrame::Line:
            if (DecodePlace(rest, at) && rest.size() == 1) {
                lastLine_ = Clock::now();
                paused_ = false;
                if (rest[0] != 0) {
                    WarnHighDropped(Relative(at));
                }
            }
            return -1;
        case HandoffFrame::Pause:
            if (DecodePlace(rest, at)) {
                paused_ = true;
                std::fflush(stdout);
                std::fprintf(stderr, "%s: pause: waiting for Continue in the window\n",
                             PlaceText(Relative(at)).c_str());
            }
            return -1;
        case HandoffFrame::End: {
            UploadOutcome outcome;
            if (!DecodeOutcome(payload, outcome)) {
                return Gone();
            }
            outcome.at = Relative(outcome.at);
            outcome.source.where = Relative(outcome.source.where);
            return ReportEnd(outcome, o_, timedOut_);
        }
        case HandoffFrame::Upload:
        case HandoffFrame::Cancel:
            break;
        }
        return Gone();
    }

    void Progress(const std::string& text) {
        if (outputGone_) {
            return;
        }
        for (const char c : text) {
            std::fputc(c == '\r' ? '\n' : c, stdout);
        }
        if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
            outputGone_ = true; // a closed pipe: the upload ends as interrupted
            Cancel();
        }
    }

    void Cancel() {
        cancelled_ = true;
        cancelledAt_ = Clock::now();
        SendAll(fd_, EncodeFrame(HandoffFrame::Cancel, {}), interrupted_);
    }

    int Gone() {
        if (cancelled_ && !timedOut_) {
            return kExitAborted;
        }
        std::fflush(stdout);
        std::fprintf(stderr, "pelko: the Pelko window holding %s went away during the upload\n",
                     label_.c_str());
        return kExitConnection;
    }

    SourcePlace Relative(SourcePlace at) const {
        at.file = RelativeTo(folder_, at.file);
        at.from = RelativeTo(folder_, at.from);
        return at;
    }

    int fd_;
    const Options& o_;
    std::string label_;
    const std::atomic<int>& interrupted_;
    std::string folder_;
    std::string in_;
    bool accepted_ = false;
    bool paused_ = false;
    bool cancelled_ = false;
    bool timedOut_ = false;
    bool outputGone_ = false;
    Clock::time_point lastLine_;
    Clock::time_point cancelledAt_;
};

} // namespace

std::string RelativeTo(const std::string& folder, std::string text) {
    if (folder.empty() || folder == "/") {
        return text;
    }
    const std::string prefix = folder + "/";
    for (std::size_t at = text.find(prefix); at != std::string::npos; at = text.find(prefix, at)) {
        // Only where a name starts: the text's start, or after ", " in a list of places.
        if (at == 0 || (at >= 2 && text.compare(at - 2, 2, ", ") == 0)) {
            text.erase(at, prefix.size());
        } else {
            at += prefix.size();
        }
    }
    return text;
}

int HandUpload(int fd, const HandoffRequest& request, const std::string& folder, const Options& o,
               const std::string& label, const std::atomic<int>& interrupted) {
    Session session(fd, folder, o, label, interrupted);
    const int status = session.Run(request);
    ::close(fd);
    return status;
}

} // namespace pelko::cli
