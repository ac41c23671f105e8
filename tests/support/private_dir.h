#pragma once
// A fresh directory under /tmp that is the current directory for the life of the object, for
// tests of code that opens bare file names (PELKO.SET). The previous current directory comes
// back and the directory is removed with everything in it at the end.
#include <string>

namespace pelko::test {

class PrivateDir {
public:
    PrivateDir();
    ~PrivateDir();
    PrivateDir(const PrivateDir&) = delete;
    PrivateDir& operator=(const PrivateDir&) = delete;

    const std::string& Path() const { return path_; }

private:
    std::string path_;
    int previous_ = -1; // descriptor of the directory to go back to
};

} // namespace pelko::test
