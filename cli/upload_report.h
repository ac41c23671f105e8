#pragma once
// What an upload from the command line says on standard error when it ends, and its exit
// status: the same words whether Pelko uploaded itself or a window did it for it.
//   WarnHighDropped(place)             "FILE:LINE: warning: bytes above 0x7F dropped"
//   SourceFailed(status)               whether the reader could not open or read the source, or
//                                      follow one of its includes
//   SaySourceFailed(status, options)   says why the source could not be read, if it could not;
//                                      whether it could not
//   ReportEnd(outcome, options, timedOut)  says how the upload ended (a rejected line, a lost
//                                      port, a cancel or `options.timeout` run out) and gives
//                                      its exit status
//   NoAnswerText(options)              "no answer from the target within T s"
#include <string>

#include "app/handoff_wire.h"
#include "cli/options.h"

namespace pelko::cli {

void WarnHighDropped(const SourcePlace& at);
bool SourceFailed(const SourceStatus& s);
bool SaySourceFailed(const SourceStatus& s, const Options& o);
int ReportEnd(const UploadOutcome& outcome, const Options& o, bool timedOut);
std::string NoAnswerText(const Options& o);

} // namespace pelko::cli
