#pragma once
// The command line of ostrel-flash and its exit codes.
#include <string>
#include <vector>

namespace ostrel::cli {

enum ExitCode : int {
    kExitSuccess = 0,
    kExitUpdateFailed = 1,
    kExitUsage = 2,
    kExitNotConnected = 3,
    kExitInterrupted = 4,
};

struct FlashOptions {
    std::string port;  // empty: find the adapter as the Connect button does
    bool keepUserSettings = false;
    bool help = false;
    bool version = false;
};

// False with a message in `error` for anything it does not understand.
bool ParseFlashOptions(const std::vector<std::string>& args, FlashOptions& options,
                       std::string& error);

extern const char* const kFlashUsage;

}  // namespace ostrel::cli
