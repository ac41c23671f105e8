#pragma once
// Pelko from scripts: the upload without a window, and a dry run of the source reader.
//   RunUpload(options)            uploads the file through the same reader and handshake as the
//                                 window; progress on stdout, problems on stderr; an ExitStatus
//   RunDryRun(options)            prints what an upload would send (format in HelpText); never
//                                 connects; kExitOk, or kExitFile when the file cannot be read
#include "cli/options.h"

namespace pelko::cli {

int RunUpload(const Options& options);
int RunDryRun(const Options& options);

} // namespace pelko::cli
