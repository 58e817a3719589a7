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

bool ParseDevsimOptions(const std::vector<std::string>& args, DevsimOptions& options,
                        std::string& error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        auto value = [&]() -> const std::string& { return args[++i]; };
        if (arg == "--fast") {
            options.fast = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--events") {
            options.events = true;
        } else if (arg == "--tty" || arg == "--link" || arg == "--dump" || arg == "--get" ||
                   arg == "--fault" || arg == "--load" || arg == "--hang-up-at" ||
                   arg == "--count") {
            if (!hasValue) {
                error = arg + " needs a value";
                return false;
            }
            const std::string& v = value();
            if (arg == "--tty") options.tty = v;
            if (arg == "--link") options.link = v;
            if (arg == "--dump") options.dumpFile = v;
            if (arg == "--hang-up-at") {
                char* end = nullptr;
                options.hangUpAt = std::strtoul(v.c_str(), &end, 10);
                if (v.empty() || *end != '\0' || options.hangUpAt == 0) {
                    error = "--hang-up-at needs an exchange number from 1";
                    return false;
                }
            }
            if (arg == "--load") options.loadFile = v;
            if (arg == "--count" && (!ParseNumber(v, options.count) || options.count == 0 ||
                                     options.count > kMaxTrackers)) {
                error = "--count takes a number of trackers from 1 to " +
                        std::to_string(kMaxTrackers) + ", not '" + v + "'";
                return false;
            }
            if (arg == "--get") {
                options.getAnswer = ParseGetAnswer(v, error);
                if (!options.getAnswer) return false;
            }
            if (arg == "--fault") {
                const std::optional<Fault> fault = ParseFault(v, error);
                if (!fault) return false;
                options.faults.push_back(*fault);
            }
        } else {
            error = "unknown argument '" + arg + "'";
            return false;
        }
    }
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

const char* const kDevsimUsage = R"(Usage: ostrel-devsim [OPTION]...
Serves a simulated GPS Ostrel tracker (its ROM UART bootloader) on a new pseudo-terminal and
prints the path the updater must open as the first line of output. Serves until SIGINT or
SIGTERM, then prints "served from_host=N to_host=N block_writes=N exchanges=N rate=BAUD"
(rate: what the bootloader locked onto at the first sync byte, 0 if none came).

The bootloader takes the rate the updater set on the port from the first sync byte on and
keeps it; bytes sent at another rate reach either side garbled.

  --fast            answer at once, without the line's timing (the locked rate, 11 bit times
                    a byte each way, 6 ms to store a block)
  --tty PATH        serve the terminal device PATH (the device end of a null-modem pair)
                    instead of a new pseudo-terminal
  --link PATH       also make PATH a symbolic link to the pseudo-terminal (removed at exit)
  --get V[,C...]    the Get answer in hex: version, then command codes
                    (default 10,00,11,21,31,43)
  --fault FAULT     make the bootloader misbehave once; may be repeated
  --dump FILE       write the 65,536 bytes of the tracker's memory to FILE at exit
  --load FILE       start with the tracker's memory read from FILE (65,536 bytes, as
                    --dump writes it) instead of the shipped device's
  --hang-up-at N    hang up the line when the N-th exchange begins (1 is the first sync), as
                    an adapter pulled out
  --events          print "written ADDRESS" (hex) once a block is stored and "closed" once
                    the updater's last descriptor of the port is closed, so that a test can
                    act on what the tracker saw instead of after a time

  --count N         serve N trackers, each on a new pseudo-terminal of its own, and print
                    their paths one a line; --fault and --load apply to each, --dump writes
                    FILE.1 to FILE.N, and each prints its own "served" line at the end
  -h, --help        show this text

FAULT is KIND:COMMAND:STEP[@ADDRESS][#N]
  KIND      nack, silence, delay=MS, truncate=N (send only N bytes of the answer),
            wrong-byte=N (invert data byte N of a read block), stray-before=N, stray-after=N
  COMMAND   sync, get, read, write
  STEP      command, address, data (the read length frame or the write data frame)
  @ADDRESS  only the block at this address (hex); not for the command step
  #N        the N-th exchange that matches (default 1)
Examples: --fault nack:read:address@0x9000   --fault silence:write:data#3
)";

}  // namespace ostrel::sim
