#pragma once
// The caller's end of the hand-off: `pelko --upload` whose port a Pelko window of the same user
// holds gives the upload to that window and reports it as if it had run it itself.
//   HandUpload(fd, request, folder, options, label, interrupted)  sends the request over the
//                                 connected hand-off socket fd (and closes it), prints the
//                                 progress and the FILE:LINE messages a headless upload prints
//                                 (names under `folder`, the working folder, made relative to
//                                 it), and gives the same exit status; a window that refuses or
//                                 goes away gives kExitConnection with its reason. A nonzero
//                                 `interrupted` (a signal) cancels the upload in the window as
//                                 Esc does
//   RelativeTo(folder, text)      text with every "FOLDER/" taken out: the window's full paths
//                                 as the caller named them
#include <atomic>
#include <string>

#include "app/handoff_wire.h"
#include "cli/options.h"

namespace pelko::cli {

int HandUpload(int fd, const HandoffRequest& request, const std::string& folder,
               const Options& options, const std::string& label,
               const std::atomic<int>& interrupted);
std::string RelativeTo(const std::string& folder, std::string text);

} // namespace pelko::cli
