// ostrel-usbipsim: simulated trackers behind simulated CP2102 adapters, plugged into the running
// kernel's vhci_hcd so that its own cp210x driver makes /dev/ttyUSB0, ... of them. Needs root
// and the vhci-hcd module. Takes ostrel-devsim's options; --count N plugs N adapters into vhci
// ports 0 to N-1. SIGUSR1 pulls every adapter out, SIGUSR2 plugs them in again; SIGINT or
// SIGTERM ends it with one summary line per adapter.
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sim/devsim/devsim_options.h"
#include "sim/devsim/memory_file.h"
#include "sim/usbip/linux/usbip_adapter.h"

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitNoAdapter = 1;

constexpr const char* kUsageHead = R"(Usage: ostrel-usbipsim [OPTION]...
Plugs N simulated CP2102 adapters (10C4:EA60), each with a simulated tracker behind it, into
the kernel's vhci_hcd (ports 0 to N-1). The options are ostrel-devsim's, an adapter where they
say pseudo-terminal; --hang-up-at N pulls the adapter out when the tracker begins its N-th
exchange. SIGUSR1 pulls every adapter out, SIGUSR2 plugs them in again. Prints "attached PORT"
for each adapter plugged in, and at exit one summary line per adapter: the blocks written in
all and in each plug-in, and the requests stalled over every plug-in.

)";

// ostrel-devsim's options but those of its pseudo-terminal, which an adapter does not have.
std::vector<ostrel::options::Option> OptionTable(ostrel::sim::DevsimOptions& o) {
    std::vector<ostrel::options::Option> table = ostrel::sim::DevsimOptionTable(o);
    std::erase_if(table, [](const ostrel::options::Option& row) {
        return std::string_view(row.name) == "--tty" || std::string_view(row.name) == "--link" ||
               std::string_view(row.name) == "--events";
    });
    return table;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace ostrel::sim;
    using namespace ostrel::sim::usbip;
    DevsimOptions options;
    std::string error;
    if (!ostrel::options::ParseOptions(OptionTable(options), {argv + 1, argv + argc}, error)) {
        std::fprintf(stderr, "ostrel-usbipsim: %s\n", error.c_str());
        return kExitUsage;
    }
    if (options.help) {
        DevsimOptions unused;
        std::fputs((kUsageHead + ostrel::options::OptionsHelp(OptionTable(unused), 20)).c_str(),
                   stdout);
        return 0;
    }

    sigset_t handled;
    sigemptyset(&handled);
    for (int s : {SIGINT, SIGTERM, SIGUSR1, SIGUSR2}) sigaddset(&handled, s);
    sigprocmask(SIG_BLOCK, &handled, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    const int signals = signalfd(-1, &handled, SFD_CLOEXEC);

    std::vector<std::unique_ptr<BootloaderModel>> models;
    std::vector<std::unique_ptr<UsbipAdapter>> adapters;
    for (std::uint32_t k = 0; k < options.count; ++k) {
        auto& model = *models.emplace_back(std::make_unique<BootloaderModel>());
        if (options.getAnswer)
            model.SetGetAnswer(options.getAnswer->version, options.getAnswer->codes);
        for (const Fault& fault : options.faults) model.AddFault(fault);
        if (!options.loadFile.empty() && !LoadMemory(model, options.loadFile)) {
            std::fprintf(stderr, "ostrel-usbipsim: %s is not a memory of 65,536 bytes\n",
                         options.loadFile.c_str());
            return kExitUsage;
        }
        // Adapters of one batch share their serial number: bays tell them apart by socket.
        auto& adapter = *adapters.emplace_back(
            std::make_unique<UsbipAdapter>(model, static_cast<int>(k), "0001", !options.fast));
        if (options.hangUpAt != 0) adapter.DetachAtExchange(options.hangUpAt);
    }
    auto attachAll = [&] {
        for (std::size_t k = 0; k < adapters.size(); ++k) {
            if (adapters[k]->Attached()) continue;
            if (!adapters[k]->Attach(error)) {
                std::fprintf(stderr, "ostrel-usbipsim: cannot plug in adapter %zu: %s\n", k + 1,
                             error.c_str());
                return false;
            }
            std::printf("attached %zu\n", k);
        }
        std::fflush(stdout);
        return true;
    };
    if (signals < 0 || !attachAll()) return kExitNoAdapter;

    bool stop = false;
    while (!stop) {
        std::vector<pollfd> watched{{signals, POLLIN, 0}};
        auto due = UsbipAdapter::Clock::time_point::max();
        for (const auto& adapter : adapters) {
            watched.push_back({adapter->PollDescriptor(), POLLIN, 0});
            due = std::min(due, adapter->NextDue());
        }
        int timeout = -1;
        if (due != UsbipAdapter::Clock::time_point::max()) {
            const auto wait =
                std::chrono::ceil<std::chrono::milliseconds>(due - UsbipAdapter::Clock::now());
            timeout = static_cast<int>(std::max<long long>(0, wait.count()));
        }
        if (poll(watched.data(), watched.size(), timeout) < 0) continue;
        if (watched[0].revents & POLLIN) {
            signalfd_siginfo info{};
            if (read(signals, &info, sizeof info) == sizeof info) {
                if (info.ssi_signo == SIGUSR1) {
                    for (auto& adapter : adapters) adapter->Detach();
                    std::printf("detached\n");
                    std::fflush(stdout);
                } else if (info.ssi_signo == SIGUSR2) {
                    attachAll();
                } else {
                    stop = true;
                }
            }
        }
        for (auto& adapter : adapters) adapter->Process();
    }

    int status = 0;
    for (std::size_t k = 0; k < adapters.size(); ++k) {
        const UsbipAdapter& adapter = *adapters[k];
        const std::string dump = options.count == 1 || options.dumpFile.empty()
                                     ? options.dumpFile
                                     : options.dumpFile + "." + std::to_string(k + 1);
        if (!dump.empty() && !DumpMemory(*models[k], dump)) {
            std::fprintf(stderr, "ostrel-usbipsim: cannot write %s\n", dump.c_str());
            status = 1;
        }
        for (const std::string& line : adapter.Device().SettingsLog()) {
            std::fprintf(stderr, "usbip: port %zu: %s\n", k, line.c_str());
        }
        std::string perPlugIn;
        for (std::uint32_t count : adapter.BlocksWrittenPerPlugIn()) {
            perPlugIn += (perPlugIn.empty() ? "" : ",") + std::to_string(count);
        }
        std::printf(
            "served port=%zu line_ctl=0x%04X baud=%u rate=%u block_writes=%u "
            "block_writes_per_plug_in=%s stalls=%zu detaches=%u\n",
            k, adapter.LineControlInUse(), adapter.BaudInUse(), adapter.LockedRate(),
            models[k]->BlocksWritten(), perPlugIn.c_str(), adapter.Stalls(), adapter.Detaches());
    }
    adapters.clear();  // pulls every adapter out
    return status;
}
