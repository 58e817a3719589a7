// ostrel-flash: the update from a console, for service technicians and automated checks. It
// connects as the Connect button does, runs the same three-stage update and says in one line
// where a failure happened.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/console_view.h"
#include "cli/exchange_trace.h"
#include "cli/flash_options.h"
#include "cli/list_ports.h"
#include "core/update_sequence.h"
#include "device/connection.h"

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

void ReportNotConnected(const UpdaterState& state, const cli::ExchangeTrace& trace,
                        std::uint32_t baud) {
    const std::string rate = std::to_string(baud);
    std::string why;
    if (trace.LastPortName().empty()) {
        why = "no adapter found and no serial port to try";
    } else if (!trace.LastOpenSucceeded()) {
        why = "cannot open " + trace.LastPortName() + " (missing, in use, or refusing " + rate +
              " 8E1)";
    } else if (state.PortOpen) {
        why = "the bootloader on " + trace.LastPortName() + " answered the sync but not Get";
    } else {
        why = "no bootloader answered the sync on " + trace.LastPortName();
        // The bootloader keeps the rate of the first sync byte it saw, until it is reset.
        if (baud != kDefaultLineRate) {
            why += " at " + rate +
                   " baud; the bootloader may have locked onto another rate: re-power the "
                   "tracker (batteries out, then in) and try again at 9600 (without --baud)";
        }
    }
    std::fprintf(stderr, "ostrel-flash: not connected: %s\n", why.c_str());
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
        std::fprintf(stderr, "ostrel-flash: %s\nTry 'ostrel-flash --help'.\n", error.c_str());
        return cli::kExitUsage;
    }
    if (options.help) {
        std::fputs(cli::kFlashUsage, stdout);
        return cli::kExitSuccess;
    }
    if (options.list) return cli::ListPorts(*MakePortDirectory(), stdout);

    auto image = std::make_unique<FirmwareImage>();
    BuildFirmwareImage(*image);
    UpdaterState state;
    std::unique_ptr<SerialPort> port = MakeSerialPort();
    port->SetLineRate(options.baud);
    cli::ExchangeTrace trace(*port);
    std::unique_ptr<PortDirectory> directory =
        options.port.empty() ? MakePortDirectory() : std::make_unique<GivenPort>(options.port);
    BootloaderProtocol protocol(trace, *image, state);
    Connector connector(state, trace, *directory, protocol);

    connector.ConnectSequence();
    if (!state.DeviceReady) {
        ReportNotConnected(state, trace, options.baud);
        if (state.PortOpen) trace.ClosePort();
        return cli::kExitNotConnected;
    }
    std::printf("Connected on %s: bootloader version 0x%02X\n", trace.LastPortName().c_str(),
                state.BootloaderVersion);

    cli::ConsoleView view(stdout, isatty(STDOUT_FILENO) == 1, options.keepUserSettings);
    state.UpdatePhase = 1;
    RunUpdate(state, protocol, *image, view);
    const bool succeeded = state.UpdatePhase == 5;
    if (!succeeded) {
        std::printf("%s\n", DescribeFailure(state, view, trace, protocol, *image).c_str());
    }
    std::fflush(stdout);
    trace.ClosePort();
    return succeeded ? cli::kExitSuccess : cli::kExitUpdateFailed;
}
