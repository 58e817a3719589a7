#pragma once
// Which frame of a bootloader exchange failed, and what came back in its place. The protocol
// keeps one for its last exchange; messages and the trace read it.
#include <cstdint>

namespace ostrel {

// The frames of an exchange, in the order they are sent.
enum class ExchangeFrame : std::uint8_t {
    Sync,     // 0x7F
    Command,  // command and its complement
    Count,    // Get: the count byte of the answer; Read: the byte count and its complement
    Address,  // four address bytes and their checksum
    Data,     // Write: count, 128 bytes and checksum; Read: the answer's 128 bytes
};

enum class ExchangeAnswer : std::uint8_t {
    Ack,        // 0x79 where it was awaited: the exchange succeeded
    None,       // nothing arrived within the frame's budget
    Short,      // some bytes arrived, fewer than awaited
    Nack,       // 0x1F where 0x79 was awaited
    WrongByte,  // any other byte where 0x79 was awaited, or a count out of range
};

inline constexpr std::uint8_t kNack = 0x1F;

struct ExchangeRecord {
    std::uint8_t command = 0;  // the exchange's first byte: 0x7F sync, 0x00 Get, 0x11, 0x31
    ExchangeFrame frame = ExchangeFrame::Command;
    ExchangeAnswer answer = ExchangeAnswer::Ack;
    std::uint8_t byte = 0;       // the byte received at the failed position (Nack, WrongByte)
    std::uint16_t received = 0;  // bytes that arrived of `awaited` (Short, None)
    std::uint16_t awaited = 0;

    bool Failed() const { return answer != ExchangeAnswer::Ack; }
};

}  // namespace ostrel
