#include "cli/system/system_words.h"

namespace ostrel::cli {

// Windows asks a console program to stop with Ctrl-C, Ctrl-Break and the closing of its console
// window; it has no signals.
const SystemWords kSystemWords = {
    "COM3",
    "COM port (COM1 to COM250)",
    "Ctrl-C (Ctrl-Break, closing the console window)",
    "Ctrl-C, Ctrl-Break, closing the console window",
    "NUL",
};

}  // namespace ostrel::cli
