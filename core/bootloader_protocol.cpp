#include "core/bootloader_protocol.h"

#include <algorithm>

namespace ostrel {

void BootloaderProtocol::Begin(std::uint8_t command) {
    link_.FlushInput();
    record_ = ExchangeRecord{};
    record_.command = command;
}

void BootloaderProtocol::Send(ExchangeFrame frame, std::size_t from, std::uint16_t count) {
    record_.frame = frame;
    (void)link_.WriteAll(transmit_.data() + from, count);
}

bool BootloaderProtocol::Await(std::uint32_t tries, std::uint16_t count) {
    if (link_.WaitForInput(tries, count)) return true;
    const std::int32_t arrived = link_.PendingInputCount();
    record_.answer = arrived > 0 ? ExchangeAnswer::Short : ExchangeAnswer::None;
    record_.received = static_cast<std::uint16_t>(arrived > 0 ? arrived : 0);
    record_.awaited = count;
    return false;
}

bool BootloaderProtocol::AwaitAndRead(std::uint32_t tries, std::uint16_t count, std::size_t to) {
    if (!Await(tries, count)) return false;
    // The bytes the wait saw can still fail to come (a device gone between the two calls):
    // whatever the buffer holds then, the answer came up short.
    std::uint32_t got = 0;
    if (link_.ReadExact(receive_.data() + to, count, got)) return true;
    record_.answer = ExchangeAnswer::Short;
    record_.received = static_cast<std::uint16_t>(got);
    record_.awaited = count;
    return false;
}

bool BootloaderProtocol::Acknowledged(std::size_t at) {
    return receive_[at] == kAck || Refuse(receive_[at]);
}

bool BootloaderProtocol::Refuse(std::uint8_t byte) {
    record_.answer = byte == kNack ? ExchangeAnswer::Nack : ExchangeAnswer::WrongByte;
    record_.byte = byte;
    return false;
}

void BootloaderProtocol::ComposeBlockHeader(std::uint8_t command, std::uint32_t address) {
    transmit_[0] = command;
    transmit_[1] = static_cast<std::uint8_t>(command ^ 0xFF);
    transmit_[2] = static_cast<std::uint8_t>(address >> 24);
    transmit_[3] = static_cast<std::uint8_t>(address >> 16);
    transmit_[4] = static_cast<std::uint8_t>(address >> 8);
    transmit_[5] = static_cast<std::uint8_t>(address);
    transmit_[6] =
        static_cast<std::uint8_t>(transmit_[2] ^ transmit_[3] ^ transmit_[4] ^ transmit_[5]);
}

bool BootloaderProtocol::SyncBootloader() {
    Begin(kSyncByte);
    receive_[0] = 0;
    transmit_[0] = kSyncByte;
    Send(ExchangeFrame::Sync, 0, 1);
    // Only the first answer byte is read; the next exchange's flush drops any others.
    return AwaitAndRead(kAckPolls, 1, 0) && Acknowledged(0);
}

bool BootloaderProtocol::QueryBootloader() {
    Begin(kCmdGet);
    receive_.fill(0);
    supported_.fill(0);
    transmit_[0] = kCmdGet;
    transmit_[1] = kCmdGet ^ 0xFF;
    Send(ExchangeFrame::Command, 0, 2);
    if (!AwaitAndRead(kAckPolls, 1, 0) || !Acknowledged(0)) return false;
    // The rest of the answer: the count N, the version and N command codes, then an ACK.
    record_.frame = ExchangeFrame::Count;
    if (!AwaitAndRead(kCommandListPolls, 1, 1)) return false;
    const std::uint8_t n = receive_[1];
    state_.SupportedCommandCount = n;   // kept even when the count is refused below
    if (n + 2 >= 10) return Refuse(n);  // at most 7 command codes
    record_.frame = ExchangeFrame::Data;
    const auto rest = static_cast<std::uint16_t>(n + 2);
    if (!AwaitAndRead(kCommandListPolls, rest, 2) || !Acknowledged(n + 3)) return false;
    state_.BootloaderVersion = receive_[2];
    std::copy_n(receive_.begin() + 3, n, supported_.begin());
    return true;
}

bool BootloaderProtocol::ReadBlock(std::uint32_t address) {
    Begin(kCmdReadMemory);
    receive_.fill(0);
    ComposeBlockHeader(kCmdReadMemory, address);
    transmit_[7] = kBlockSize - 1;
    transmit_[8] = (kBlockSize - 1) ^ 0xFF;

    Send(ExchangeFrame::Command, 0, 2);
    if (!AwaitAndRead(kAckPolls, 1, 0) || !Acknowledged(0)) return false;
    // The address ACK and the answer land on position 0, which still holds the command's ACK.
    Send(ExchangeFrame::Address, 2, 5);
    if (!AwaitAndRead(kAckPolls, 1, 0) || !Acknowledged(0)) return false;
    Send(ExchangeFrame::Count, 7, 2);
    // The whole answer, ACK and 128 data bytes, is awaited and read in one piece.
    return AwaitAndRead(kBlockAnswerPolls, kBlockSize + 1, 0) && Acknowledged(0);
}

bool BootloaderProtocol::WriteBlock(std::uint32_t address) {
    // A block that would run past the image is never sent (callers pass only region blocks).
    if (address > kImageSize - kBlockSize) return false;
    return WriteBlock(address,
                      std::span<const std::uint8_t, kBlockSize>(&image_[address], kBlockSize));
}

bool BootloaderProtocol::WriteBlock(std::uint32_t address,
                                    std::span<const std::uint8_t, kBlockSize> data) {
    Begin(kCmdWriteMemory);
    receive_.fill(0);
    ComposeBlockHeader(kCmdWriteMemory, address);
    std::uint8_t checksum = kBlockSize - 1;
    transmit_[7] = checksum;
    for (std::size_t i = 0; i < kBlockSize; ++i) {
        const std::uint8_t byte = data[i];
        transmit_[8 + i] = byte;
        checksum ^= byte;
    }
    transmit_[8 + kBlockSize] = checksum;

    Send(ExchangeFrame::Command, 0, 2);
    if (!AwaitAndRead(kAckPolls, 1, 0) || !Acknowledged(0)) return false;
    Send(ExchangeFrame::Address, 2, 5);
    // The address is acknowledged within a shorter budget here than in a read.
    if (!AwaitAndRead(kWriteAddressAckPolls, 1, 1) || !Acknowledged(1)) return false;
    Send(ExchangeFrame::Data, 7, kBlockSize + 2);
    return AwaitAndRead(kBlockAnswerPolls, 1, 2) && Acknowledged(2);
}

}  // namespace ostrel
