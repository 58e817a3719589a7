// ostrel-devsim: the simulated tracker on a pseudo-terminal, for the updater to open as its
// serial port. Serves from this thread's poll loop until SIGINT or SIGTERM.
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "sim/devsim/devsim_options.h"
#include "sim/devsim/memory_file.h"
#include "sim/tty/tty_server.h"

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitNoLine = 1;

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
        std::fputs(DevsimUsage().c_str(), stdout);
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

    // One model and one server per tracker, all served from this thread's poll loop.
    std::vector<std::unique_ptr<BootloaderModel>> models;
    std::vector<std::unique_ptr<TtyServer>> servers;
    for (std::uint32_t k = 0; k < options.count; ++k) {
        auto& model = *models.emplace_back(std::make_unique<BootloaderModel>());
        if (options.getAnswer) {
            model.SetGetAnswer(options.getAnswer->version, options.getAnswer->codes);
        }
        for (const Fault& fault : options.faults) model.AddFault(fault);
        if (!options.loadFile.empty() && !LoadMemory(model, options.loadFile)) {
            std::fprintf(stderr, "ostrel-devsim: %s is not a memory of 65,536 bytes\n",
                         options.loadFile.c_str());
            return kExitUsage;
        }
        auto& server = *servers.emplace_back(
            std::make_unique<TtyServer>(model, options.fast ? Pacing::Fast : Pacing::RealLine));
        if (options.hangUpAt != 0) server.HangUpAtExchange(options.hangUpAt);
        const bool serving =
            options.tty.empty() ? server.ServeNewPty() : server.ServeTty(options.tty);
        if (!serving || signals < 0) {
            std::fprintf(stderr, "ostrel-devsim: cannot serve %s\n",
                         options.tty.empty() ? "a new pseudo-terminal" : options.tty.c_str());
            return kExitNoLine;
        }
    }
    std::string portPath = servers[0]->PortPath();
    if (!options.link.empty()) {
        unlink(options.link.c_str());
        if (symlink(portPath.c_str(), options.link.c_str()) != 0) {
            std::fprintf(stderr, "ostrel-devsim: cannot make the link %s\n", options.link.c_str());
            return kExitNoLine;
        }
        portPath = options.link;
    }
    std::printf("%s\n", portPath.c_str());
    for (std::size_t k = 1; k < servers.size(); ++k) {
        std::printf("%s\n", servers[k]->PortPath().c_str());
    }
    std::fflush(stdout);

    std::vector<pollfd> watched{{signals, POLLIN, 0}};
    for (const auto& server : servers) watched.push_back({server->PollDescriptor(), POLLIN, 0});
    std::size_t reported = 0;  // exchanges looked at for --events; the last may still run
    std::uint32_t closes = 0;
    while (!(watched[0].revents & POLLIN)) {
        if (poll(watched.data(), watched.size(), -1) < 0) continue;
        for (std::size_t k = 0; k < servers.size(); ++k) {
            if (watched[k + 1].revents & POLLIN) servers[k]->Process();
        }
        if (!options.events) continue;  // one tracker only (the options see to it)
        const auto& exchanges = models[0]->Exchanges();
        for (; reported < exchanges.size(); ++reported) {
            const ostrel::sim::ExchangeRecord& exchange = exchanges[reported];
            const bool last = reported + 1 == exchanges.size();
            if (last && !exchange.completed) break;  // looked at again once it ends
            if (exchange.command == ostrel::sim::Command::WriteMemory && exchange.completed) {
                std::printf("written 0x%04X\n", exchange.address);
            }
        }
        for (; closes < servers[0]->Stats().hostCloses; ++closes) std::printf("closed\n");
        std::fflush(stdout);
    }

    if (!options.link.empty()) unlink(options.link.c_str());
    int status = 0;
    for (std::size_t k = 0; k < servers.size(); ++k) {
        const std::string dump = options.count == 1 || options.dumpFile.empty()
                                     ? options.dumpFile
                                     : options.dumpFile + "." + std::to_string(k + 1);
        if (!dump.empty() && !DumpMemory(*models[k], dump)) {
            std::fprintf(stderr, "ostrel-devsim: cannot write %s\n", dump.c_str());
            status = 1;
        }
        const LineStats stats = servers[k]->Stats();
        std::printf("served from_host=%llu to_host=%llu block_writes=%u exchanges=%zu rate=%u\n",
                    static_cast<unsigned long long>(stats.fromHost),
                    static_cast<unsigned long long>(stats.toHost), models[k]->BlocksWritten(),
                    models[k]->Exchanges().size(), stats.lockedRate);
    }
    return status;
}
