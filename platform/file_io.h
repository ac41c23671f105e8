#pragma once
// Small files read and written whole, the same way everywhere.
//   OpenRegularFile(path, flags, why, st)  opens path for reading without waiting (a FIFO or a
//                          device planted there cannot hold Pelko up) and keeps it only when it
//                          is a regular file; the descriptor, blocking from then on, with its
//                          stat in *st when st is given. -1 with the system's reason (or "not a
//                          regular file") in why; errno is ENOENT when nothing is there
//   ReadSmallFile(path, limit, text, why, flags)  the whole regular file at path into text, at
//                          most limit bytes. Ok; Missing when nothing is there; Failed with the
//                          reason in why (the system's, "not a regular file", "larger than N
//                          bytes"); text is then incomplete
//   WriteAll(fd, data, n)  writes all n bytes over short writes and interrupts; the count written,
//                          n when all went; fewer with errno set (EIO for a write of nothing)
// flags: kNoFollow refuses a symbolic link in place of the file.
#include <cstddef>
#include <string>
#include <sys/stat.h>

namespace pelko::platform {

inline constexpr int kNoFollow = 1;

enum class ReadResult { Ok, Missing, Failed };

int OpenRegularFile(const std::string& path, int flags, std::string& why,
                    struct stat* st = nullptr);
ReadResult ReadSmallFile(const std::string& path, std::size_t limit, std::string& text,
                         std::string& why, int flags = 0);
std::size_t WriteAll(int fd, const void* data, std::size_t n);

} // namespace pelko::platform
