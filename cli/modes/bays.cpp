#include "cli/modes/bays.h"

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

#include "cli/modes/bench_rule.h"
#include "cli/modes/modes.h"
#include "cli/report/bay_display.h"
#include "cli/report/journal.h"
#include "cli/report/run_messages.h"
#include "cli/system/atomic_file.h"
#include "cli/system/bench_wait.h"
#include "cli/system/console_output.h"
#include "cli/system/interruption.h"
#include "cli/system/program_files.h"
#include "cli/system/terminal_resize.h"
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
    // `warn`: say, before the first block is written, not to interrupt it.
    BayProgress(BayDisplay& display, std::string bay, std::string port, bool checkOnly, bool warn)
        : display_(display),
          bay_(std::move(bay)),
          port_(std::move(port)),
          checkOnly_(checkOnly),
          warn_(warn),
          start_(std::chrono::steady_clock::now()) {}

    void StageBegun(UpdateStage stage, std::uint32_t total) override {
        if (stage == UpdateStage::Write && warn_) display_.Message(bay_, kDoNotInterrupt);
        Progress(stage, 0, total);
    }
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
    bool warn_;
    std::chrono::steady_clock::time_point start_;
};

// How a bay's run ended besides its result.
struct BayEnd {
    RunResult result;
    bool portInUse = false;  // another program (another station) held the port: nothing sent
    bool hungUp = false;     // the port went away under an exchange: the adapter was pulled out
};

// One tracker in one bay, from its own thread: its own options (port, trace file), session
// and progress; only the display is shared, behind its lock. Every message of the session goes
// through the display, named by the bay.
BayEnd RunOneBay(const FlashOptions& shared, const AdapterPort& adapter, BayDisplay& display) {
    BayEnd end;
    FlashOptions options = shared;
    options.port = adapter.port;
    options.ports = {adapter.port};
    options.all = false;
    options.quiet = true;  // the display speaks for every bay
    std::FILE* trace = nullptr;
    if (!shared.traceFile.empty()) {
        options.traceFile = BayTraceFile(shared.traceFile, adapter.bay);
        trace = OpenTraceFile(options.traceFile, end.result);
        if (trace == nullptr) {
            display.Message(adapter.bay, "ostrel-flash: " + end.result.reason);
            end.result.port = adapter.port;
            end.result.bay = adapter.bay;
            return end;
        }
    }
    BayProgress progress(display, adapter.bay, adapter.port,
                         ModeOf(options) == FlashMode::VerifyOnly, !shared.quiet);
    end.result.bay = adapter.bay;
    {
        FlashSession session(options, trace);
        session.ReportProgressTo(&progress);
        session.SendMessagesTo(
            [&](const std::string& line) { display.Message(adapter.bay, line); });
        end.result = RunMode(session);
        end.portInUse = session.Link().LastOpenReport().error == PortOpenError::InUse;
        end.hungUp = session.Link().HungUp();
        end.result.bay = adapter.bay;
        end.result = session.Finish(end.result);
    }
    if (trace != nullptr && std::fclose(trace) != 0) {
        display.Message(adapter.bay, "ostrel-flash: the trace " + options.traceFile +
                                         " is incomplete: " + std::strerror(errno));
    }
    return end;
}

BayDisplayStyle StyleFor(const FlashOptions& options) {
    if (options.quiet) return BayDisplayStyle::Quiet;
    return EnableCursorControl(stdout) ? BayDisplayStyle::Terminal : BayDisplayStyle::Lines;
}

BayDisplay MakeBayDisplay(const FlashOptions& options) {
    return BayDisplay(stdout, stderr, StyleFor(options), [] { return TerminalSizeOf(stdout); });
}

// The tracker's line in the journal, if one is kept; false when it could not be written, which
// is said above the bays.
bool Journaled(Journal* journal, const BayEnd& end, const AdapterPort& adapter,
               BayDisplay& display) {
    std::string error;
    if (journal == nullptr || journal->Record(end.result, adapter.serial, error)) return true;
    display.Note("ostrel-flash: " + error + "; no new tracker is taken");
    return false;
}

bool VerifyOnly(const FlashOptions& options) {
    return ModeOf(options) == FlashMode::VerifyOnly;
}

