#include "platform/temp_file.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace pelko::platform {

int CreateTempBeside(const std::string& target, const std::string& prefix, mode_t mode,
                     std::string& name) {
    static std::atomic<unsigned> counter{0};
    const std::size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        name =
            dir + prefix + std::to_string(::getpid()) + "." + std::to_string(counter.fetch_add(1));
        const int fd = ::open(
            name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) {
            return fd; // EEXIST: left by a process of this pid long gone
        }
    }
    return -1;
}

} // namespace pelko::platform
