// ostrel-devsim: the simulated tracker on a pseudo-terminal, for the updater to open as its
// serial port. Serves from this thread's poll loop until SIGINT or SIGTERM.
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "sim/devsim/devsim_options.h"
#include "sim/tty/tty_server.h"

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitNoLine = 1;

bool DumpMemory(const ostrel::sim::BootloaderModel& model, const std::string& file) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(model.Memory().data()),
              static_cast<std::streamsize>(model.Memory().size()));
    return static_cast<bool>(out.flush());
}

bool LoadMemory(ostrel::sim::BootloaderModel& model, const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    in.read(reinterpret_cast<char*>(model.Memory().data()),
            static_cast<std::streamsize>(model.Memory().size()));
    return in.gcount() == static_cast<std::streamsize>(model.Memory().size()) &&
           in.peek() == std::ifstream::traits_type::eof();
}

}  // namespace

int main(int argc, char** argv) {
    using namespace ostrel::sim;
    DevsimOptions options;
    std::string error;
    if (!ParseDevsimOptions({argv + 1, argv + argc}, options, error)) {
        std::fprintf(stderr, "ostrel-devsim: %s\nTry 'ostrel-devsim --help'.\n", error.c_str());
        return kExitUsage;
    }
    if (options.help) {
        std::fputs(kDevsimUsage, stdout);
        return 0;
    }

    // Signals arrive as readable data on a descriptor beside the server's, never mid-update.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    const int signals = signalfd(-1, &stopSignals, SFD_CLOEXEC);

    BootloaderModel model;
    if (options.getAnswer) model.SetGetAnswer(options.getAnswer->version, options.getAnswer->codes);
    for (const Fault& fault : options.faults) model.AddFault(fault);
    if (!options.loadFile.empty() && !LoadMemory(model, options.loadFile)) {
        std::fprintf(stderr, "ostrel-devsim: %s is not a memory of 65,536 bytes\n",
                     options.loadFile.c_str());
        return kExitUsage;
    }

    TtyServer server(model, options.fast ? Pacing::Fast : Pacing::RealLine);
    if (options.hangUpAt != 0) server.HangUpAtExchange(options.hangUpAt);
    const bool serving = options.tty.empty() ? server.ServeNewPty() : server.ServeTty(options.tty);
    if (!serving || signals < 0) {
        std::fprintf(stderr, "ostrel-devsim: cannot serve %s\n",
                     options.tty.empty() ? "a new pseudo-terminal" : options.tty.c_str());
        return kExitNoLine;
    }
    std::string portPath = server.PortPath();
    if (!options.link.empty()) {
        unlink(options.link.c_str());
        if (symlink(portPath.c_str(), options.link.c_str()) != 0) {
            std::fprintf(stderr, "ostrel-devsim: cannot make the link %s\n", options.link.c_str());
            return kExitNoLine;
        }
        portPath = options.link;
    }
    std::printf("%s\n", portPath.c_str());
    std::fflush(stdout);

    pollfd watched[2] = {{server.PollDescriptor(), POLLIN, 0}, {signals, POLLIN, 0}};
    std::size_t reported = 0;  // exchanges looked at for --events; the last may still run
    std::uint32_t closes = 0;
    while (!(watched[1].revents & POLLIN)) {
        if (poll(watched, 2, -1) < 0) continue;
        if (!(watched[0].revents & POLLIN)) continue;
        server.Process();
        if (!options.events) continue;
        const auto& exchanges = model.Exchanges();
        for (; reported < exchanges.size(); ++reported) {
            const ostrel::sim::ExchangeRecord& exchange = exchanges[reported];
            const bool last = reported + 1 == exchanges.size();
            if (last && !exchange.completed) break;  // looked at again once it ends
            if (exchange.command == ostrel::sim::Command::WriteMemory && exchange.completed) {
                std::printf("written 0x%04X\n", exchange.address);
            }
        }
        for (; closes < server.Stats().hostCloses; ++closes) std::printf("closed\n");
        std::fflush(stdout);
    }

    if (!options.link.empty()) unlink(options.link.c_str());
    int status = 0;
    if (!options.dumpFile.empty() && !DumpMemory(model, options.dumpFile)) {
        std::fprintf(stderr, "ostrel-devsim: cannot write %s\n", options.dumpFile.c_str());
        status = 1;
    }
    const LineStats stats = server.Stats();
    std::printf("served from_host=%llu to_host=%llu block_writes=%u exchanges=%zu rate=%u\n",
                static_cast<unsigned long long>(stats.fromHost),
                static_cast<unsigned long long>(stats.toHost), model.BlocksWritten(),
                model.Exchanges().size(), stats.lockedRate);
    return status;
}
