#pragma once
// Host side of the ST UART bootloader protocol, reduced to sync, Get, and the read and write
// of one 128-byte block. Each exchange runs to its end and answers true or false.
#include <array>
#include <cstdint>
#include <span>

#include "core/byte_link.h"
#include "core/exchange_record.h"
#include "core/firmware_image.h"
#include "core/updater_state.h"

namespace ostrel {

inline constexpr std::uint8_t kAck = 0x79;
inline constexpr std::uint8_t kSyncByte = 0x7F;
inline constexpr std::uint8_t kCmdGet = 0x00;
inline constexpr std::uint8_t kCmdReadMemory = 0x11;
inline constexpr std::uint8_t kCmdWriteMemory = 0x31;
inline constexpr std::uint16_t kBlockSize = 128;
inline constexpr std::size_t kBufferSize = 4096;
inline constexpr std::size_t kMaxSupportedCommands = 16;

// How long the bootloader may take over each answer, in polls of the link (one poll is at least
// 1 ms, see ByteLink::WaitForInput).
inline constexpr std::uint32_t kAckPolls = 200;              // sync, a command, a read's address
inline constexpr std::uint32_t kWriteAddressAckPolls = 100;  // a write's address
inline constexpr std::uint32_t kCommandListPolls = 100;      // Get: the count, then the list
inline constexpr std::uint32_t kBlockAnswerPolls = 500;      // a read's 129 bytes, a write's data

using ProtocolBuffer = std::array<std::uint8_t, kBufferSize>;

class BootloaderProtocol {
  public:
    // The Get results go to `state`; WriteBlock takes its data from `image`.
    BootloaderProtocol(ByteLink& link, const FirmwareImage& image, UpdaterState& state)
        : link_(link), image_(image), state_(state) {}

    bool SyncBootloader();
    bool QueryBootloader();
    // On success the block's 128 bytes stand at ReceiveBuffer() positions 1 to 128.
    bool ReadBlock(std::uint32_t address);
    // Writes the 128 image bytes from index `address` to the same target address.
    bool WriteBlock(std::uint32_t address);
    // Writes 128 bytes of the caller's to target address `address` (a saved data memory).
    bool WriteBlock(std::uint32_t address, std::span<const std::uint8_t, kBlockSize> data);

    // Which frame of the last exchange failed and what came back; its answer is Ack when the
    // exchange succeeded.
    const ExchangeRecord& LastExchange() const { return record_; }
    const ProtocolBuffer& ReceiveBuffer() const { return receive_; }
    const ProtocolBuffer& TransmitBuffer() const { return transmit_; }
    const std::array<std::uint8_t, kMaxSupportedCommands>& SupportedCommands() const {
        return supported_;
    }

  private:
    // Starts an exchange: input flushed, the record cleared for `command`.
    void Begin(std::uint8_t command);
    // Sends `count` bytes from TransmitBuffer position `from` as `frame`. Its result is not
    // consulted: a failed write shows itself as an answer that never comes.
    void Send(ExchangeFrame frame, std::size_t from, std::uint16_t count);
    // Waits for `count` bytes; a wait that runs out is recorded against the frame last sent.
    bool Await(std::uint32_t tries, std::uint16_t count);
    // Waits for `count` bytes, then reads them into ReceiveBuffer position `to`; a read that
    // does not deliver all of them fails the exchange as short.
    bool AwaitAndRead(std::uint32_t tries, std::uint16_t count, std::size_t to);
    // True when ReceiveBuffer position `at` holds 0x79; otherwise records what it holds.
    bool Acknowledged(std::size_t at);
    // Records a refused answer byte.
    bool Refuse(std::uint8_t byte);
    // Lays out command frame (0-1) and address frame (2-6) for a block exchange.
    void ComposeBlockHeader(std::uint8_t command, std::uint32_t address);

    ByteLink& link_;
    const FirmwareImage& image_;
    UpdaterState& state_;
    ProtocolBuffer transmit_{};
    ProtocolBuffer receive_{};
    std::array<std::uint8_t, kMaxSupportedCommands> supported_{};
    ExchangeRecord record_;
};

}  // namespace ostrel
