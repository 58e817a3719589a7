#include "cli/modes/bays.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <thread>
#include <vector>

#include "cli/modes/modes.h"
#include "cli/report/bay_display.h"
#include "cli/system/console_output.h"
#include "device/port_directory.h"

namespace ostrel::cli {
namespace {

// A port named on the command line is its own bay: "/dev/ttyUSB3" is "ttyUSB3", "COM201" stays.
std::string BayOfPortName(const std::string& port) {
    return port.starts_with("/dev/") ? port.substr(5) : port;
}

// The update's events turned into the bay's line: the stage, its percent and the time left,
// from the share of the whole run done so far. Writing the program memory and reading it back
// each move the same bytes; the data memory is small beside them. A check alone (--verify-only)
// is the whole run.
class BayProgress final : public UpdateEvents {
  public:
    BayProgress(BayDisplay& display, std::string bay, std::string port, bool checkOnly)
        : display_(display),
          bay_(std::move(bay)),
          port_(std::move(port)),
          checkOnly_(checkOnly),
          start_(std::chrono::steady_clock::now()) {}

    void StageBegun(UpdateStage stage, std::uint32_t total) override { Progress(stage, 0, total); }
    void Progress(UpdateStage stage, std::uint32_t done, std::uint32_t total) override {
        const double stageShare = total == 0 ? 1.0 : static_cast<double>(done) / total;
        double shareDone = 1.0;
        if (checkOnly_) {
            shareDone = stageShare;
        } else if (stage == UpdateStage::Write) {
            shareDone = stageShare / 2;
        } else if (stage == UpdateStage::Verify) {
            shareDone = 0.5 + stageShare / 2;
        }
        const std::uint32_t percent = total == 0 ? 100 : done * 100 / total;
        Show(StageName(stage), percent, shareDone);
    }
    void StageEnded(UpdateStage, bool) override {}

  private:
    void Show(const char* stage, std::uint32_t percent, double shareDone) {
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        std::optional<int> left;
        if (shareDone > 0.02 && shareDone < 1.0) {
            left = static_cast<int>(elapsed * (1 - shareDone) / shareDone + 0.5);
        }
        display_.Progress(bay_, port_, stage, percent, left);
    }

    BayDisplay& display_;
    std::string bay_;
    std::string port_;
    bool checkOnly_;
    std::chrono::steady_clock::time_point start_;
};

// One tracker in one bay, from its own thread: its own options (port, trace file), session
// and progress; only the display and the tally are shared, each behind its lock.
RunResult RunOneBay(const FlashOptions& shared, const AdapterPort& adapter, BayDisplay& display) {
    FlashOptions options = shared;
    options.port = adapter.port;
    options.ports = {adapter.port};
    options.all = false;
    options.quiet = true;  // the display speaks for every bay
    std::FILE* trace = nullptr;
    if (!shared.traceFile.empty()) {
        options.traceFile = BayTraceFile(shared.traceFile, adapter.bay);
        trace = std::fopen(options.traceFile.c_str(), "w");
        if (trace == nullptr) {
            RunResult result =
                Failed(kExitFileFailed, "trace",
                       "cannot write " + options.traceFile + ": " + std::strerror(errno));
            result.port = adapter.port;
            return result;
        }
    }
    BayProgress progress(display, adapter.bay, adapter.port,
                         ModeOf(options) == FlashMode::VerifyOnly);
    RunResult result;
    {
        FlashSession session(options, trace);
        session.ReportProgressTo(&progress);
        result = session.Finish(RunMode(session));
    }
    if (trace != nullptr && std::fclose(trace) != 0) {
        PrintText(stderr, "ostrel-flash: the trace %s is incomplete: %s\n",
                  options.traceFile.c_str(), std::strerror(errno));
    }
    return result;
}

BayDisplayStyle StyleFor(const FlashOptions& options) {
    if (options.quiet) return BayDisplayStyle::Quiet;
    return IsTerminal(stdout) ? BayDisplayStyle::Terminal : BayDisplayStyle::Lines;
}

}  // namespace

int RunBays(const FlashOptions& options) {
    if (options.repeat) {
        PutText(stderr,
                "ostrel-flash: --repeat with --all or several --port is not available yet\n");
        return kExitUsage;
    }
    std::vector<AdapterPort> bays;
    if (options.all) {
        bays = MakePortDirectory()->FindBridgePorts();
    } else {
        for (const std::string& port : options.ports) bays.push_back({port, BayOfPortName(port)});
    }
    if (bays.empty()) {
        PutText(stderr,
                "ostrel-flash: no programming adapter (CP210x, USB 10c4:ea60) is plugged in: "
                "plug the adapters in and try again\n");
        PutText(stdout, "summary updated=0 failed=0\n");
        return kExitNotConnected;
    }
    BayDisplay display(stdout, StyleFor(options), TerminalColumns(stdout));
    // Every bay's line from the start, in the order of the bays, whichever thread runs first.
    for (const AdapterPort& bay : bays) display.Progress(bay.bay, bay.port, "connect", 0, {});
    std::vector<RunResult> results(bays.size());
    {
        std::vector<std::jthread> sessions;
        for (std::size_t i = 0; i < bays.size(); ++i) {
            sessions.emplace_back([&, i] {
                results[i] = RunOneBay(options, bays[i], display);
                display.Result(bays[i].bay, results[i]);
            });
        }
    }  // every bay's session has ended
    int done = 0;
    for (const RunResult& result : results) done += result.Succeeded();
    const int failed = static_cast<int>(results.size()) - done;
    display.Summary(ModeOf(options) == FlashMode::VerifyOnly ? "verified" : "updated", done,
                    failed);
    return failed == 0 ? kExitSuccess : kExitUpdateFailed;
}

}  // namespace ostrel::cli
