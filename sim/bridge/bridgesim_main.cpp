// ostrel-bridgesim: the programming adapter with the tracker behind it, for a program that
// looks for it the way the updater does. It presents a simulated CP210x bridge on an umockdev
// testbed, serves its tty with the simulated tracker, and plugs it in or pulls it out on
// command. It can run the program under test itself, inside the testbed.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "options/option_table.h"
#include "sim/bridge/simulated_bridge.h"

namespace {

using ostrel::sim::BridgeTestbed;
using ostrel::sim::Pacing;
using ostrel::sim::SimulatedBridge;
using ostrel::sim::UsbSerialAdapter;

constexpr int kExitHarnessFailed = 125;  // as env(1) and timeout(1) report their own failure
constexpr int kExitUsage = 2;
constexpr const char* kReexecMarker = "OSTREL_BRIDGESIM_REEXEC";
constexpr int kMaxBridges = 32;

constexpr const char* kUsageHead = R"(Usage: ostrel-bridgesim [OPTIONS] [-- PROGRAM [ARG...]]

Presents a simulated CP210x USB-to-UART bridge (USB 10c4:ea60, "Silicon Labs CP210x UART
Bridge", /dev/ttyUSB0) on an umockdev testbed, with the simulated tracker's bootloader behind
it. Programs started inside the testbed find it through udev as they would find the real one.

With PROGRAM, runs it inside the testbed and ends with its exit code when it ends; Ctrl-C,
SIGTERM and SIGHUP are left to PROGRAM (passed on to it when sent to this process alone).
Without, serves until "quit" or the end of standard input.

Once the bridge is presented, prints one line:  ready /dev/ttyUSB0
(with --bridges N, every bridge's port: ready /dev/ttyUSB0 /dev/ttyUSB1 ...)
Then reads commands, one a line, from standard input:
  plug [K]    plug bridge K (default 1) in; its tracker powers up with its memory kept
              -> "plugged" ("plugged K" when K was given)
  unplug [K]  pull it out: the port hangs up, then udev reports the removal
              -> "unplugged" ("unplugged K")
  quit        end now (a running PROGRAM gets SIGTERM)
A command that cannot be carried out answers "error: " and the reason.

Options:
)";

constexpr const char* kUsageTail = R"(
Exit codes: PROGRAM's exit code (128 + signal number when a signal ended it); without
PROGRAM 0, or 128 + signal number when a signal ended the run; 2 bad usage; 125 the testbed
could not be set up; 126/127 PROGRAM could not be run.
umockdev-wrapper is applied automatically when it is not already in effect.
)";

struct Options {
    Pacing pacing = Pacing::RealLine;
    bool plugged = true;
    int bridges = 1;
    std::string memoryFile;
    std::vector<std::string> program;
    bool help = false;
};

std::vector<ostrel::options::Option> OptionTable(Options& o) {
    return {
        {"--fast", nullptr,
         "no line timing (default: the rate the program set, which the\n"
         "bootloader locks onto at its first sync byte, 11 bit times a byte\n"
         "each way, 6 ms to store a block, as the real line)",
         [&o](const std::string&) {
             o.pacing = Pacing::Fast;
             return std::string();
         }},
        {"--bridges", "N",
         "present N bridges (1 to 32), each with a tracker of its own, as on a\n"
         "bench of adapters: bridge K in USB socket 1-K with /dev/ttyUSB<K-1>",
         [&o](const std::string& text) {
             const auto [end, ec] =
                 std::from_chars(text.data(), text.data() + text.size(), o.bridges);
             if (ec == std::errc() && end == text.data() + text.size() && o.bridges >= 1 &&
                 o.bridges <= kMaxBridges) {
                 return std::string();
             }
             return "--bridges takes a number from 1 to " + std::to_string(kMaxBridges);
         }},
        {"--unplugged", nullptr, "start with the bridges pulled out",
         [&o](const std::string&) {
             o.plugged = false;
             return std::string();
         }},
        {"--save-memory", "FILE",
         "write the tracker's 64 KiB address space to FILE at the end\n"
         "(with --bridges N: bridge K's to FILE.K)",
         ostrel::options::Stores(o.memoryFile)},
        {"--help", nullptr, "this text", ostrel::options::Sets(o.help), false, "-h"},
    };
}

// The options, then after "--" the program to run.
std::optional<Options> Parse(int argc, char** argv, std::string& error) {
    Options options;
    std::vector<std::string> args(argv + 1, argv + argc);
    const auto dashes = std::find(args.begin(), args.end(), "--");
    const bool programGiven = dashes != args.end();
    if (programGiven) {
        options.program.assign(dashes + 1, args.end());
        args.erase(dashes, args.end());
    }
    if (!ostrel::options::ParseOptions(OptionTable(options), args, error)) return std::nullopt;
    if (programGiven && options.program.empty()) {
        error = "-- must be followed by a program";
        return std::nullopt;
    }
    return options;
}

// The testbed needs umockdev's preload from the process start; run again under it.
[[noreturn]] void ReexecUnderUmockdev(char** argv) {
    if (std::getenv(kReexecMarker) != nullptr) {
        std::fprintf(stderr, "ostrel-bridgesim: umockdev's preload library does not load\n");
        std::exit(kExitHarnessFailed);
    }
    const char* old = std::getenv("LD_PRELOAD");
    std::string preload = "libumockdev-preload.so.0";
    if (old != nullptr && *old != '\0') preload += std::string(":") + old;
    setenv("LD_PRELOAD", preload.c_str(), 1);
    setenv(kReexecMarker, "1", 1);
    execv("/proc/self/exe", argv);
    std::fprintf(stderr, "ostrel-bridgesim: cannot run again: %s\n", std::strerror(errno));
    std::exit(kExitHarnessFailed);
}

// The library that lets the bridge see the line settings a program asks for: beside this
// program's directory, in ../lib, unless OSTREL_TERMIOS_PRELOAD names it.
std::string TermiosPreload() {
    if (const char* named = std::getenv("OSTREL_TERMIOS_PRELOAD")) return named;
    std::error_code code;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", code);
    if (code) return {};
    const std::filesystem::path lib =
        self.parent_path() / ".." / "lib" / "libostrel-termios-preload.so";
    return std::filesystem::exists(lib, code) ? lib.lexically_normal().string() : std::string();
}

pid_t StartProgram(const std::vector<std::string>& program, const sigset_t& oldMask) {
    const std::string termios = TermiosPreload();
    if (termios.empty()) {
        std::fprintf(stderr,
                     "ostrel-bridgesim: libostrel-termios-preload.so not found; the program's "
                     "line settings go to the pty unseen\n");
    }
    // Everything the child needs is made before the fork: this process has threads, and the
    // child may only make async-signal-safe calls. LD_PRELOAD may be unset (a sanitizer's
    // runtime loads umockdev's library otherwise).
    std::string preload;
    if (const char* old = std::getenv("LD_PRELOAD"); old != nullptr && *old != '\0') {
        preload = old;
    }
    if (!termios.empty()) preload += (preload.empty() ? "" : ":") + termios;
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        if (!text.starts_with("LD_PRELOAD=") &&
            !text.starts_with(std::string(kReexecMarker) + "=")) {
            environment.emplace_back(text);
        }
    }
    if (!preload.empty()) environment.push_back("LD_PRELOAD=" + preload);
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<char*> args;
    for (const std::string& arg : program) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const pid_t child = fork();
    if (child != 0) return child;
    sigprocmask(SIG_SETMASK, &oldMask, nullptr);
    // Commands on standard input are the harness's alone.
    const int nothing = open("/dev/null", O_RDONLY);
    if (nothing >= 0) dup2(nothing, 0);
    execvpe(args[0], args.data(), envp.data());
    std::fprintf(stderr, "ostrel-bridgesim: cannot run %s: %s\n", args[0], std::strerror(errno));
    _exit(errno == ENOENT ? 127 : 126);
}

