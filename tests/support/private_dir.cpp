#include "tests/support/private_dir.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace pelko::test {

PrivateDir::PrivateDir() {
    char name[] = "/tmp/pelko-test.XXXXXX";
    if (::mkdtemp(name) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = name;
    previous_ = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (previous_ < 0 || ::chdir(name) != 0) {
        throw std::runtime_error("cannot enter the private directory");
    }
}

PrivateDir::~PrivateDir() {
    if (previous_ >= 0) {
        if (::fchdir(previous_) != 0 && ::chdir("/") != 0) {
            std::abort(); // nowhere left to stand
        }
        ::close(previous_);
    }
    std::error_code ec;
    // Tests may leave read-only entries behind; make them removable first.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        ::chmod(it->path().c_str(), 0700);
    }
    ::chmod(path_.c_str(), 0700);
    std::filesystem::remove_all(path_, ec);
}

} // namespace pelko::test
