// ostrel-flash: the update from a console, for service technicians and automated checks. It
// connects as the Connect button does, runs the same three-stage update and says in one line
// where a failure happened.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/console_output.h"
#include "cli/console_view.h"
#include "cli/exchange_trace.h"
#include "cli/flash_options.h"
#include "cli/interruption.h"
#include "cli/release_description.h"
#include "cli/run_messages.h"
#include "core/update_sequence.h"
#include "device/connection.h"
#include "payload/release_identity.h"

namespace {

using namespace ostrel;

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

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

void ReportNotConnected(const UpdaterState& state, const cli::ExchangeTrace& trace) {
    const std::string why = cli::DescribeNotConnected(
        state, trace.LastPortName(), trace.LastOpenSucceeded(), trace.LastOpenReport());
    cli::PrintText(stderr, "ostrel-flash: not connected: %s\n", why.c_str());
}

int ReportInterruption(const UpdaterState& state, cli::UpdateStage stage, bool terminal) {
    if (terminal) cli::PutText(stdout, "\n");  // end a bar's line
    std::fflush(stdout);
    cli::PrintText(stderr, "ostrel-flash: %s\n", cli::DescribeInterruption(state, stage).c_str());
    return cli::kExitInterrupted;
}

// The one line that says where the update stopped. The failed block is the one before
// CurrentAddress, which the sequence advances whether or not a block succeeds.
std::string DescribeFailure(const UpdaterState& state, const cli::ConsoleView& view,
                            const cli::ExchangeTrace& trace, const BootloaderProtocol& protocol,
                            const FirmwareImage& image) {
    const std::uint32_t block = state.CurrentAddress - state.BlockSize;
    const char* stage = view.VerifyFailed()       ? "check of program memory"
                        : view.DataMemoryFailed() ? "writing data memory"
                                                  : "writing program memory";
    std::string detail = trace.DescribeLastExchange();
    if (view.VerifyFailed() && protocol.ReceiveBuffer()[0] == kAck) {
        for (std::uint32_t i = 0; i < state.BlockSize; ++i) {
            if (protocol.ReceiveBuffer()[1 + i] != image[block + i]) {
                detail = "the block read back differs from the release at " + Hex(block + i);
                break;
            }
        }
    }
    return std::string("Failed in ") + stage + ", block " + Hex(block) + ": " + detail;
}

}  // namespace

int main(int argc, char** argv) {
    cli::FlashOptions options;
    std::string error;
    if (!cli::ParseFlashOptions({argv + 1, argv + argc}, options, error)) {
        cli::PrintText(stderr, "ostrel-flash: %s\nTry 'ostrel-flash --help'.\n", error.c_str());
        return cli::kExitUsage;
    }
    if (options.help) {
        cli::PutText(stdout, cli::kFlashUsage);
        return cli::kExitSuccess;
    }
    if (options.version) {
        cli::PutText(stdout, cli::ReleaseDescription());
        return cli::kExitSuccess;
    }
    if (kReleaseIdentity.placeholder)
        cli::PrintText(stderr, "ostrel-flash: %s\n", kPlaceholderMark);

    cli::InstallInterruptionHandlers(cli::kExitInterrupted);
    auto image = std::make_unique<FirmwareImage>();
    BuildFirmwareImage(*image);
    UpdaterState state;
    std::unique_ptr<SerialPort> port = MakeSerialPort();
    cli::ExchangeTrace trace(*port);
    cli::InterruptibleLink link(trace);
    std::unique_ptr<PortDirectory> directory =
        options.port.empty() ? MakePortDirectory() : std::make_unique<GivenPort>(options.port);
    BootloaderProtocol protocol(link, *image, state);
    Connector connector(state, link, *directory, protocol);

    connector.ConnectSequence();
    if (link.Stopped()) {
        trace.ClosePort();
        return ReportInterruption(state, cli::UpdateStage::NotStarted, false);
    }
    if (!state.DeviceReady) {
        ReportNotConnected(state, trace);
        if (state.PortOpen) trace.ClosePort();
        return cli::kExitNotConnected;
    }
    cli::PrintText(stdout, "Connected on %s: bootloader version 0x%02X\n",
                   trace.LastPortName().c_str(), state.BootloaderVersion);

    const bool terminal = isatty(STDOUT_FILENO) == 1;
    cli::ConsoleView view(stdout, terminal, options.keepUserSettings);
    cli::InterruptibleView interruptible(view, link);
    std::fflush(stdout);
    cli::PrintText(stderr, "%s\n", cli::kDoNotInterrupt);
    state.UpdatePhase = 1;
    RunUpdate(state, protocol, *image, interruptible);
    const bool succeeded = state.UpdatePhase == 5;
    if (!succeeded && link.Stopped()) {
        trace.ClosePort();
        return ReportInterruption(state, interruptible.Stage(), terminal);
    }
    if (!succeeded) {
        std::fflush(stdout);  // the outcome lines come first on a shared terminal
        cli::PrintText(stderr, "ostrel-flash: %s\n",
                       DescribeFailure(state, view, trace, protocol, *image).c_str());
    }
    std::fflush(stdout);
    trace.ClosePort();
    return succeeded ? cli::kExitSuccess : cli::kExitUpdateFailed;
}
