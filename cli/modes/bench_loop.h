#pragma once
// --repeat: one tracker after another on a service bench, until Ctrl-C.
#include <cstdio>

#include "cli/flash_options.h"

namespace ostrel::cli {

// Waits for the adapter to be plugged in, runs the chosen mode, prints the result line, waits
// for the adapter to be pulled out, and again; then prints "summary updated=N failed=N".
// kExitSuccess when no tracker failed.
int RunBenchLoop(const FlashOptions& options, std::FILE* traceFile);

}  // namespace ostrel::cli
