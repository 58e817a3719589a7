#pragma once
// A serial port that watches the bootloader exchanges run over it, so that a failure can be
// told in one line: the bytes each way, and the outcome the protocol recorded (which frame went
// unanswered or was answered wrongly). Each exchange begins with FlushInput, before the
// protocol clears its record, so the record read when the next one begins is still the last
// one's. It keeps the last few exchanges (time, bytes each way, outcome) for a failure report,
// and writes every exchange to a trace file when given one.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "core/exchange_record.h"
#include "device/serial_port.h"

namespace ostrel::cli {

// The local time of `clock`, safe to call from any bay's thread.
std::tm LocalTime(std::time_t clock);

class ExchangeTrace final : public SerialPort {
  public:
    static constexpr std::size_t kRecentCount = 4;

    explicit ExchangeTrace(SerialPort& port)
        : port_(port), start_(std::chrono::steady_clock::now()) {}
    ~ExchangeTrace() override { EndExchange(); }
    ExchangeTrace(const ExchangeTrace&) = delete;
    ExchangeTrace& operator=(const ExchangeTrace&) = delete;

    // Each exchange, once ended, also goes to `file` as one line; so do opens and closes.
    void WriteTo(std::FILE* file) { file_ = file; }
    // The outcome of each exchange is read from `record`, the protocol's, which must outlive
    // the exchange in progress (see EndExchange).
    void ReadOutcomesFrom(const ExchangeRecord& record) { outcome_ = &record; }
    // Closes the exchange in progress: into the ring, and into the trace file.
    void EndExchange();

    bool OpenPort(const std::string& name) override;
    void ClosePort() override;
    PortOpenReport LastOpenReport() const override { return port_.LastOpenReport(); }
    bool HungUp() const override { return port_.HungUp(); }
    void FlushInput() override;
    std::int32_t PendingInputCount() override { return port_.PendingInputCount(); }
    bool WaitForInput(std::uint32_t tries, std::uint16_t count) override;
    bool ReadExact(std::uint8_t* buffer, std::uint16_t count, std::uint32_t& bytesRead) override;
    bool WriteAll(const std::uint8_t* buffer, std::uint16_t count) override;

    const std::string& LastPortName() const { return lastPort_; }
    bool LastOpenSucceeded() const { return lastOpenOk_; }
    // The last kRecentCount exchanges, oldest first, the one in progress included: one line
    // each with its time, the bytes sent and received (long ones shortened), and its outcome.
    std::vector<std::string> RecentExchanges() const;

  protected:
    // Never used: whole waits go to the wrapped port.
    bool AwaitOneTry(std::uint16_t count) override { return port_.WaitForInput(1, count); }

  private:
    struct Exchange {
        std::chrono::steady_clock::time_point begun;
        std::chrono::steady_clock::time_point lastActivity;
        std::vector<std::vector<std::uint8_t>> sent;      // one entry a frame
        std::vector<std::vector<std::uint8_t>> received;  // one entry a read
    };

    // One line; `shortened` shows only the start of long frames and answers.
    std::string Describe(const Exchange& exchange, bool shortened) const;
    void Note(const std::string& line);

    SerialPort& port_;
    std::string lastPort_;
    bool lastOpenOk_ = false;
    static inline const ExchangeRecord kNoRecord{};
    const ExchangeRecord* outcome_ = &kNoRecord;

    std::chrono::steady_clock::time_point start_;
    std::FILE* file_ = nullptr;
    std::optional<Exchange> current_;
    std::deque<std::string> recent_;  // described exchanges, oldest first
};

}  // namespace ostrel::cli
