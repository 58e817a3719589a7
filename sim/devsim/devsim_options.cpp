#include "sim/devsim/devsim_options.h"

#include <charconv>
#include <cstdlib>

namespace ostrel::sim {
namespace {

constexpr std::uint32_t kMaxTrackers = 64;

// A number in decimal, or in hex with 0x. False for anything else or out of range.
bool ParseNumber(std::string_view text, std::uint32_t& value, int base = 10) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty()) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return ec == std::errc() && end == text.data() + text.size();
}

bool ParseByte(std::string_view text, std::uint8_t& byte) {
    std::uint32_t value = 0;
    if (!ParseNumber(text, value, 16) || value > 0xFF) return false;
    byte = static_cast<std::uint8_t>(value);
    return true;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        const std::size_t at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos) return parts;
        text.remove_prefix(at + 1);
    }
}

struct KindName {
    std::string_view name;
    FaultKind kind;
    bool takesValue;
};
constexpr KindName kKinds[] = {
    {"nack", FaultKind::Nack, false},
    {"silence", FaultKind::Silence, false},
    {"delay", FaultKind::Delay, true},
    {"truncate", FaultKind::Truncate, true},
    {"wrong-byte", FaultKind::WrongReadByte, true},
    {"stray-before", FaultKind::StrayBefore, true},
    {"stray-after", FaultKind::StrayAfter, true},
};

bool ParseKind(std::string_view text, Fault& fault, std::string& error) {
    const std::size_t eq = text.find('=');
    const std::string_view name = text.substr(0, eq);
    for (const KindName& k : kKinds) {
        if (k.name != name) continue;
        fault.kind = k.kind;
        if (!k.takesValue) {
            if (eq == std::string_view::npos) return true;
            error = "fault kind '" + std::string(name) + "' takes no value";
            return false;
        }
        std::uint32_t value = 0;
        if (eq == std::string_view::npos || !ParseNumber(text.substr(eq + 1), value)) {
            error = "fault kind '" + std::string(name) + "' needs a number: " + std::string(name) +
                    "=N";
            return false;
        }
        (fault.kind == FaultKind::Delay ? fault.polls : fault.count) = value;
        return true;
    }
    error = "unknown fault kind '" + std::string(name) + "'";
    return false;
}

}  // namespace

std::optional<Fault> ParseFault(std::string_view text, std::string& error) {
    Fault fault;
    std::string_view rest = text;
    if (const std::size_t hash = rest.find('#'); hash != std::string_view::npos) {
        if (!ParseNumber(rest.substr(hash + 1), fault.occurrence) || fault.occurrence == 0) {
            error = "'#N' needs a number from 1 on";
            return std::nullopt;
        }
        rest = rest.substr(0, hash);
    }
    if (const std::size_t at = rest.find('@'); at != std::string_view::npos) {
        std::uint32_t address = 0;
        if (!ParseNumber(rest.substr(at + 1), address, 16) || address > 0xFFFF) {
            error = "'@ADDRESS' needs a block address from 0 to 0xFFFF";
            return std::nullopt;
        }
        fault.address = address;
        rest = rest.substr(0, at);
    }
    const std::vector<std::string_view> parts = Split(rest, ':');
    if (parts.size() != 3) {
        error = "a fault reads KIND:COMMAND:STEP[@ADDRESS][#N]";
        return std::nullopt;
    }
    if (!ParseKind(parts[0], fault, error)) return std::nullopt;

    if (parts[1] == "sync") {
        fault.command = Command::Sync;
    } else if (parts[1] == "get") {
        fault.command = Command::Get;
    } else if (parts[1] == "read") {
        fault.command = Command::ReadMemory;
    } else if (parts[1] == "write") {
        fault.command = Command::WriteMemory;
    } else {
        error = "unknown command '" + std::string(parts[1]) + "' (sync, get, read, write)";
        return std::nullopt;
    }

    if (parts[2] == "command") {
        fault.step = Step::Command;
    } else if (parts[2] == "address") {
        fault.step = Step::Address;
    } else if (parts[2] == "data") {
        fault.step = Step::Payload;
    } else {
        error = "unknown step '" + std::string(parts[2]) + "' (command, address, data)";
        return std::nullopt;
    }
    const bool blockCommand =
        fault.command == Command::ReadMemory || fault.command == Command::WriteMemory;
    if (fault.step != Step::Command && !blockCommand) {
        error = "sync and get have only the command step";
        return std::nullopt;
    }
    if (fault.step == Step::Command && fault.address) {
        error = "the command step comes before the address: choose it with #N";
        return std::nullopt;
    }
    return fault;
}

std::optional<GetAnswer> ParseGetAnswer(std::string_view text, std::string& error) {
    GetAnswer answer;
    const std::vector<std::string_view> parts = Split(text, ',');
    for (std::size_t i = 0; i < parts.size(); ++i) {
        std::uint8_t byte = 0;
        if (!ParseByte(parts[i], byte)) {
            // Built piece by piece: GCC 12 at -O3 takes "'" + std::string for an overlap.
            error.clear();
            error.push_back('\'');
            error.append(parts[i]).append("' is not a hex byte");
            return std::nullopt;
        }
        if (i == 0) {
            answer.version = byte;
        } else {
            answer.codes.push_back(byte);
        }
    }
    if (answer.codes.size() > 255) {
        error = "at most 255 command codes";
        return std::nullopt;
    }
    return answer;
}