int ExitCodeOf(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return kExitHarnessFailed;
}

void Reply(const std::string& line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

bool SaveMemory(SimulatedBridge& bridge, const std::string& file) {
    bool saved = false;
    bridge.WithModel([&](ostrel::sim::BootloaderModel& model) {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(model.Memory().data()),
                  static_cast<std::streamsize>(model.Memory().size()));
        saved = static_cast<bool>(out);
    });
    return saved;
}

// Commands on standard input, signals and the program's end, until one of them ends the run.
class Session {
  public:
    Session(std::vector<std::unique_ptr<SimulatedBridge>>& bridges, int signals)
        : bridges_(bridges), signals_(signals) {}

    int Run(pid_t child) {
        child_ = child;
        while (!done_) {
            pollfd fds[2] = {{signals_, POLLIN, 0}, {inputOpen_ ? 0 : -1, POLLIN, 0}};
            if (poll(fds, 2, -1) < 0) {
                if (errno == EINTR) continue;
                break;
            }
            if (fds[0].revents & POLLIN) OnSignal();
            if (!done_ && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) OnInput();
        }
        return exitCode_;
    }

  private:
    void OnSignal() {
        signalfd_siginfo info{};
        if (read(signals_, &info, sizeof info) != sizeof info) return;
        if (info.ssi_signo == SIGCHLD) {
            int status = 0;
            if (child_ > 0 && waitpid(child_, &status, WNOHANG) == child_) {
                child_ = -1;
                Finish(ExitCodeOf(status));
            }
            return;
        }
        if (child_ > 0) {
            // The program decides how it ends, and the run ends with its exit code. Ctrl-C at
            // the terminal reaches it as well (the kernel sends it to the whole foreground
            // group); a signal sent to this process alone is passed on.
            if (info.ssi_code != SI_KERNEL) kill(child_, static_cast<int>(info.ssi_signo));
            return;
        }
        Stop(128 + static_cast<int>(info.ssi_signo));
    }

