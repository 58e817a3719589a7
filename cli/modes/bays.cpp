#include "cli/modes/bays.h"

#include <unistd.h>

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

// What the update sequence shows, turned into the bay's line: the stage, its percent and the
// time left, from the share of the whole update done so far (writing the program memory and
// reading it back each move the same bytes; the data memory is small beside them).
class BayProgress final : public UpdateView {
  public:
    BayProgress(BayDisplay& display, std::string bay, std::string port)
        : display_(display),
          bay_(std::move(bay)),
          port_(std::move(port)),
          start_(std::chrono::steady_clock::now()) {}

    void SetIndicatorVisible(Indicator indicator, bool visible) override {
        if (!visible) return;
        if (indicator == Indicator::lbVerifyOK) Show("data", 0, 1.0);
    }
    void SetProgressPosition(ProgressBar bar, std::uint32_t position) override {
        const bool verify = bar == ProgressBar::BarVerify;
        if (!verify && dataStage_) return Show("data", position, 1.0);
        if (verify && position == 100) dataStage_ = true;
        Show(verify ? "verify" : "write", position, (verify ? 0.5 : 0.0) + position / 200.0);
    }
    void SetButtonEnabled(WizardButton, bool) override {}
    void ProcessPendingEvents() override {}
    bool IsKeepUserSelected() override { return false; }  // the session's own view decides

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
    std::chrono::steady_clock::time_point start_;
    bool dataStage_ = false;
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
    BayProgress progress(display, adapter.bay, adapter.port);
    RunResult result;
    {
        FlashSession session(options, trace);
        session.MirrorProgressTo(&progress);
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
    return isatty(STDOUT_FILENO) == 1 ? BayDisplayStyle::Terminal : BayDisplayStyle::Lines;
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
    BayDisplay display(stdout, StyleFor(options), ConsoleColumns(stdout));
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
