#pragma once
// --repeat: one tracker after another on a service bench, until Ctrl-C.
#include "cli/tracker_run.h"

namespace ostrel::cli {

// Waits for the adapter to be plugged in, runs the tracker, waits for the adapter to be pulled
// out, and again; then prints the summary and ends as the run's tally says. A port another
// program holds is looked at again on the arrival's schedule.
int RunBenchLoop(RunContext& run);

}  // namespace ostrel::cli