    void OnInput() {
        char chunk[256];
        const ssize_t got = read(0, chunk, sizeof chunk);
        if (got <= 0) {
            inputOpen_ = false;
            if (child_ < 0) Finish(0);  // nothing else keeps the run going
            return;
        }
        pending_.append(chunk, static_cast<std::size_t>(got));
        for (std::size_t end; !done_ && (end = pending_.find('\n')) != std::string::npos;) {
            std::string command = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            if (!command.empty() && command.back() == '\r') command.pop_back();
            Execute(command);
        }
    }

    void Execute(const std::string& line) {
        // "plug", "plug K", "unplug", "unplug K": bridge 1 unless K names another.
        const std::size_t blank = line.find(' ');
        const std::string command = line.substr(0, blank);
        const std::string number = blank == std::string::npos ? "" : line.substr(blank + 1);
        int k = 1;
        if (!number.empty()) {
            const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), k);
            if (ec != std::errc() || end != number.data() + number.size() || k < 1 ||
                k > static_cast<int>(bridges_.size())) {
                return Reply("error: no bridge " + number + " (there are " +
                             std::to_string(bridges_.size()) + ")");
            }
        }
        SimulatedBridge& bridge = *bridges_[k - 1];
        const std::string which = number.empty() ? "" : " " + number;
        if (command == "plug") {
            if (bridge.IsPlugged()) return Reply("error: already plugged in");
            if (!bridge.Plug()) return Reply("error: " + bridge.Error());
            Reply("plugged" + which);
        } else if (command == "unplug") {
            if (!bridge.IsPlugged()) return Reply("error: not plugged in");
            bridge.Unplug();
            Reply("unplugged" + which);
        } else if (command == "quit" && number.empty()) {
            Stop(0);
        } else if (!line.empty()) {
            Reply("error: unknown command: " + line);
        }
    }

    // Ends the run; a program still running is asked to end and waited for.
    void Stop(int code) {
        if (child_ > 0) {
            kill(child_, SIGTERM);
            int status = 0;
            while (waitpid(child_, &status, 0) < 0 && errno == EINTR) {
            }
            child_ = -1;
        }
        Finish(code);
    }

    void Finish(int code) {
        exitCode_ = code;
        done_ = true;
    }

    std::vector<std::unique_ptr<SimulatedBridge>>& bridges_;
    int signals_;
    pid_t child_ = -1;
    bool inputOpen_ = true;
    bool done_ = false;
    int exitCode_ = 0;
    std::string pending_;
};

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    const std::optional<Options> options = Parse(argc, argv, error);
    Options unused;
    const std::string usage =
        kUsageHead + ostrel::options::OptionsHelp(OptionTable(unused), 23) + kUsageTail;
    if (!options) {
        std::fprintf(stderr, "ostrel-bridgesim: %s\n\n%s", error.c_str(), usage.c_str());
        return kExitUsage;
    }
    if (options->help) {
        std::fputs(usage.c_str(), stdout);
        return 0;
    }
    if (!ostrel::sim::BridgeTestbed::IsMockEnvironment()) ReexecUnderUmockdev(argv);

    // Signals become readable events of the loop; the program gets the old mask back.
    sigset_t handled;
    sigset_t oldMask;
    sigemptyset(&handled);
    for (int s : {SIGCHLD, SIGINT, SIGTERM, SIGHUP}) sigaddset(&handled, s);
    sigprocmask(SIG_BLOCK, &handled, &oldMask);
    const int signals = signalfd(-1, &handled, SFD_CLOEXEC);
    signal(SIGPIPE, SIG_IGN);

    // One testbed, as one machine, with every bridge on it.
    BridgeTestbed testbed;
    std::vector<std::unique_ptr<SimulatedBridge>> bridges;
    std::string ready = "ready";
    for (int k = 1; k <= options->bridges; ++k) {
        const UsbSerialAdapter adapter = options->bridges == 1
                                             ? UsbSerialAdapter::Cp2102()
                                             : UsbSerialAdapter::Cp2102InSocket(k);
        auto& bridge = *bridges.emplace_back(
            std::make_unique<SimulatedBridge>(testbed, options->pacing, adapter));
        if (!bridge.Ok() || (options->plugged && !bridge.Plug())) {
            std::fprintf(stderr, "ostrel-bridgesim: %s\n", bridge.Error().c_str());
            return kExitHarnessFailed;
        }
        ready += ' ';  // not " " + path: GCC 12 -O3 warns -Wrestrict on it (GCC bug 105329)
        ready += bridge.DevicePath();
    }
    Reply(ready);

    const pid_t child = options->program.empty() ? -1 : StartProgram(options->program, oldMask);
    if (!options->program.empty() && child < 0) {
        std::fprintf(stderr, "ostrel-bridgesim: cannot start the program: %s\n",
                     std::strerror(errno));
        return kExitHarnessFailed;
    }
    int code = Session(bridges, signals).Run(child);
    for (std::size_t k = 0; k < bridges.size(); ++k) {
        bridges[k]->Unplug();
        const std::string file = options->bridges == 1 || options->memoryFile.empty()
                                     ? options->memoryFile
                                     : options->memoryFile + "." + std::to_string(k + 1);
        if (!file.empty() && !SaveMemory(*bridges[k], file)) {
            std::fprintf(stderr, "ostrel-bridgesim: cannot write %s\n", file.c_str());
            if (code == 0) code = kExitHarnessFailed;
        }
    }
    bridges.clear();  // before the testbed they are on
    close(signals);
    return code;
}
