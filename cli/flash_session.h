#pragma once
// One tracker's run, whatever the mode: the release, the port behind its exchange trace and
// the interruption guard, the lookup, the protocol and the connector, the console lines
// (silenced by --quiet), and the clock for the result line.
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "cli/flash_options.h"
#include "cli/report/exchange_trace.h"
#include "cli/report/result_line.h"
#include "cli/report/trace_file.h"
#include "cli/system/interruption.h"
#include "core/bootloader_protocol.h"
#include "core/update_events.h"
#include "device/connection.h"

namespace ostrel::cli {

class FlashSession {
  public:
    // Exchanges also go to `traceFile` when it is not null.
    FlashSession(const FlashOptions& options, std::FILE* traceFile);
    ~FlashSession();
    FlashSession(const FlashSession&) = delete;
    FlashSession& operator=(const FlashSession&) = delete;

    const FlashOptions& Options() const { return options_; }
    const FirmwareImage& Image() const { return *image_; }
    UpdaterState& State() { return state_; }
    BootloaderProtocol& Protocol() { return protocol_; }
    ExchangeTrace& Trace() { return trace_; }
    // An exchange was refused because Ctrl-C (SIGTERM, SIGHUP) asked the run to stop.
    bool Stopped() const { return link_.Stopped(); }
    const InterruptibleLink& Link() const { return link_; }

    // The stages and their progress go to `events` (a bay's line on a bench) instead of the
    // session's own console lines; null gives them back to the console.
    void ReportProgressTo(UpdateEvents* events) { progressEvents_ = events; }
    UpdateEvents* ProgressEvents() const { return progressEvents_; }
    // The session's messages (failures, warnings, the last exchanges) go to `tell`, one line at
    // a time, instead of stderr: a bay's go through the bench's display, named by their bay.
    void SendMessagesTo(std::function<void(const std::string&)> tell) { tell_ = std::move(tell); }
    // A message line, on stderr or to where SendMessagesTo sends them.
    void Tell(const std::string& line);

    // Connects as the Connect button does; on failure, the result that reports it.
    std::optional<RunResult> Connect();
    // A line on stdout, unless --quiet or in a bay (the bench's display shows the bay).
    void Say(const std::string& line);
    // A failed exchange or check at `block`: says so on stderr in one line ("Failed in
    // `words`, block 0x9000: `reason`"), lists the last exchanges, and gives the result. When
    // the exchange was refused on request, reports the interruption instead.
    RunResult Fail(UpdateStage stage, const char* words, std::uint32_t block,
                   const std::string& reason);
    // The run stopped on request: says where and what the tracker holds, on stderr.
    RunResult Interrupted(UpdateStage stage, std::optional<std::uint32_t> block,
                          const std::string& description);
    // Closes the port, stamps the port and the time taken on `result`, and ends the run's part
    // of the trace with its result line, so that the trace alone tells a support case how the
    // run ended. A trace that could not be written whole changes nothing of what the result
    // says about the tracker: the line says so apart (trace=incomplete), and a run that
    // otherwise succeeded exits with kExitRecordIncomplete, so that a script notices.
    RunResult Finish(RunResult result);

  private:
    // The last few exchanges on stderr, for a support case.
    void ReportRecentExchanges();

    const FlashOptions& options_;
    std::chrono::steady_clock::time_point start_;
    std::FILE* traceFile_;
    std::unique_ptr<FirmwareImage> image_;
    UpdaterState state_;
    std::unique_ptr<SerialPort> port_;
    ExchangeTrace trace_;
    InterruptibleLink link_;
    std::unique_ptr<PortDirectory> directory_;
    BootloaderProtocol protocol_;
    Connector connector_;
    UpdateEvents* progressEvents_ = nullptr;
    std::function<void(const std::string&)> tell_;
};

}  // namespace ostrel::cli