std::vector<options::Option> DevsimOptionTable(DevsimOptions& o) {
    using options::kRepeatable;
    using options::Sets;
    using options::Stores;
    return {
        {"--fast", nullptr,
         "answer at once, without the line's timing (the locked rate, 11 bit times\n"
         "a byte each way, 6 ms to store a block)",
         Sets(o.fast)},
        {"--tty", "PATH",
         "serve the terminal device PATH (the device end of a null-modem pair)\n"
         "instead of a new pseudo-terminal",
         Stores(o.tty)},
        {"--link", "PATH",
         "also make PATH a symbolic link to the pseudo-terminal (removed at exit)", Stores(o.link)},
        {"--get", "V[,C...]",
         "the Get answer in hex: version, then command codes\n"
         "(default 10,00,11,21,31,43)",
         [&o](const std::string& v) {
             std::string error;
             o.getAnswer = ParseGetAnswer(v, error);
             return error;
         }},
        {"--fault", "FAULT", "make the bootloader misbehave once; may be repeated",
         [&o](const std::string& v) {
             std::string error;
             if (const std::optional<Fault> fault = ParseFault(v, error))
                 o.faults.push_back(*fault);
             return error;
         },
         kRepeatable},
        {"--dump", "FILE", "write the 65,536 bytes of the tracker's memory to FILE at exit",
         Stores(o.dumpFile)},
        {"--load", "FILE",
         "start with the tracker's memory read from FILE (65,536 bytes, as\n"
         "--dump writes it) instead of the shipped device's",
         Stores(o.loadFile)},
        {"--hang-up-at", "N",
         "hang up the line when the N-th exchange begins (1 is the first sync), as\n"
         "an adapter pulled out",
         [&o](const std::string& v) {
             char* end = nullptr;
             o.hangUpAt = std::strtoul(v.c_str(), &end, 10);
             return *end != '\0' || o.hangUpAt == 0
                        ? std::string("--hang-up-at needs an exchange number from 1")
                        : std::string();
         }},
        {"--events", nullptr,
         "print \"written ADDRESS\" (hex) once a block is stored and \"closed\" once\n"
         "the updater's last descriptor of the port is closed, so that a test can\n"
         "act on what the tracker saw instead of after a time\n",  // a blank line after
         Sets(o.events)},
        {"--count", "N",
         "serve N trackers, each on a new pseudo-terminal of its own, and print\n"
         "their paths one a line; --fault and --load apply to each, --dump writes\n"
         "FILE.1 to FILE.N, and each prints its own \"served\" line at the end",
         [&o](const std::string& v) {
             if (ParseNumber(v, o.count) && o.count != 0 && o.count <= kMaxTrackers)
                 return std::string();
             return "--count takes a number of trackers from 1 to " + std::to_string(kMaxTrackers) +
                    ", not '" + v + "'";
         }},
        {"--help", nullptr, "show this text", Sets(o.help), false, "-h"},
    };
}

bool ParseDevsimOptions(const std::vector<std::string>& args, DevsimOptions& options,
                        std::string& error) {
    if (!options::ParseOptions(DevsimOptionTable(options), args, error)) return false;
    if (!options.tty.empty() && !options.link.empty()) {
        error = "--link makes a link to a new pseudo-terminal; it does not go with --tty";
        return false;
    }
    if (options.count > 1 && (!options.tty.empty() || !options.link.empty())) {
        error = "--count serves new pseudo-terminals; it does not go with --tty or --link";
        return false;
    }
    if (options.count > 1 && options.events) {
        error = "--events reports one tracker's blocks; it does not go with --count";
        return false;
    }
    return true;
}

namespace {

constexpr const char* kUsageHead = R"(Usage: ostrel-devsim [OPTION]...
Serves a simulated GPS Ostrel tracker (its ROM UART bootloader) on a new pseudo-terminal and
prints the path the updater must open as the first line of output. Serves until SIGINT or
SIGTERM, then prints "served from_host=N to_host=N block_writes=N exchanges=N rate=BAUD"
(rate: what the bootloader locked onto at the first sync byte, 0 if none came).

The bootloader takes the rate the updater set on the port from the first sync byte on and
keeps it; bytes sent at another rate reach either side garbled.

)";

constexpr const char* kUsageTail = R"(
FAULT is KIND:COMMAND:STEP[@ADDRESS][#N]
  KIND      nack, silence, delay=MS, truncate=N (send only N bytes of the answer),
            wrong-byte=N (invert data byte N of a read block), stray-before=N, stray-after=N
  COMMAND   sync, get, read, write
  STEP      command, address, data (the read length frame or the write data frame)
  @ADDRESS  only the block at this address (hex); not for the command step
  #N        the N-th exchange that matches (default 1)
Examples: --fault nack:read:address@0x9000   --fault silence:write:data#3
)";

}  // namespace

std::string DevsimUsage() {
    DevsimOptions unused;
    return kUsageHead + options::OptionsHelp(DevsimOptionTable(unused), 20) + kUsageTail;
}

}  // namespace ostrel::sim
