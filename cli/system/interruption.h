#pragma once
// Stopping an update on request without leaving the tracker's bootloader inside a frame.
// Ctrl-C, SIGTERM and SIGHUP (on Windows Ctrl-C, Ctrl-Break and closing the console) ask for a
// stop; the request is acted on before the next bootloader exchange begins, so the exchange in
// flight runs to its end. A second request ends the process at once.
#include <cstdint>
#include <string>

#include "cli/report/run_messages.h"
#include "core/update_events.h"
#include "device/serial_port.h"

namespace ostrel::cli {

// Installs the handlers; a second request ends the process with `exitCode`. Output to a closed
// pipe is dropped from then on instead of ending the process (SIGPIPE is ignored).
void InstallInterruptionHandlers(int exitCode);
// Says that the run was stopped at once, perhaps inside an exchange, and ends the process with
// the installed exit code. Safe inside a signal handler or a console control handler.
[[noreturn]] void EndAtOnce();
// Counts one request and returns how many there have been; the handlers call it.
int CountInterruptionRequest();
bool InterruptionRequested();

// A port that refuses every exchange from the first one to begin after a stop was requested:
// it sends nothing, and the exchange's first wait fails at once. Exchanges begin with
// FlushInput, which is where the request is looked at; a port is not opened any more either.
class InterruptibleLink final : public SerialPort {
  public:
    explicit InterruptibleLink(SerialPort& port) : port_(port) {}

    // An exchange was refused: the run stopped on request.
    bool Stopped() const { return stopped_; }

    bool OpenPort(const std::string& name) override;
    void ClosePort() override { port_.ClosePort(); }
    PortOpenReport LastOpenReport() const override { return port_.LastOpenReport(); }
    void FlushInput() override;
    std::int32_t PendingInputCount() override;
    bool WaitForInput(std::uint32_t tries, std::uint16_t count) override;
    bool ReadExact(std::uint8_t* buffer, std::uint16_t count, std::uint32_t& bytesRead) override;
    bool WriteAll(const std::uint8_t* buffer, std::uint16_t count) override;

  protected:
    bool AwaitOneTry(std::uint16_t count) override {
        return !stopped_ && port_.WaitForInput(1, count);
    }

  private:
    SerialPort& port_;
    bool stopped_ = false;
};

// The update's events while a stop may be requested: everything goes to `events` until the
// link refuses an exchange; the failure that the refused exchange brings is not shown, as the
// stop is reported instead.
class InterruptibleEvents final : public UpdateEvents {
  public:
    InterruptibleEvents(UpdateEvents& events, const InterruptibleLink& link)
        : events_(events), link_(link) {}

    void StageBegun(UpdateStage stage, std::uint32_t total) override {
        if (!link_.Stopped()) events_.StageBegun(stage, total);
    }
    void Progress(UpdateStage stage, std::uint32_t done, std::uint32_t total) override {
        if (!link_.Stopped()) events_.Progress(stage, done, total);
    }
    void StageEnded(UpdateStage stage, bool ok) override {
        if (!link_.Stopped()) events_.StageEnded(stage, ok);
    }

  private:
    UpdateEvents& events_;
    const InterruptibleLink& link_;
};

}  // namespace ostrel::cli
