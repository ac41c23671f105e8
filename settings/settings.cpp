#include "settings/settings.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_io.h"
#include "platform/temp_file.h"
#include "terminal/tty_info.h"

namespace pelko {

std::uint8_t gszPrefBuf[kPrefBufSize] = {};
std::uint32_t gdwLength = 0;
std::uint16_t gwMaxColumn = 80;
RunOverrides gRunOverrides;

namespace {

constexpr std::size_t kFaceMax = platform::LF_FACESIZE - 1; // characters, without the zero

std::int32_t Signed(std::uint8_t byte) {
    return static_cast<std::int8_t>(byte);
}
std::uint8_t LowByte(std::int64_t value) {
    return static_cast<std::uint8_t>(value & 0xFF);
}

// Opens the settings file for reading; -1 when it is missing or is not a regular file (a
// directory or a device named PELKO.SET counts as no file).
int OpenForReading() {
    std::string why;
    return platform::OpenRegularFile(gszDefaultName, 0, why);
}

// What is left of gszPrefBuf from position `at`, in one read; the count moved, 0 at the end of
// the file or on error. (Byte by byte would cost a system call per byte and read the same.)
std::uint32_t ReadRest(int fd, std::size_t at) {
    for (;;) {
        const ssize_t n = ::read(fd, gszPrefBuf + at, kPrefBufSize - at);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return n > 0 ? static_cast<std::uint32_t>(n) : 0U;
    }
}

void Decode(TTYInfo* tty) {
    tty->bPortNum = gszPrefBuf[0];
    tty->dwBaudRate = static_cast<std::uint32_t>(Signed(gszPrefBuf[1]) * 2400);
    tty->fNewLine.store(Signed(gszPrefBuf[2]));
    tty->fAutoWrap.store(Signed(gszPrefBuf[3]));
    tty->fMax40.store(Signed(gszPrefBuf[4]));
    tty->fLocalEcho.store(Signed(gszPrefBuf[5]));
    tty->fHexPrint.store(Signed(gszPrefBuf[6]));
    tty->lfTTYFont.lfHeight = Signed(gszPrefBuf[7]);

    // The face name up to its zero byte, cut to what the font description holds.
    char* face = tty->lfTTYFont.lfFaceName;
    std::size_t n = 0;
    while (n < kFaceMax && gszPrefBuf[kPrefFaceOffset + n] != 0) {
        face[n] = static_cast<char>(gszPrefBuf[kPrefFaceOffset + n]);
        ++n;
    }
    std::memset(face + n, 0, platform::LF_FACESIZE - n);
}

// Fills gszPrefBuf from the record; the number of bytes the file gets.
std::size_t Encode(const TTYInfo* tty) {
    gszPrefBuf[0] = tty->bPortNum;
    // A rate from the command line that the signed byte cannot hold is kept as the fastest the
    // Setup dialog offers, 115200, rather than wrapped into a rate no port has.
    std::uint32_t baud = tty->dwBaudRate / 2400;
    if (baud > 127) {
        baud = 48;
    }
    gszPrefBuf[1] = LowByte(baud);
    gszPrefBuf[2] = LowByte(tty->fNewLine.load());
    gszPrefBuf[3] = LowByte(tty->fAutoWrap.load());
    gszPrefBuf[4] = LowByte(tty->fMax40.load());
    gszPrefBuf[5] = LowByte(tty->fLocalEcho.load());
    gszPrefBuf[6] = LowByte(tty->fHexPrint.load());
    gszPrefBuf[7] = LowByte(tty->lfTTYFont.lfHeight);
    const std::size_t n = ::strnlen(tty->lfTTYFont.lfFaceName, kFaceMax);
    std::memcpy(gszPrefBuf + kPrefFaceOffset, tty->lfTTYFont.lfFaceName, n);
    gszPrefBuf[kPrefFaceOffset + n] = 0;
    return kPrefFaceOffset + n + 1;
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size, std::uint32_t& moved) {
    moved = static_cast<std::uint32_t>(platform::WriteAll(fd, data, size));
    return moved == size;
}

// The folder part of a path, with its slash; "" for a bare name.
std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Whether the symbolic link at `link` (its lstat in `st`) may be followed. In a folder that
// everybody may write to and whose sticky bit is set (/tmp), only a link of the saver's own or
// of the folder's owner is, as the kernel's protected symlinks have it for opening: replacing
// the link's target from here must not sidestep that.
bool MayFollow(const std::string& link, const struct stat& st) {
    std::string folder = FolderOf(link);
    folder = folder.empty() ? "." : folder;
    struct stat d {};
    if (::stat(folder.c_str(), &d) != 0) {
        return false;
    }
    const bool shared = (d.st_mode & S_ISVTX) != 0 && (d.st_mode & S_IWOTH) != 0;
    return !shared || st.st_uid == ::geteuid() || st.st_uid == d.st_uid;
}

// Where the new file goes: the settings file itself, or the file that a symbolic link of that
// name leads to, so that saving through a link keeps the link. Fails (false) when an existing
// file must not be replaced: it is not a regular file, it has no write permission bit at all
// (such a file stays as it is even for root), this process may not write it, or a link on the
// way may not be followed.
bool SaveTarget(std::string& target, bool& exists, struct stat& st) {
    target = gszDefaultName;
    exists = false;
    for (int hops = 0;; ++hops) {
        struct stat lst {};
        if (::lstat(target.c_str(), &lst) != 0) {
            return errno == ENOENT && hops == 0; // a link that leads nowhere is left alone
        }
        if (!S_ISLNK(lst.st_mode)) {
            break;
        }
        char next[PATH_MAX];
        if (hops == 40 || !MayFollow(target, lst)) {
            return false;
        }
        const ssize_t n = ::readlink(target.c_str(), next, sizeof next);
        if (n <= 0 || static_cast<std::size_t>(n) >= sizeof next) {
            return false;
        }
        next[n] = 0;
        target = next[0] == '/' ? std::string(next) : FolderOf(target) + next;
    }
    if (::stat(target.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    exists = true;
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        return false;
    }
    return ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) == 0;
}

// Creates a new, empty temporary file beside `target`; -1 when none can be made there.
int CreateTemp(const std::string& target, std::string& tempName) {
    const std::size_t slash = target.rfind('/');
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    return platform::CreateTempBeside(target, "." + base + ".", 0666, tempName);
}

// Writes the record over the file `target` itself (`old` its stat), for a folder where no
// temporary file can be made. Should the write fail, the old contents are put back. 1 when the
// new contents are in, 0 otherwise.
int RewriteInPlace(const std::string& target, const struct stat& old, const TTYInfo* tty) {
    const int fd = ::open(target.c_str(), O_RDWR | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    std::uint8_t before[4096];
    struct stat st {};
    ssize_t had = -1;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_dev == old.st_dev &&
        st.st_ino == old.st_ino && st.st_size <= static_cast<off_t>(sizeof before)) {
        had = ::pread(fd, before, sizeof before, 0);
    }
    if (had < 0 || had != st.st_size) {
        ::close(fd); // changed under us, or too big to keep a copy of
        return 0;
    }
    const std::size_t size = Encode(tty);
    bool ok = WriteAll(fd, gszPrefBuf, size, gdwLength) &&
              ::ftruncate(fd, static_cast<off_t>(size)) == 0 && ::fsync(fd) == 0;
    if (!ok) {
        std::uint32_t moved = 0;
        [[maybe_unused]] const bool restored =
            ::lseek(fd, 0, SEEK_SET) == 0 &&
            WriteAll(fd, before, static_cast<std::size_t>(had), moved) && ::ftruncate(fd, had) == 0;
    }
    ok = ::close(fd) == 0 && ok;
    return ok ? 1 : 0;
}

void SyncDirectoryOf(const std::string& target) {
    const std::size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

void LoadDefaults(TTYInfo* record) {
    const int fd = OpenForReading();
    if (fd >= 0) {
        // Each load starts from zeros, so that whatever the file does not reach reads as zero.
        std::memset(gszPrefBuf, 0, sizeof gszPrefBuf);
        std::size_t at = 0;
        do {
            gdwLength = ReadRest(fd, at);
            at += gdwLength;
        } while (gdwLength != 0 && at < kPrefBufSize);
        Decode(record);
        ::close(fd);
    }
    const RunOverrides& run = gRunOverrides;
    if (run.port != 0) {
        record->bPortNum = run.port;
    }
    if (run.baud != 0) {
        record->dwBaudRate = run.baud;
    }
    if (run.max40) {
        record->fMax40.store(1);
    }
    gwMaxColumn = MaxColumnFor(record->fMax40.load());
}

int SaveDefaults(platform::Window* hwnd) {
    const TTYInfo* tty = hwnd->GetRecord();
    if (tty == nullptr) {
        return 0;
    }
    std::string target;
    bool exists = false;
    struct stat old {};
    if (!SaveTarget(target, exists, old)) {
        return 0;
    }

    // The new contents go to a temporary file that replaces the old one only once it is
    // complete, so a failure at any point leaves the previous settings as they were.
    std::string tempName;
    const int fd = CreateTemp(target, tempName);
    if (fd < 0) {
        // A folder that takes no new files around a file that may be written: rewrite the file.
        const bool noRoom = errno == EACCES || errno == EPERM || errno == EROFS;
        return exists && noRoom ? RewriteInPlace(target, old, tty) : 0;
    }
    const std::size_t size = Encode(tty);
    bool ok = WriteAll(fd, gszPrefBuf, size, gdwLength);
    if (ok && exists) {
        // The replacement keeps the old file's permissions and, where allowed, its owner.
        ok = ::fchmod(fd, old.st_mode & 07777) == 0;
        if (ok && ::fchown(fd, old.st_uid, old.st_gid) != 0) {
            // Not allowed for an ordinary user; the file then belongs to whoever saved it.
        }
    }
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(tempName.c_str(), target.c_str()) == 0) {
        SyncDirectoryOf(target);
        return 1;
    }
    ::unlink(tempName.c_str());
    return 0;
}

} // namespace pelko
