#pragma once
// --all, or several --port: a bench of adapters, every tracker updated at once, each in its
// own bay (the USB socket its adapter is plugged into) with a session on a thread of its own.
// With --repeat, the station: each bay takes a tracker whenever its adapter is plugged in.
#include "cli/tracker_run.h"

namespace ostrel::cli {

// Runs every bay, shows them on stdout, prints each result line with its bay and then the
// summary; ends as the run's tally says, or kExitNotConnected when no adapter was found.
int RunBays(RunContext& run);

}  // namespace ostrel::cli
