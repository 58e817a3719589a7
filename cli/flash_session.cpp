#include "cli/flash_session.h"

#include <vector>

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
      image_(TheRelease()),
      port_(MakeSerialPort()),
      trace_(*port_),
      directory_(options.port.empty() ? MakePortDirectory()
                                      : std::make_unique<GivenPort>(options.port)),
      protocol_(trace_, *image_, state_),
      connector_(state_, trace_, *directory_, protocol_) {
    trace_.WriteTo(traceFile);
}

FlashSession::~FlashSession() {
    if (state_.PortOpen) trace_.ClosePort();
}

std::optional<RunResult> FlashSession::Connect() {
    connector_.ConnectSequence();
    if (state_.DeviceReady) {
        char version[8];
        std::snprintf(version, sizeof version, "0x%02X", state_.BootloaderVersion);
        Say("Connected on " + trace_.LastPortName() + ": bootloader version " + version);
        return std::nullopt;
    }
    std::string why;
    if (trace_.LastPortName().empty()) {
        why = "no adapter found and no serial port to try";
    } else if (!trace_.LastOpenSucceeded()) {
        why = "cannot open " + trace_.LastPortName() + " (missing, in use, or refusing 9600 8E1)";
    } else if (state_.PortOpen) {
        why = "the bootloader on " + trace_.LastPortName() + " answered the sync but not Get";
    } else {
        why = "no bootloader answered the sync on " + trace_.LastPortName();
    }
    std::fprintf(stderr, "ostrel-flash: not connected: %s\n", why.c_str());
    ReportRecentExchanges();
    return Failed(kExitNotConnected, "connect", why);
}

void FlashSession::Say(const std::string& line) {
    if (!options_.quiet) std::printf("%s\n", line.c_str());
}

RunResult FlashSession::Fail(const char* stage, const char* words, std::uint32_t block,
                             const std::string& reason) {
    Say(std::string("Failed in ") + words + ", block " + HexAddress(block) + ": " + reason);
    ReportRecentExchanges();
    return Failed(kExitUpdateFailed, stage, reason, block);
}

void FlashSession::ReportRecentExchanges() {
    const std::vector<std::string> recent = trace_.RecentExchanges();
    if (recent.empty()) return;
    std::fflush(stdout);
    std::fputs("Last exchanges with the bootloader:\n", stderr);
    for (const std::string& line : recent) std::fprintf(stderr, "  %s\n", line.c_str());
}

RunResult FlashSession::Finish(RunResult result) {
    if (state_.PortOpen) trace_.ClosePort();
    state_.PortOpen = false;
    state_.DeviceReady = false;
    result.port = trace_.LastPortName();
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    return result;
}

}  // namespace ostrel::cli
