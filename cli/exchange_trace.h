#pragma once
// A serial port that watches the bootloader exchanges run over it, so that a failure can be
// told in one line: which frame of the exchange went unanswered or was answered wrongly. Each
// exchange begins with FlushInput and sends its frames in order, which is all it relies on.
#include <cstdint>
#include <optional>
#include <string>

#include "device/serial_port.h"

namespace ostrel::cli {

class ExchangeTrace final : public SerialPort {
  public:
    explicit ExchangeTrace(SerialPort& port) : port_(port) {}

    bool OpenPort(const std::string& name) override;
    void ClosePort() override { port_.ClosePort(); }
    void FlushInput() override;
    std::int32_t PendingInputCount() override { return port_.PendingInputCount(); }
    bool WaitForInput(std::uint32_t tries, std::uint16_t count) override;
    bool ReadExact(std::uint8_t* buffer, std::uint16_t count, std::uint32_t& bytesRead) override;
    bool WriteAll(const std::uint8_t* buffer, std::uint16_t count) override;

    const std::string& LastPortName() const { return lastPort_; }
    bool LastOpenSucceeded() const { return lastOpenOk_; }
    // How the last exchange ended, for a block exchange that returned false: "no answer to the
    // address frame", "the data frame answered with 0x1F (NACK)".
    std::string DescribeLastExchange() const;

  protected:
    // Never used: whole waits go to the wrapped port.
    bool AwaitOneTry(std::uint16_t count) override { return port_.WaitForInput(1, count); }

  private:
    SerialPort& port_;
    std::string lastPort_;
    bool lastOpenOk_ = false;
    int framesSent_ = 0;
    std::uint8_t command_ = 0;  // first byte of the command frame
    bool waitFailed_ = false;
    std::int32_t arrivedAtTimeout_ = 0;  // of the bytes the failed wait awaited
    std::uint16_t awaited_ = 0;
    std::optional<std::uint8_t> firstAnswerByte_;  // of the last read: the ACK position
};

}  // namespace ostrel::cli
