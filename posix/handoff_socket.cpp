#include "posix/handoff_socket.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace pelko::posix {

namespace {

// The path of the socket this process listens on, kept in plain storage for RemoveHandoffSocket.
char gListening[sizeof(sockaddr_un::sun_path)] = {};
std::atomic<bool> gHaveListening{false};

// create: a window makes the folder; a caller only looks for it.
std::string Folder(std::string& why, bool create) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string folder = runtime != nullptr && runtime[0] == '/'
                                   ? std::string(runtime) + "/pelko"
                                   : "/tmp/pelko-" + std::to_string(::geteuid());
    if (create && ::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        why = folder + ": " + std::strerror(errno);
        return {};
    }
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0) {
        why = folder + ": " + std::strerror(errno);
        return {};
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() || (st.st_mode & 077) != 0) {
        why = folder + ": not a private folder of this user";
        return {};
    }
    return folder;
}

// A file name for `where`: letters, digits, '.', '_' and '-' stay, '/' becomes '!', the rest
// %XX; a long one keeps its start and a hash of the whole.
std::string FileName(const std::string& where) {
    std::string name;
    for (const char c : where) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isalnum(u) != 0 || c == '.' || c == '_' || c == '-') {
            name.push_back(c);
        } else if (c == '/') {
            name.push_back('!');
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", u);
            name += hex;
        }
    }
    if (name.size() > 64) {
        std::uint64_t hash = 1469598103934665603ULL; // FNV-1a
        for (const char c : where) {
            hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
        }
        char tail[24];
        std::snprintf(tail, sizeof tail, "~%016llx", static_cast<unsigned long long>(hash));
        name = name.substr(0, 40) + tail;
    }
    return name;
}

bool Address(const std::string& path, sockaddr_un& addr) {
    addr = {};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) {
        return false;
    }
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    return true;
}

bool PeerUid(int fd, uid_t& uid) {
    ucred cred{};
    socklen_t len = sizeof cred;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) {
        return false;
    }
    uid = cred.uid;
    return true;
}

class SocketPeer : public platform::HandoffPeer {
public:
    SocketPeer(int fd, bool sameUser) : fd_(fd), sameUser_(sameUser) {}
    ~SocketPeer() override { ::close(fd_); }
    SocketPeer(const SocketPeer&) = delete;
    SocketPeer& operator=(const SocketPeer&) = delete;

    std::int64_t Read(char* buf, std::size_t max) override {
        if (gone_) {
            return -1;
        }
        const ssize_t n = ::recv(fd_, buf, max, MSG_DONTWAIT);
        if (n > 0) {
            return n;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            return 0;
        }
        gone_ = true;
        return -1;
    }
    bool Send(std::string_view bytes) override {
        if (gone_ || pending_.size() + bytes.size() > platform::kMaxHandoffBacklog) {
            gone_ = true;
            pending_.clear();
            return false;
        }
        pending_.append(bytes);
        Flush();
        return !gone_;
    }
    bool Flush() override {
        while (!gone_ && !pending_.empty()) {
            const ssize_t n =
                ::send(fd_, pending_.data(), pending_.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n > 0) {
                pending_.erase(0, static_cast<std::size_t>(n));
            } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                return false;
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                gone_ = true;
                pending_.clear();
            }
        }
        return pending_.empty();
    }
    bool SameUser() const override { return sameUser_; }

private:
    int fd_;
    bool sameUser_;
    bool gone_ = false;
    std::string pending_;
};

class SocketListener : public platform::HandoffListener {
public:
    SocketListener(int fd, std::string path, dev_t dev, ino_t ino)
        : fd_(fd), path_(std::move(path)), dev_(dev), ino_(ino) {}
    ~SocketListener() override {
        ::close(fd_);
        gHaveListening.store(false);
        // Only our own socket: a window started since may have replaced a file we lost.
        struct stat st {};
        if (::lstat(path_.c_str(), &st) == 0 && st.st_dev == dev_ && st.st_ino == ino_) {
            ::unlink(path_.c_str());
        }
    }
    SocketListener(const SocketListener&) = delete;
    SocketListener& operator=(const SocketListener&) = delete;

    std::unique_ptr<platform::HandoffPeer> Accept(std::string& why) override {
        why.clear();
        const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR &&
                errno != ECONNABORTED) {
                why = std::strerror(errno);
            }
            return nullptr;
        }
        uid_t uid = 0;
        const bool same = PeerUid(fd, uid) && uid == ::geteuid();
        return std::make_unique<SocketPeer>(fd, same);
    }

private:
    int fd_;
    std::string path_;
    dev_t dev_;
    ino_t ino_;
};

} // namespace

std::string HandoffSocketPath(const std::string& where, std::string& why, bool create) {
    const std::string folder = Folder(why, create);
    if (folder.empty()) {
        return {};
    }
    const std::string path = folder + "/" + FileName(where);
    if (path.size() >= sizeof(sockaddr_un::sun_path)) {
        why = path + ": the path is too long for a socket";
        return {};
    }
    return path;
}

std::unique_ptr<platform::HandoffListener> ListenHandoffSocket(const std::string& where,
                                                               std::string& why) {
    const std::string path = HandoffSocketPath(where, why);
    sockaddr_un addr{};
    if (path.empty() || !Address(path, addr)) {
        return nullptr;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        why = std::string("socket: ") + std::strerror(errno);
        return nullptr;
    }
    const auto* sa = reinterpret_cast<const sockaddr*>(&addr);
    int bound = ::bind(fd, sa, sizeof addr);
    if (bound != 0 && errno == EADDRINUSE) {
        // A socket whose window has gone refuses connections: replace it.
        const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool live = probe >= 0 && ::connect(probe, sa, sizeof addr) == 0;
        if (probe >= 0) {
            ::close(probe);
        }
        if (live) {
            ::close(fd);
            why = path + ": another Pelko window serves this port already";
            return nullptr;
        }
        ::unlink(path.c_str());
        bound = ::bind(fd, sa, sizeof addr);
    }
    struct stat st {};
    if (bound != 0 || ::listen(fd, 4) != 0 || ::lstat(path.c_str(), &st) != 0) {
        why = path + ": " + std::strerror(errno);
        ::close(fd);
        return nullptr;
    }
    std::memcpy(gListening, path.c_str(), path.size() + 1);
    gHaveListening.store(true);
    return std::make_unique<SocketListener>(fd, path, st.st_dev, st.st_ino);
}

int ConnectHandoffSocket(const std::string& where, std::string& why) {
    why.clear();
    std::string folderWhy;
    const std::string path = HandoffSocketPath(where, folderWhy, false);
    sockaddr_un addr{};
    if (path.empty() || !Address(path, addr)) {
        return -1; // nowhere a window could listen: none serves the port
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        const int err = errno;
        ::close(fd);
        if (err != ENOENT && err != ECONNREFUSED) {
            why = path + ": " + std::strerror(err);
        }
        return -1;
    }
    uid_t uid = 0;
    if (!PeerUid(fd, uid) || uid != ::geteuid()) {
        ::close(fd);
        why = path + ": the window serving this port runs as another user";
        return -1;
    }
    return fd;
}

void RemoveHandoffSocket() {
    if (gHaveListening.exchange(false)) {
        ::unlink(gListening);
    }
}

} // namespace pelko::posix
