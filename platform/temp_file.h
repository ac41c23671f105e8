#pragma once
// New files made beside another, to be filled and then renamed over it or linked to it.
//   CreateTempBeside(target, prefix, mode, name)  a new, empty file in the folder of `target`,
//       named `prefix` and a suffix no other file has (pid and a counter), opened for writing
//       with `mode` (never following a link); its descriptor, with its path in `name`, or -1
//       (errno set) when none can be made there
#include <string>
#include <sys/types.h>

namespace pelko::platform {

int CreateTempBeside(const std::string& target, const std::string& prefix, mode_t mode,
                     std::string& name);

} // namespace pelko::platform
