#include "cli/flash_session.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <vector>

#include "cli/report/run_messages.h"
#include "cli/system/atomic_file.h"
#include "cli/system/console_output.h"
#include "cli/system/program_files.h"

namespace ostrel::cli {
namespace {

// With --port the lookup finds that port and nothing else, so the connection takes the same
// path as a port found by name: open, sync, then Get, with no scan.
class GivenPort final : public PortDirectory {
  public:
    explicit GivenPort(std::string port) : port_(std::move(port)) {}
    std::string FindBridgePort() override { return port_; }
    std::vector<std::string> ScanComPorts() override { return {port_}; }

  private:
    std::string port_;
};

std::unique_ptr<FirmwareImage> TheRelease() {
    auto image = std::make_unique<FirmwareImage>();
    BuildFirmwareImage(*image);
    return image;
}

}  // namespace

FlashSession::FlashSession(const FlashOptions& options, std::FILE* traceFile)
    : options_(options),
      start_(std::chrono::steady_clock::now()),
      traceFile_(traceFile),
      image_(TheRelease()),
      port_(MakeSerialPort()),
      trace_(*port_),
      link_(trace_),
      directory_(options.port.empty() ? MakePortDirectory()
                                      : std::make_unique<GivenPort>(options.port)),
      protocol_(link_, *image_, state_),
      connector_(state_, link_, *directory_, protocol_) {
    port_->SetLineRate(options.baud);
    trace_.WriteTo(traceFile);
    trace_.ReadOutcomesFrom(protocol_.LastExchange());
}

FlashSession::~FlashSession() {
    if (state_.PortOpen) trace_.ClosePort();
    trace_.EndExchange();  // while the protocol, and its record, are still there
}

std::optional<RunResult> FlashSession::Connect() {
    connector_.ConnectSequence();
    if (Stopped()) {
        return Interrupted(UpdateStage::Connect, std::nullopt, kInterruptedBeforeUpdate);
    }
    if (state_.DeviceReady) {
        char version[8];
        std::snprintf(version, sizeof version, "0x%02X", state_.BootloaderVersion);
        Say("Connected on " + trace_.LastPortName() + ": bootloader version " + version);
        return std::nullopt;
    }
    std::string why =
        DescribeNotConnected(state_, trace_.LastPortName(), trace_.LastOpenSucceeded(),
                             options_.baud, trace_.LastOpenReport(), protocol_.LastExchange());
    // The bootloader keeps the rate of the first sync byte it saw until it is reset.
    if (trace_.LastOpenSucceeded() && !state_.PortOpen && options_.baud != kDefaultLineRate) {
        why += "\nThe sync went unanswered at " + std::to_string(options_.baud) +
               " baud: the bootloader may have locked onto another rate: re-power the tracker "
               "(batteries out, then in) and try again at 9600 (without --baud).";
    }
    for (std::size_t at = 0; at < why.size();) {
        const std::size_t end = std::min(why.find('\n', at), why.size());
        Tell((at == 0 ? "ostrel-flash: not connected: " : "") + why.substr(at, end - at));
        at = end + 1;
    }
    ReportRecentExchanges();
    // The result line is one line: the cure, on the lines after the cause, stays on stderr.
    return Failed(kExitNotConnected, UpdateStage::Connect, why.substr(0, why.find('\n')));
}

void FlashSession::Say(const std::string& line) {
    if (options_.quiet || progressEvents_ != nullptr) return;
    PrintText(stdout, "%s\n", line.c_str());
    // A pipe or a file gets each line as it is said (Windows buffers them whole otherwise), so a
    // reader sees where the run is, and a program ended from outside loses none of them.
    std::fflush(stdout);
}

RunResult FlashSession::Fail(UpdateStage stage, const char* words, std::uint32_t block,
                             const std::string& reason) {
    if (Stopped()) {
        return Interrupted(stage, block,
                           DescribeInterruption(ModeOf(options_), stage, words, block));
    }
    // A port that hung up under the exchange is an adapter pulled out, whatever the exchange
    // saw last (nothing came back).
    const std::string why = link_.HungUp() ? std::string(kAdapterDisconnected) : reason;
    Tell("ostrel-flash: Failed in " + std::string(words) + ", block " + HexAddress(block) + ": " +
         why);
    ReportRecentExchanges();
    // On a bench, the technician's next step; a single run's result line is read by its caller.
    if (progressEvents_ != nullptr && !link_.HungUp()) {
        Tell("next: re-seat the tracker and plug the adapter in again");
    }
    return Failed(kExitUpdateFailed, stage, why, block);
}

RunResult FlashSession::Interrupted(UpdateStage stage, std::optional<std::uint32_t> block,
                                    const std::string& description) {
    Tell("ostrel-flash: " + description);
    RunResult result = Failed(kExitInterrupted, stage, description, block);
    result.outcome = RunOutcome::Interrupted;
    return result;
}

void FlashSession::ReportRecentExchanges() {
    const std::vector<std::string> recent = trace_.RecentExchanges();
    if (recent.empty()) return;
    Tell("Last exchanges with the bootloader:");
    for (const std::string& line : recent) Tell("  " + line);
}

void FlashSession::Tell(const std::string& line) {
    if (tell_) return tell_(line);
    std::fflush(stdout);  // the outcome lines come first on a shared terminal
    PrintText(stderr, "%s\n", line.c_str());
}

RunResult FlashSession::Finish(RunResult result) {
    if (state_.PortOpen) trace_.ClosePort();
    state_.PortOpen = false;
    state_.DeviceReady = false;
    result.port = trace_.LastPortName();
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    if (traceFile_ == nullptr) return result;
    std::fprintf(traceFile_, "%s\n", FormatResultLine(result).c_str());
    const bool flushed = std::fflush(traceFile_) == 0;
    const int failure = errno;
    if (flushed && !std::ferror(traceFile_)) return result;
    Tell("ostrel-flash: the trace " + options_.traceFile + " is incomplete" +
         (flushed ? "" : std::string(": ") + std::strerror(failure)) +
         "; the result line says what the tracker holds");
    result.traceIncomplete = true;
    if (result.Succeeded()) result.exitCode = kExitRecordIncomplete;
    return result;
}

}  // namespace ostrel::cli
