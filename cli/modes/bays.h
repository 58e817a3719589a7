#pragma once
// --all, or several --port: a bench of adapters, every tracker updated at once, each in its
// own bay (the USB socket its adapter is plugged into) with a session on a thread of its own.
#include "cli/flash_options.h"

namespace ostrel::cli {

// Runs the chosen mode in every bay, shows them on stdout, prints each result line with its
// bay and then "summary updated=N failed=N". kExitSuccess when every tracker succeeded,
// kExitUpdateFailed when one did not, kExitNotConnected when no adapter was found.
int RunBays(const FlashOptions& options);

}  // namespace ostrel::cli
