#pragma once
// The command line of ostrel-flash and its exit codes.
#include <cstdint>
#include <string>
#include <vector>

namespace ostrel::cli {

enum ExitCode : int {
    kExitSuccess = 0,
    kExitUpdateFailed = 1,
    kExitUsage = 2,
    kExitNotConnected = 3,
};

struct FlashOptions {
    std::string port;  // empty: find the adapter as the Connect button does
    bool keepUserSettings = false;
    bool help = false;
    std::uint32_t baud = 9600;  // the whole session's line rate, one of the bridge's rates
    bool list = false;          // list the serial ports instead of updating
};

// False with a message in `error` for anything it does not understand.
bool ParseFlashOptions(const std::vector<std::string>& args, FlashOptions& options,
                       std::string& error);

extern const char* const kFlashUsage;

}  // namespace ostrel::cli
