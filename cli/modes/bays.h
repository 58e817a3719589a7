#pragma once
// --all, or several --port: a bench of adapters, every tracker updated at once, each in its
// own bay (the USB socket its adapter is plugged into) with a session on a thread of its own.
#include "cli/flash_options.h"
#include "cli/report/journal.h"

namespace ostrel::cli {

// Runs the chosen mode in every bay, shows them on stdout, prints each result line with its
// bay and then the summary, and records each tracker in `journal` when one is kept (may be
// null). The exit code follows one port's (see bench_rule.h); kExitNotConnected when no
// adapter was found, kExitFileFailed when all went well but the journal could not be written.
int RunBays(const FlashOptions& options, Journal* journal);

}  // namespace ostrel::cli
