#include "cli/station/bays.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "cli/modes/modes.h"
#include "cli/report/run_messages.h"
#include "cli/station/bay_display.h"
#include "cli/station/bench_stop.h"
#include "cli/station/bench_wait.h"
#include "cli/station/journal.h"
#include "cli/station/terminal_resize.h"
#include "cli/system/atomic_file.h"
#include "cli/system/console_output.h"
#include "cli/system/interruption.h"
#include "cli/system/program_files.h"
#include "device/device_events.h"
#include "device/hotplug.h"
#include "device/look_again.h"
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

// A bay's tracker on the bench's display: its stages on the bay's line, its messages named by
// the bay, its result line with the bay.
class BayView final : public TrackerView {
  public:
    BayView(BayDisplay& display, const AdapterPort& adapter, bool checkOnly)
        : display_(display),
          adapter_(adapter),
          progress_(display, adapter.bay, adapter.port, checkOnly) {}

    UpdateEvents* Progress() override { return &progress_; }
    void Message(const std::string& line) override { display_.Message(adapter_.bay, line); }
    void Note(const std::string& line) override { display_.Note(line); }
    void Result(const RunResult& result) override { display_.Result(adapter_.bay, result); }
    void Aside(const std::string& port, const std::string& why) override {
        display_.Aside(adapter_.bay, port.empty() ? adapter_.port : port, why);
    }

  private:
    BayDisplay& display_;
    const AdapterPort& adapter_;
    BayProgress progress_;
};

TrackerOutcome RunBay(RunContext& run, const AdapterPort& adapter, BayDisplay& display,
                      bool lookingAgain = false) {
    BayView view(display, adapter, ModeOf(run.options) == FlashMode::VerifyOnly);
    return RunTracker(run, {adapter.port, adapter.bay, adapter.serial, lookingAgain}, view);
}

BayDisplayStyle StyleFor(const FlashOptions& options) {
    if (options.quiet) return BayDisplayStyle::Quiet;
    return EnableCursorControl(stdout) ? BayDisplayStyle::Terminal : BayDisplayStyle::Lines;
}

BayDisplay MakeBayDisplay(const FlashOptions& options) {
    return BayDisplay(stdout, stderr, StyleFor(options), [] { return TerminalSizeOf(stdout); });
}

// The station: every bay on its own, plug-in, update, result line, pull-out, and again, until
// Ctrl-C. The main thread follows the device notices and starts a bay's session on its own
// thread when an adapter is plugged into a free bay; a bay is free again once its adapter has
// been pulled out, and then looked at again at once (it may be back already). A bay whose port
// another program holds is looked at again on the arrival's schedule.
class Station {
  public:
    explicit Station(RunContext& run) : run_(run), display_(MakeBayDisplay(run.options)) {}

