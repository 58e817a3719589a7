#include "cli/modes/bays.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "cli/modes/modes.h"
#include "cli/report/bay_display.h"
#include "cli/report/run_messages.h"
#include "cli/system/atomic_file.h"
#include "cli/system/bench_wait.h"
#include "cli/system/console_output.h"
#include "cli/system/interruption.h"
#include "cli/system/program_files.h"
#include "device/device_events.h"
#include "device/hotplug.h"
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
// `portInUse` tells whether another program (another station) held the port, so that this
// run sent nothing.
RunResult RunOneBay(const FlashOptions& shared, const AdapterPort& adapter, BayDisplay& display,
                    bool& portInUse) {
    portInUse = false;
    FlashOptions options = shared;
    options.port = adapter.port;
    options.ports = {adapter.port};
    options.all = false;
    options.quiet = true;  // the display speaks for every bay
    std::FILE* trace = nullptr;
    if (!shared.traceFile.empty()) {
        options.traceFile = BayTraceFile(shared.traceFile, adapter.bay);
        RunResult result;
        trace = OpenTraceFile(options.traceFile, result);
        if (trace == nullptr) {
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
        result = RunMode(session);
        portInUse = session.Link().LastOpenReport().error == PortOpenError::InUse;
        result = session.Finish(result);
    }
    result = WithTraceChecked(result, trace, options.traceFile);
    if (trace != nullptr && std::fclose(trace) != 0) {
        PrintText(stderr, "ostrel-flash: the trace %s is incomplete: %s\n",
                  options.traceFile.c_str(), std::strerror(errno));
    }
    return result;
}

BayDisplayStyle StyleFor(const FlashOptions& options) {
    if (options.quiet) return BayDisplayStyle::Quiet;
    return EnableCursorControl(stdout) ? BayDisplayStyle::Terminal : BayDisplayStyle::Lines;
}

const char* DoneWord(const FlashOptions& options) {
    return ModeOf(options) == FlashMode::VerifyOnly ? "verified" : "updated";
}

// A stop on request ends the run as a single tracker's would, whatever the others did.
int ExitCodeOf(int failed, bool interrupted) {
    if (interrupted) return kExitInterrupted;
    return failed == 0 ? kExitSuccess : kExitUpdateFailed;
}

// The station: every bay on its own, plug-in, update, result line, pull-out, and again, until
// Ctrl-C. The main thread follows the device notices and starts a bay's session on its own
// thread when an adapter is plugged into a free bay; a bay is free again once its adapter has
// been pulled out. The first Ctrl-C stops every session before its next exchange.
class Station {
  public:
    explicit Station(const FlashOptions& options)
        : options_(options), display_(stdout, StyleFor(options), TerminalColumns(stdout)) {}

    int Run() {
        const std::unique_ptr<DeviceEventSource> source = RegisterDeviceWatch();
        if (source == nullptr) {
            PutText(stderr, "ostrel-flash: cannot watch for adapters being plugged in\n");
            return kExitNotConnected;
        }
        const std::unique_ptr<PortDirectory> directory = MakePortDirectory();
        {
            BenchWait wait(*source);
            if (!options_.quiet) {
                PutText(stdout,
                        "Plug the adapters into the bays; each tracker is updated as it "
                        "comes (Ctrl-C ends)\n");
                std::fflush(stdout);
            }
            std::vector<DeviceEventSource::BayNotice> notices;
            std::size_t lateLooks = 0;
            do {
                std::vector<AdapterPort> ready = directory->FindBridgePorts();
                const std::size_t listed = ready.size();
                std::erase_if(ready,
                              [&](const AdapterPort& a) { return !directory->PortExists(a.port); });
                StartPluggedIn(ready, notices);
                source->TakeNotice();
                // An adapter whose port its driver has not made yet brings no notice when the
                // port comes: it is looked at again at the times an arrival's port is.
                int limit = -1;
                if (ready.size() == listed) {
                    lateLooks = 0;
                } else if (lateLooks < std::size(kArrivalRetryMs)) {
                    limit = static_cast<int>(kArrivalRetryMs[lateLooks] -
                                             (lateLooks > 0 ? kArrivalRetryMs[lateLooks - 1] : 0));
                    ++lateLooks;
                }
                if (!wait.ForAnyNotice(limit)) break;
                notices = source->TakeBayNotices();
            } while (!wait.StopRequested());
            // Each tracker in hand finishes its exchange in flight and is reported; with none
            // in hand, the stop is said as the single bench's loop says it.
            if (!AnyBusy()) {
                PrintText(stderr, "\nostrel-flash: %s\n",
                          DescribeStoppedWaiting("an adapter to be plugged in").c_str());
            }
            CountInterruptionRequest();
            for (auto& [name, bay] : bays_) {
                if (bay.session.joinable()) bay.session.join();
            }
        }
        display_.Summary(DoneWord(options_), updated_, failed_);
        return ExitCodeOf(failed_, interrupted_);
    }

  private:
    enum class BayState { Free, Busy, AwaitingPullOut };
    struct Bay {
        BayState state = BayState::Free;
        bool pulledOut = false;  // while its session runs
        std::jthread session;    // the bay's last session, ended unless Busy
    };

    // `present` is the lookup's answer now; `notices` the bays announced since the last look.
    void StartPluggedIn(const std::vector<AdapterPort>& present,
                        const std::vector<DeviceEventSource::BayNotice>& notices) {
        std::lock_guard lock(mutex_);
        // A removal names its bay for certain; the lookup may still list a device whose
        // removal was just announced, so such a bay waits for its next arrival.
        std::map<std::string, PendingEvent> lastNotice;
        for (const auto& notice : notices) {
            lastNotice[notice.bay] = notice.event;
            if (notice.event == kBridgeRemoved) PulledOut(notice.bay);
        }
        for (const auto& entry : bays_) {
            const std::string& name = entry.first;
            const bool listed = std::any_of(present.begin(), present.end(),
                                            [&](const AdapterPort& p) { return p.bay == name; });
            if (!listed) PulledOut(name);
        }
        for (const AdapterPort& adapter : present) {
            Bay& bay = bays_[adapter.bay];
            const auto notice = lastNotice.find(adapter.bay);
            if (bay.state != BayState::Free ||
                (notice != lastNotice.end() && notice->second == kBridgeRemoved)) {
                continue;
            }
            bay.state = BayState::Busy;
            bay.pulledOut = false;
            display_.Progress(adapter.bay, adapter.port, StageName(UpdateStage::Connect), 0, {});
            if (bay.session.joinable()) bay.session.join();  // ended: only its last line to go
            bay.session = std::jthread([this, adapter] { Update(adapter); });
        }
    }

    bool AnyBusy() {
        std::lock_guard lock(mutex_);
        return std::any_of(bays_.begin(), bays_.end(),
                           [](const auto& entry) { return entry.second.state == BayState::Busy; });
    }

    // Called with the lock held.
    void PulledOut(const std::string& name) {
        Bay& bay = bays_[name];
        if (bay.state == BayState::AwaitingPullOut) bay.state = BayState::Free;
        if (bay.state == BayState::Busy) bay.pulledOut = true;
    }

    // One tracker in one bay, on the bay's thread.
    void Update(const AdapterPort& adapter) {
        bool portInUse = false;
        const RunResult result = RunOneBay(options_, adapter, display_, portInUse);
        {
            std::lock_guard lock(mutex_);
            Bay& bay = bays_[adapter.bay];
            bay.state = bay.pulledOut ? BayState::Free : BayState::AwaitingPullOut;
            if (!portInUse) {
                ++(result.Succeeded() ? updated_ : failed_);
                if (result.exitCode == kExitInterrupted) interrupted_ = true;
            }
        }
        // Another station got the tracker first: it is theirs to update and report.
        if (portInUse) return display_.Aside(adapter.bay, adapter.port, "taken by another program");
        display_.Result(adapter.bay, result);
    }

    const FlashOptions& options_;
    BayDisplay display_;
    std::mutex mutex_;                 // guards the bays and the tally
    std::map<std::string, Bay> bays_;  // sessions joined by Run before the display goes
    int updated_ = 0;
    int failed_ = 0;
    bool interrupted_ = false;
};

}  // namespace

int RunBays(const FlashOptions& options) {
    if (options.repeat) {
        if (!options.all) {
            PutText(stderr,
                    "ostrel-flash: --repeat takes --all for a station of many bays, "
                    "not several --port\n");
            return kExitUsage;
        }
        return Station(options).Run();
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
    for (const AdapterPort& bay : bays)
        display.Progress(bay.bay, bay.port, StageName(UpdateStage::Connect), 0, {});
    std::vector<RunResult> results(bays.size());
    {
        std::vector<std::jthread> sessions;
        for (std::size_t i = 0; i < bays.size(); ++i) {
            sessions.emplace_back([&, i] {
                bool portInUse = false;
                results[i] = RunOneBay(options, bays[i], display, portInUse);
                display.Result(bays[i].bay, results[i]);
            });
        }
    }  // every bay's session has ended
    int done = 0;
    bool interrupted = false;
    for (const RunResult& result : results) {
        done += result.Succeeded();
        interrupted = interrupted || result.exitCode == kExitInterrupted;
    }
    const int failed = static_cast<int>(results.size()) - done;
    display.Summary(DoneWord(options), done, failed);
    return ExitCodeOf(failed, interrupted);
}

}  // namespace ostrel::cli
