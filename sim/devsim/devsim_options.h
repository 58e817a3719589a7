#pragma once
// The command line of ostrel-devsim.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "options/option_table.h"
#include "sim/bootloader_model.h"

namespace ostrel::sim {

struct GetAnswer {
    std::uint8_t version = 0;
    std::vector<std::uint8_t> codes;
};

struct DevsimOptions {
    bool fast = false;
    bool help = false;
    std::string tty;       // serve this terminal device instead of a new pty
    std::string link;      // a symbolic link to the pty, made at start and removed at exit
    std::string dumpFile;  // the model's memory is written here at exit
    std::string loadFile;  // the model's memory is read from here at start
    std::optional<GetAnswer> getAnswer;
    std::vector<Fault> faults;
    std::size_t hangUpAt = 0;  // the exchange at which the line hangs up; 0 for never
    bool events = false;       // a line on stdout for each block written and each close of the port

    std::uint32_t count = 1;  // trackers, each on a pty of its own
};

// "KIND:COMMAND:STEP[@ADDRESS][#N]", e.g. "nack:read:address@0x9000" or "delay=150:write:data".
std::optional<Fault> ParseFault(std::string_view text, std::string& error);
// "VERSION[,CODE...]" in hex, e.g. "10,00,11,21,31,43".
std::optional<GetAnswer> ParseGetAnswer(std::string_view text, std::string& error);
// Every option of ostrel-devsim, each setting its field of `o`; ostrel-usbipsim takes most.
std::vector<options::Option> DevsimOptionTable(DevsimOptions& o);
// False with a message in `error` for anything it does not understand.
bool ParseDevsimOptions(const std::vector<std::string>& args, DevsimOptions& options,
                        std::string& error);

std::string DevsimUsage();  // the --help text

}  // namespace ostrel::sim