    int Run() {
        const std::unique_ptr<DeviceEventSource> source = RegisterDeviceWatch();
        if (source == nullptr) {
            PutText(stderr, "ostrel-flash: cannot watch for adapters being plugged in\n");
            return kExitNotConnected;
        }
        const std::unique_ptr<PortDirectory> directory = MakePortDirectory();
        {
            BenchWait wait(*source);
            wait_ = &wait;
            BenchStop stop(true, WordsFor(ModeOf(run_.options)).work,
                           [this](const std::string& line) { Say(line); });
            stop_ = &stop;
            if (!run_.options.quiet) {
                PrintText(stdout,
                          "Plug the adapters into the bays; each tracker is %s as it comes "
                          "(Ctrl-C ends)\n",
                          WordsFor(ModeOf(run_.options)).done);
                std::fflush(stdout);
            }
            std::vector<DeviceEventSource::BayNotice> notices;
            LookAgainSchedule lateLooks;
            do {
                const std::size_t listed = directory->FindBridgePorts().size();
                const std::vector<AdapterPort> ready = ReadyBridgePorts(*directory);
                std::optional<std::uint32_t> limit = StartPluggedIn(ready, notices);
                source->TakeNotice();
                // An adapter whose port its driver has not made yet brings no notice when the
                // port comes: it is looked at again at the times an arrival's port is.
                if (ready.size() >= listed) {
                    lateLooks.Restart();
                } else if (const std::optional<std::uint32_t> late = lateLooks.NextPause()) {
                    limit = std::min(limit.value_or(*late), *late);
                }
                if (!wait.ForAnyNotice(limit ? static_cast<int>(*limit) : -1)) break;
                notices = source->TakeBayNotices();
            } while (!wait.StopRequested() && run_.tally.TakesNewTrackers());
            // Each tracker in hand finishes and is reported; with none in hand, the stop is
            // said as the single bench's loop says it.
            if (!AnyIn(BayState::Busy) && run_.tally.TakesNewTrackers()) {
                display_.Note("ostrel-flash: " +
                              DescribeStoppedWaiting(AnyIn(BayState::AwaitingPullOut)
                                                         ? "adapters to be pulled out or plugged in"
                                                         : "an adapter to be plugged in"));
            }
            JoinSessions();
            stop_ = nullptr;
            wait_ = nullptr;
        }
        display_.Summary(run_.tally.SummaryLine());
        run_.traces.Close([this](const std::string& line) { display_.Note(line); });
        return run_.tally.ExitCode();
    }

  private:
    using Clock = std::chrono::steady_clock;
    enum class BayState { Free, Busy, Held, AwaitingPullOut };
    struct Bay {
        BayState state = BayState::Free;
        bool pulledOut = false;    // while its session runs
        LookAgainSchedule looks;   // while another program holds its port
        Clock::time_point lookAt;  // Held: when to look again
        std::jthread session;      // the bay's last session, ended unless Busy
    };

    // The line after the terminal's echo of ^C.
    void Say(const std::string& line) { display_.Note("ostrel-flash: " + line); }

    void JoinSessions() {
        std::vector<std::jthread> sessions;
        {
            std::lock_guard lock(mutex_);
            for (auto& [name, bay] : bays_) sessions.push_back(std::move(bay.session));
        }
        for (std::jthread& session : sessions) {
            if (session.joinable()) session.join();
        }
    }

    // `present` is the lookup's answer now; `notices` the bays announced since the last look.
    // The time until a held bay is to be looked at again, if one is.
    std::optional<std::uint32_t> StartPluggedIn(
        const std::vector<AdapterPort>& present,
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
        const Clock::time_point now = Clock::now();
        std::optional<std::uint32_t> nextLook;
        for (const AdapterPort& adapter : present) {
            Bay& bay = bays_[adapter.bay];
            if (bay.state == BayState::Held && bay.lookAt > now) {
                const auto wait = std::chrono::ceil<std::chrono::milliseconds>(bay.lookAt - now);
                nextLook = std::min(nextLook.value_or(wait.count()),
                                    static_cast<std::uint32_t>(wait.count()));
                continue;
            }
            const auto notice = lastNotice.find(adapter.bay);
            const bool again = bay.state == BayState::Held;
            if ((bay.state != BayState::Free && !again) ||
                (notice != lastNotice.end() && notice->second == kBridgeRemoved)) {
                continue;
            }
            // Stopping, or a file failed: no new tracker.
            if (!run_.tally.TakesNewTrackers() || !stop_->Take()) break;
            if (!again) bay.looks.Restart();
            bay.state = BayState::Busy;
            bay.pulledOut = false;
            display_.Progress(adapter.bay, adapter.port, StageName(UpdateStage::Connect), 0, {});
            if (bay.session.joinable()) bay.session.join();  // ended: only its last line to go
            bay.session = std::jthread([this, adapter, again] { Update(adapter, again); });
        }
        return nextLook;
    }

    bool AnyIn(BayState state) {
        std::lock_guard lock(mutex_);
        return std::any_of(bays_.begin(), bays_.end(),
                           [state](const auto& entry) { return entry.second.state == state; });
    }

