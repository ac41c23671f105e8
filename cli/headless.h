#pragma once
// Pelko from scripts: the upload without a window, a dry run of the source reader, and the
// files a source reads.
//   RunUpload(options)            uploads the file through the same reader and handshake as the
//                                 window; progress on stdout, problems on stderr; an ExitStatus
//   RunDryRun(options)            prints what an upload would send (format in HelpText); never
//                                 connects; kExitOk, or kExitFile when the file (or one it
//                                 includes) cannot be read
//   RunDeps(options)              prints the make rule "FILE: INCLUDED..." of the files an upload
//                                 of FILE reads; kExitOk, or kExitFile as RunDryRun
#include "cli/options.h"

namespace pelko::cli {

int RunUpload(const Options& options);
int RunDryRun(const Options& options);
int RunDeps(const Options& options);

} // namespace pelko::cli
