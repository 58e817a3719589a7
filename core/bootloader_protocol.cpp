#include "core/bootloader_protocol.h"

#include <algorithm>

namespace ostrel {

void BootloaderProtocol::Send(std::size_t from, std::uint16_t count) {
    (void)link_.WriteAll(transmit_.data() + from, count);
}

bool BootloaderProtocol::AwaitAndRead(std::uint32_t tries, std::uint16_t count, std::size_t to) {
    if (!link_.WaitForInput(tries, count)) return false;
    std::uint32_t got = 0;
    (void)link_.ReadExact(receive_.data() + to, count, got);  // decided by the ACK positions
    return true;
}

bool BootloaderProtocol::AwaitAndReadAll(std::uint32_t tries, std::uint16_t count, std::size_t to) {
    if (!link_.WaitForInput(tries, count)) return false;
    std::uint32_t got = 0;
    return link_.ReadExact(receive_.data() + to, count, got);
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
    link_.FlushInput();
    receive_[0] = 0;
    transmit_[0] = kSyncByte;
    Send(0, 1);
    // Only the first answer byte is read; the next exchange's flush drops any others.
    if (link_.WaitForInput(200, 1)) {
        std::uint32_t got = 0;
        (void)link_.ReadExact(receive_.data(), 1, got);
    }
    return receive_[0] == kAck;
}

bool BootloaderProtocol::QueryBootloader() {
    link_.FlushInput();
    receive_.fill(0);
    supported_.fill(0);
    transmit_[0] = kCmdGet;
    transmit_[1] = kCmdGet ^ 0xFF;
    Send(0, 2);
    if (!AwaitAndRead(200, 1, 0) || receive_[0] != kAck) return false;
    if (!AwaitAndRead(100, 1, 1)) return false;
    const std::uint8_t n = receive_[1];
    state_.SupportedCommandCount = n;  // kept even when the count is refused below
    if (n + 2 >= 10) return false;     // at most 7 command codes
    const auto rest = static_cast<std::uint16_t>(n + 2);
    if (!AwaitAndRead(100, rest, 2) || receive_[n + 3] != kAck) return false;
    state_.BootloaderVersion = receive_[2];
    std::copy_n(receive_.begin() + 3, n, supported_.begin());
    return true;
}

bool BootloaderProtocol::ReadBlock(std::uint32_t address) {
    link_.FlushInput();
    receive_.fill(0);
    ComposeBlockHeader(kCmdReadMemory, address);
    transmit_[7] = kBlockSize - 1;
    transmit_[8] = (kBlockSize - 1) ^ 0xFF;

    Send(0, 2);
    if (!AwaitAndRead(200, 1, 0) || receive_[0] != kAck) return false;
    // The address ACK and the answer land on position 0, which still holds the command's ACK,
    // and the data positions stay zero where nothing was read: here a failed read must fail
    // the exchange, or it would pass for an acknowledged block of zeros.
    Send(2, 5);
    if (!AwaitAndReadAll(200, 1, 0) || receive_[0] != kAck) return false;
    Send(7, 2);
    // The whole answer, ACK and 128 data bytes, is awaited and read in one piece.
    return AwaitAndReadAll(500, kBlockSize + 1, 0) && receive_[0] == kAck;
}

bool BootloaderProtocol::WriteBlock(std::uint32_t address) {
    // A block that would run past the image is never sent (callers pass only region blocks).
    if (address > kImageSize - kBlockSize) return false;
    return WriteBlock(address,
                      std::span<const std::uint8_t, kBlockSize>(&image_[address], kBlockSize));
}

bool BootloaderProtocol::WriteBlock(std::uint32_t address,
                                    std::span<const std::uint8_t, kBlockSize> data) {
    link_.FlushInput();
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

    Send(0, 2);
    if (!AwaitAndRead(200, 1, 0) || receive_[0] != kAck) return false;
    Send(2, 5);
    // The address is acknowledged within 100 polls here, where a read allows 200.
    if (!AwaitAndRead(100, 1, 1) || receive_[1] != kAck) return false;
    Send(7, kBlockSize + 2);
    return AwaitAndRead(500, 1, 2) && receive_[2] == kAck;
}

}  // namespace ostrel