    // Called with the lock held.
    void PulledOut(const std::string& name) {
        Bay& bay = bays_[name];
        if (bay.state == BayState::AwaitingPullOut || bay.state == BayState::Held) {
            bay.state = BayState::Free;
        }
        if (bay.state == BayState::Busy) bay.pulledOut = true;
    }

    // One tracker in one bay, on the bay's thread.
    void Update(const AdapterPort& adapter, bool lookingAgain) {
        const TrackerOutcome outcome = RunBay(run_, adapter, display_, lookingAgain);
        {
            std::lock_guard lock(mutex_);
            Bay& bay = bays_[adapter.bay];
            // A port that hung up is an adapter pulled out, whether or not its notice came.
            const bool free = bay.pulledOut || outcome.hungUp;
            bay.state = free ? BayState::Free : BayState::AwaitingPullOut;
            if (!free && outcome.end == TrackerEnd::PortTaken) {
                if (const std::optional<std::uint32_t> pause = bay.looks.NextPause()) {
                    bay.state = BayState::Held;
                    bay.lookAt = Clock::now() + std::chrono::milliseconds(*pause);
                }
            }
        }
        stop_->Done();
        // The main thread looks again: the adapter may be back already (a quick re-plug), a
        // held port has its next look, and a failed file takes no new tracker.
        wait_->Wake();
    }

    RunContext& run_;
    BayDisplay display_;
    TerminalResizes resizes_{[this] { display_.Resized(); }};
    BenchWait* wait_ = nullptr;        // while Run watches
    BenchStop* stop_ = nullptr;        // while Run watches
    std::mutex mutex_;                 // guards the bays
    std::map<std::string, Bay> bays_;  // sessions joined by Run before the display goes
};

}  // namespace

int RunBays(RunContext& run) {
    const FlashOptions& options = run.options;
    if (options.repeat) {
        if (!options.all) {
            PutText(stderr,
                    "ostrel-flash: --repeat takes --all for a station of many bays, "
                    "not several --port\n");
            return kExitUsage;
        }
        if (std::optional<RunResult> refused = run.traces.OpenBeforeAnyTracker({})) {
            return EndBeforeAnyTracker(*refused);
        }
        return Station(run).Run();
    }
    std::vector<AdapterPort> bays;
    if (options.all) {
        bays = MakePortDirectory()->FindBridgePorts();
    } else {
        for (const std::string& port : options.ports)
            bays.push_back({port, BayOfPortName(port), {}});
    }
    if (bays.empty()) {
        PutText(stderr,
                "ostrel-flash: no programming adapter (CP210x, USB 10c4:ea60) is plugged in: "
                "plug the adapters in and try again\n");
        PrintText(stdout, "%s\n", run.tally.SummaryLine().c_str());
        return kExitNotConnected;
    }
    std::vector<std::string> names;
    for (const AdapterPort& bay : bays) names.push_back(bay.bay);
    if (std::optional<RunResult> refused = run.traces.OpenBeforeAnyTracker(names)) {
        return EndBeforeAnyTracker(*refused);
    }
    BayDisplay display = MakeBayDisplay(options);
    TerminalResizes resizes([&] { display.Resized(); });
    // Every bay's line from the start, in the order of the bays, whichever thread runs first.
    for (const AdapterPort& bay : bays)
        display.Progress(bay.bay, bay.port, StageName(UpdateStage::Connect), 0, {});
    {
        BenchStop stop(false, WordsFor(ModeOf(options)).work,
                       [&](const std::string& line) { display.Note("ostrel-flash: " + line); });
        std::vector<std::jthread> sessions;
        for (const AdapterPort& bay : bays) {
            if (!stop.Take()) break;
            sessions.emplace_back([&, bay] {
                RunBay(run, bay, display);
                stop.Done();
            });
        }
        for (std::jthread& session : sessions) session.join();
    }  // every bay's session has ended
    display.Summary(run.tally.SummaryLine());
    run.traces.Close([&](const std::string& line) { display.Note(line); });
    return run.tally.ExitCode();
}

}  // namespace ostrel::cli
