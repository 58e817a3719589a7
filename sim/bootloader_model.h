#pragma once
// A model of the tracker's ROM bootloader (the ST UART bootloader of an STM8L part with 32 KB
// of flash at 0x8000-0xFFFF and 1 KB of data EEPROM at 0x1000-0x13FF). It turns the bytes the
// host sends into the replies a real part gives, and can be told to misbehave at a chosen
// exchange and step. It knows nothing of how its bytes are carried.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace ostrel::sim {

inline constexpr std::uint8_t kAck = 0x79;
inline constexpr std::uint8_t kNack = 0x1F;

enum class Command : std::uint8_t { Sync, Get, ReadMemory, WriteMemory, Unknown };
// Step of an exchange whose answer a fault replaces: the command frame, the address frame, or
// the last frame (the read length frame, or the write data frame).
enum class Step : std::uint8_t { Command, Address, Payload };

enum class FaultKind : std::uint8_t {
    Nack,           // 0x1F instead of the ACK; the command is dropped
    Silence,        // no answer; the command is dropped
    Delay,          // the answer comes `polls` later than usual
    Truncate,       // only the first `count` bytes of the answer are sent
    WrongReadByte,  // read-back data byte `count` (0-127) is inverted
    StrayBefore,    // `count` stray bytes precede the answer
    StrayAfter,     // `count` stray bytes follow the answer
};

struct Fault {
    FaultKind kind = FaultKind::Nack;
    Command command = Command::WriteMemory;
    Step step = Step::Command;
    // Block address to match, any when empty. Not known yet at the command step: there the
    // n-th exchange of the command is chosen by `occurrence` alone.
    std::optional<std::uint32_t> address;
    std::uint32_t occurrence = 1;  // the n-th exchange that matches
    std::uint32_t polls = 0;       // Delay
    std::uint32_t count = 3;       // Truncate, WrongReadByte, StrayBefore, StrayAfter
};

// One answer: its bytes become available `delayPolls` polls (milliseconds on a real line) after
// the frame that caused it.
struct Reply {
    std::vector<std::uint8_t> bytes;
    std::uint32_t delayPolls = 0;
    bool afterMemoryWrite = false;  // the ACK that follows storing a block (takes a real part 6 ms)
};

// One exchange as the model saw it, for tests that check which exchanges ran and in what order.
struct ExchangeRecord {
    Command command;
    std::uint32_t address = 0;  // read and write only
    bool completed = false;     // the model gave its final ACK
};

class BootloaderModel {
  public:
    static constexpr std::uint32_t kFlashFirst = 0x8000;
    static constexpr std::uint32_t kFlashLast = 0xFFFF;
    static constexpr std::uint32_t kEepromFirst = 0x1000;
    static constexpr std::uint32_t kEepromLast = 0x13FF;
    static constexpr std::uint32_t kMaxTransfer = 128;

    // A device as shipped: old firmware in flash, owner's settings and old data in EEPROM.
    BootloaderModel();

    // Takes the bytes the host sent and returns the replies they caused, in order.
    std::vector<Reply> Receive(std::span<const std::uint8_t> bytes);

    // Power removed and restored (the adapter that feeds the part was pulled out and plugged
    // in): the part waits for a sync again and forgets an exchange in progress; memory stays.
    void Restart();

    void AddFault(const Fault& fault) { faults_.push_back({fault, 0, false}); }
    void ClearFaults() { faults_.clear(); }
    // The Get answer: version byte and command codes (STM8: 0x10 and 00 11 21 31 43).
    void SetGetAnswer(std::uint8_t version, std::vector<std::uint8_t> codes);
    // Emits `count` unsolicited bytes the next time the host sends anything.
    void QueueFlood(std::uint32_t count) { pendingFlood_ = count; }

    std::array<std::uint8_t, 0x10000>& Memory() { return memory_; }
    const std::array<std::uint8_t, 0x10000>& Memory() const { return memory_; }
    const std::vector<ExchangeRecord>& Exchanges() const { return exchanges_; }
    void ClearExchanges() { exchanges_.clear(); }
    std::uint32_t BlocksWritten() const { return blocksWritten_; }
    bool Synchronised() const { return synced_; }

    // The byte patterns of a new device, so a test can tell what was (not) written.
    static std::uint8_t OldFirmwareByte(std::uint32_t address);
    static std::uint8_t OwnerSettingsByte(std::uint32_t address);

  private:
    enum class State : std::uint8_t { Idle, Complement, Address, ReadLength, WriteData };
    struct ArmedFault {
        Fault fault;
        std::uint32_t seen;
        bool fired;
    };

    void OnByte(std::uint8_t byte, std::vector<Reply>& out);
    void StartExchange(Command command);
    // Builds the answer of the current exchange at `step`, applying a matching fault. `ok` is
    // false for a NACK. Returns false when the command is dropped (the model goes idle).
    bool Answer(Step step, std::vector<std::uint8_t> bytes, bool ok, bool memoryWrite,
                std::vector<Reply>& out);
    ArmedFault* MatchFault(Step step);
    bool InMemory(std::uint32_t first, std::uint32_t count) const;

    std::array<std::uint8_t, 0x10000> memory_{};
    std::vector<ArmedFault> faults_;
    std::vector<ExchangeRecord> exchanges_;
    std::uint8_t version_ = 0x10;
    std::vector<std::uint8_t> codes_{0x00, 0x11, 0x21, 0x31, 0x43};
    State state_ = State::Idle;
    bool synced_ = false;
    std::uint8_t command_ = 0;
    std::vector<std::uint8_t> frame_;
    std::uint32_t address_ = 0;
    std::uint32_t blocksWritten_ = 0;
    std::uint32_t pendingFlood_ = 0;
};

}  // namespace ostrel::sim
