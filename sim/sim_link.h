#pragma once
// The simulated tracker on an in-memory serial port. Time is virtual and counted in polls: each
// try of WaitForInput that finds too few bytes waiting advances it by one millisecond, at whose
// end the bytes due by then are there, so budget cases are exact and instant.
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "device/serial_port.h"
#include "sim/bootloader_model.h"

namespace ostrel::sim {

class SimLink : public SerialPort {
  public:
    explicit SimLink(BootloaderModel& model, std::string portName = "SIM1")
        : model_(model), portName_(std::move(portName)) {}

    bool OpenPort(const std::string& name) override;
    void ClosePort() override;
    void FlushInput() override;
    std::int32_t PendingInputCount() override;
    bool ReadExact(std::uint8_t* buffer, std::uint16_t count, std::uint32_t& bytesRead) override;
    bool WriteAll(const std::uint8_t* buffer, std::uint16_t count) override;

    // The adapter is pulled out: the port stops answering and every operation fails.
    void Unplug() { plugged_ = false; }
    void Plug() { plugged_ = true; }
    // Every write fails outright (the line is dead in the sending direction).
    void SetWritesFail(bool fail) { writesFail_ = fail; }
    // Line time per answer byte, in polls (0: an answer arrives all at once).
    void SetPollsPerByte(std::uint32_t polls) { pollsPerByte_ = polls; }
    // Runs `hook` at every try of a wait, for tests that act in the middle of an exchange.
    void SetPollHook(std::function<void()> hook) { pollHook_ = std::move(hook); }

    bool IsOpen() const { return open_; }
    std::uint64_t Now() const { return now_; }
    std::uint32_t OpenCount() const { return opens_; }
    std::uint32_t FlushReads() const { return flushReads_; }
    // Every frame the host wrote, in order.
    const std::vector<std::vector<std::uint8_t>>& Writes() const { return writes_; }
    void ClearWrites() { writes_.clear(); }

  protected:
    bool AwaitOneTry(std::uint16_t count) override;

  private:
    struct Timed {
        std::uint64_t readyAt;
        std::uint8_t byte;
    };
    bool Usable() const { return open_ && plugged_; }

    BootloaderModel& model_;
    std::string portName_;
    std::deque<Timed> incoming_;
    std::vector<std::vector<std::uint8_t>> writes_;
    std::function<void()> pollHook_;
    std::uint64_t now_ = 0;
    std::uint32_t pollsPerByte_ = 0;
    std::uint32_t opens_ = 0;
    std::uint32_t flushReads_ = 0;
    bool open_ = false;
    bool plugged_ = true;
    bool writesFail_ = false;
};

}  // namespace ostrel::sim
