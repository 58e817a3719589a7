#include "cli/flash_options.h"

namespace ostrel::cli {

bool ParseFlashOptions(const std::vector<std::string>& args, FlashOptions& options,
                       std::string& error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--keep-user-settings") {
            options.keepUserSettings = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--port" || arg.starts_with("--port=")) {
            if (arg == "--port") {
                if (i + 1 == args.size()) {
                    error = "--port needs a port path";
                    return false;
                }
                options.port = args[++i];
            } else {
                options.port = arg.substr(7);
            }
            if (options.port.empty()) {
                error = "--port needs a port path";
                return false;
            }
        } else {
            error = "unknown argument '" + arg + "'";
            return false;
        }
    }
    return true;
}

const char* const kFlashUsage =
    R"(Usage: ostrel-flash [--port PATH] [--keep-user-settings] | --version
Writes the firmware release built into this program into a GPS Ostrel tracker through the
Vantor7 adapter (CP210x USB-UART bridge) and the tracker's ROM bootloader, in three stages:
program memory (ЗАГРУЗКА:), read-back check (ПРОВЕРКА:), then data memory.

  --port PATH            the adapter's serial port, e.g. /dev/ttyUSB0; without it the adapter
                         is looked up by its USB ids or name, and failing that every USB
                         serial port (ttyUSB, ttyACM; COM1 to COM250 on Windows) is tried
  --keep-user-settings   leave the owner's settings (data memory 0x1000-0x10FF) as they are
  --version              show this program's version, the release built in and the SHA-256
                         of its two blocks (and whether it is the placeholder release)
  -h, --help             show this text

Progress shows as bars on a terminal and as plain lines otherwise, on standard output. Errors
go to standard error, each with its cause and what to do; a failed update names the stage, the
block address and the step of the exchange that failed. Ctrl-C (SIGTERM, SIGHUP) lets the
exchange in flight finish, then stops and says what the tracker holds; a second one ends the
program at once. Only one updater at a time can use a port.

Exit codes:
  0  the update succeeded
  1  the update failed (the tracker keeps whatever blocks it acknowledged; run it again)
  2  bad usage
  3  not connected: no port could be opened, or no bootloader answered the sync and Get
  4  interrupted (Ctrl-C, SIGTERM, SIGHUP): the block in flight was finished, then the run
     stopped and said what the tracker holds; a second interruption ends it at once
)";

}  // namespace ostrel::cli
