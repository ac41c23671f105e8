// Fuzzes the settings reader with arbitrary PELKO.SET contents and checks after every load:
//   - every field the file holds has the value its byte gives (at most 64 bytes are read, the
//     face name is cut to 31 characters, bytes past the end read as zero);
//   - the face name is terminated within its field and nothing else in the record changed;
//   - gwMaxColumn is 40 or 80, as Max.40 says.
// Stores beyond gszPrefBuf or the face name are caught by the address sanitizer.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <unistd.h>

#include "fuzz/check.h"
#include "settings/settings.h"
#include "terminal/tty_info.h"

namespace {

using namespace pelko;
using fuzz::Check;
using fuzz::Fail;

std::int32_t Signed(std::uint8_t b) {
    return static_cast<std::int8_t>(b);
}

// In memory where the machine has a tmpfs: a disk file system writes a file out at every close
// after a truncation, which would cost most of each input's time.
char gDir[] = "/dev/shm/pelko-fuzz-settings.XXXXXX";
char gDiskDir[] = "/tmp/pelko-fuzz-settings.XXXXXX";
char* gUsed = gDir;

void RemoveDir() {
    ::unlink((std::string(gUsed) + "/" + gszDefaultName).c_str());
    ::rmdir(gUsed);
}

} // namespace

// The file is opened by its bare name, so the run works in a directory of its own.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (::mkdtemp(gDir) == nullptr) {
        gUsed = gDiskDir;
    }
    if ((gUsed == gDiskDir && ::mkdtemp(gDiskDir) == nullptr) || ::chdir(gUsed) != 0) {
        Fail("no private directory");
    }
    std::atexit(RemoveDir);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int fd = ::open(gszDefaultName, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    Check(fd >= 0, "cannot write the input file");
    Check(::write(fd, data, size) == static_cast<ssize_t>(size), "short write of the input");
    ::close(fd);

    auto tty = std::make_unique<TTYInfo>();
    SetTTYDefaults(tty.get());
    tty->lfTTYFont.lfWeight = 400;
    tty->rgbTextColor = 0x123456;
    // Something left over in the face field that the load has to overwrite or cut off.
    std::memset(tty->lfTTYFont.lfFaceName, 'Z', platform::LF_FACESIZE - 1);
    const platform::LogFont before = tty->lfTTYFont;

    LoadDefaults(tty.get());

    std::uint8_t file[kPrefBufSize] = {};
    std::memcpy(file, data, size < kPrefBufSize ? size : kPrefBufSize);
    Check(tty->bPortNum == file[0], "port number");
    Check(tty->dwBaudRate == static_cast<std::uint32_t>(Signed(file[1]) * 2400), "baud rate");
    Check(tty->fNewLine == Signed(file[2]), "New Line");
    Check(tty->fAutoWrap == Signed(file[3]), "Autowrap");
    Check(tty->fMax40 == Signed(file[4]), "Max.40");
    Check(tty->fLocalEcho == Signed(file[5]), "Local Echo");
    Check(tty->fHexPrint == Signed(file[6]), "HEXprint");
    Check(tty->lfTTYFont.lfHeight == Signed(file[7]), "font height");

    const char* face = tty->lfTTYFont.lfFaceName;
    const std::size_t n = ::strnlen(face, platform::LF_FACESIZE);
    Check(n < platform::LF_FACESIZE, "face name without its zero byte");
    Check(std::memcmp(face, file + kPrefFaceOffset, n) == 0, "face name differs from the file");
    Check(n == platform::LF_FACESIZE - 1 || file[kPrefFaceOffset + n] == 0,
          "face name ended early");

    platform::LogFont rest = tty->lfTTYFont;
    rest.lfHeight = before.lfHeight;
    std::memcpy(rest.lfFaceName, before.lfFaceName, sizeof rest.lfFaceName);
    Check(std::memcmp(&rest, &before, sizeof rest) == 0, "a font member the file lacks changed");
    Check(tty->rgbTextColor == 0x123456 && tty->bDataBits == 8 && tty->fConnected == 1,
          "a field the file lacks changed");
    Check(gwMaxColumn == (tty->fMax40 != 0 ? 40 : 80), "column limit");
    return 0;
}
