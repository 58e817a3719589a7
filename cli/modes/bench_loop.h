#pragma once
// --repeat: one tracker after another on a service bench, until Ctrl-C.
#include <cstdio>

#include "cli/flash_options.h"
#include "cli/report/journal.h"

namespace ostrel::cli {

// Waits for the adapter to be plugged in, runs the chosen mode, prints the result line, waits
// for the adapter to be pulled out, and again; then prints "summary updated=N failed=N".
// kExitSuccess when no tracker failed.
// Each tracker is recorded in `journal` when one is kept (may be null); one that cannot be
// written ends the loop, and the run with kExitFileFailed if nothing else went wrong.
int RunBenchLoop(const FlashOptions& options, std::FILE* traceFile, Journal* journal);

}  // namespace ostrel::cli
