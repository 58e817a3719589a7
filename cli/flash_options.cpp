#include "cli/flash_options.h"

#include <charconv>

#include "device/line_rate.h"

namespace ostrel::cli {

bool ParseFlashOptions(const std::vector<std::string>& args, FlashOptions& options,
                       std::string& error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--keep-user-settings") {
            options.keepUserSettings = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--list") {
            options.list = true;
        } else if (arg == "--baud" || arg.starts_with("--baud=")) {
            if (arg == "--baud" && i + 1 == args.size()) {
                error = "--baud needs a rate";
                return false;
            }
            const std::string text = arg == "--baud" ? args[++i] : arg.substr(7);
            std::uint32_t baud = 0;
            const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), baud);
            if (ec != std::errc() || end != text.data() + text.size() || !IsLineRate(baud)) {
                error =
                    "--baud takes 9600, 19200, 38400, 57600, 115200 or 230400, not '" + text + "'";
                return false;
            }
            options.baud = baud;
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
    R"(Usage: ostrel-flash [--port PATH] [--keep-user-settings] [--baud RATE]
       ostrel-flash --list
Writes the firmware release built into this program into a GPS Ostrel tracker through the
Vantor7 adapter (CP210x USB-UART bridge) and the tracker's ROM bootloader, in three stages:
program memory (ЗАГРУЗКА:), read-back check (ПРОВЕРКА:), then data memory.

  --port PATH            the adapter's serial port, e.g. /dev/ttyUSB0; without it the adapter
                         is looked up by name, and failing that every serial port is tried
  --keep-user-settings   leave the owner's settings (data memory 0x1000-0x10FF) as they are
  --baud RATE            run the whole session at RATE baud: 9600 (the default), 19200,
                         38400, 57600, 115200 or 230400; at 115200 an update takes about 8 s
                         instead of 80. The bootloader takes its rate from the first sync
                         byte after power-up and answers only at that rate until it is reset:
                         re-power the tracker (batteries out, then in) before changing rate
  --list                 list the serial ports with their names, mark the programming
                         adapter (CP210x, USB 10c4:ea60), and say when the adapter is plugged
                         in but has no port (Linux: another program, such as brltty, has
                         claimed it)
  -h, --help             show this text

Progress shows as bars on a terminal and as plain lines otherwise. A failure names the stage,
the block address and the step of the exchange that failed.

Exit codes:
  0  the update succeeded
  1  the update failed (the tracker keeps whatever blocks it acknowledged; run it again)
  2  bad usage
  3  not connected: no port could be opened, or no bootloader answered the sync and Get
--list prints the ports and ends with 0.
)";

}  // namespace ostrel::cli