// The station: every bay on its own, plug-in, update, result line, pull-out, and again, until
// Ctrl-C. The main thread follows the device notices and starts a bay's session on its own
// thread when an adapter is plugged into a free bay; a bay is free again once its adapter has
// been pulled out, and then looked at again at once (it may be back already).
class Station {
  public:
    Station(const FlashOptions& options, Journal* journal)
        : options_(options),
          journal_(journal),
          display_(MakeBayDisplay(options)),
          tally_(VerifyOnly(options)) {}

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
            BenchStop stop(true, [this](const std::string& line) { Say(line); });
            stop_ = &stop;
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
            // Each tracker in hand finishes and is reported; with none in hand, the stop is
            // said as the single bench's loop says it.
            if (!AnyBusy() && !journalFailed_) {
                display_.Note("ostrel-flash: " +
                              DescribeStoppedWaiting("an adapter to be plugged in"));
            }
            JoinSessions();
            stop_ = nullptr;
            wait_ = nullptr;
        }
        display_.Summary(tally_.SummaryLine());
        const int code = tally_.ExitCode();
        return code == kExitSuccess && journalFailed_ ? kExitFileFailed : code;
    }

  private:
    enum class BayState { Free, Busy, AwaitingPullOut };
    struct Bay {
        BayState state = BayState::Free;
        bool pulledOut = false;  // while its session runs
        std::jthread session;    // the bay's last session, ended unless Busy
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
            if (!stop_->Take()) return;  // stopping: no new tracker
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
        const BayEnd end = RunOneBay(options_, adapter, display_);
        bool free = false;
        {
            std::lock_guard lock(mutex_);
            Bay& bay = bays_[adapter.bay];
            // A port that hung up is an adapter pulled out, whether or not its notice came.
            free = bay.pulledOut || end.hungUp;
            bay.state = free ? BayState::Free : BayState::AwaitingPullOut;
            if (!end.portInUse) tally_.Count(end.result);
        }
        // A station never runs unrecorded: a journal that cannot be written is a stop with the
        // trackers in hand finishing.
        if (!end.portInUse && !Journaled(journal_, end, adapter, display_)) {
            journalFailed_ = true;
            if (RequestedStop() == StopAsked::Nothing) CountInterruptionRequest();
            free = true;  // the main thread wakes and ends the watch
        }
        // Another station got the tracker first: it is theirs to update and report.
        if (end.portInUse) {
            display_.Aside(adapter.bay, adapter.port, "taken by another program");
        } else {
            display_.Result(adapter.bay, end.result);
        }
        stop_->Done();
        // The adapter may be back already (a quick re-plug): the main thread looks again.
        if (free) wait_->Wake();
    }

    const FlashOptions& options_;
    Journal* journal_;  // null when none is kept
    std::atomic<bool> journalFailed_{false};
    BayDisplay display_;
    TerminalResizes resizes_{[this] { display_.Resized(); }};
    BenchTally tally_;
    BenchWait* wait_ = nullptr;        // while Run watches
    BenchStop* stop_ = nullptr;        // while Run watches
    std::mutex mutex_;                 // guards the bays
    std::map<std::string, Bay> bays_;  // sessions joined by Run before the display goes
};

}  // namespace

int RunBays(const FlashOptions& options, Journal* journal) {
    if (options.repeat) {
        if (!options.all) {
            PutText(stderr,
                    "ostrel-flash: --repeat takes --all for a station of many bays, "
                    "not several --port\n");
            return kExitUsage;
        }
        return Station(options, journal).Run();
    }
    std::vector<AdapterPort> bays;
    if (options.all) {
        bays = MakePortDirectory()->FindBridgePorts();
    } else {
        for (const std::string& port : options.ports)
            bays.push_back({port, BayOfPortName(port), {}});
    }
    BenchTally tally(VerifyOnly(options));
    if (bays.empty()) {
        PutText(stderr,
                "ostrel-flash: no programming adapter (CP210x, USB 10c4:ea60) is plugged in: "
                "plug the adapters in and try again\n");
        PrintText(stdout, "%s\n", tally.SummaryLine().c_str());
        return kExitNotConnected;
    }
    BayDisplay display = MakeBayDisplay(options);
    TerminalResizes resizes([&] { display.Resized(); });
    // Every bay's line from the start, in the order of the bays, whichever thread runs first.
    for (const AdapterPort& bay : bays)
        display.Progress(bay.bay, bay.port, StageName(UpdateStage::Connect), 0, {});
    std::atomic<bool> journalFailed{false};
    {
        BenchStop stop(false,
                       [&](const std::string& line) { display.Note("ostrel-flash: " + line); });
        std::vector<std::jthread> sessions;
        for (const AdapterPort& bay : bays) {
            if (!stop.Take()) break;
            sessions.emplace_back([&, bay] {
                const BayEnd end = RunOneBay(options, bay, display);
                tally.Count(end.result);
                display.Result(bay.bay, end.result);
                if (!Journaled(journal, end, bay, display)) journalFailed = true;
                stop.Done();
            });
        }
        for (std::jthread& session : sessions) session.join();
    }  // every bay's session has ended
    display.Summary(tally.SummaryLine());
    const int code = tally.ExitCode();
    return code == kExitSuccess && journalFailed ? kExitFileFailed : code;
}

}  // namespace ostrel::cli
