#pragma once
// The bytes of answers as a CP210x bridge hands them to the host: in USB bulk packets of up to
// 64 bytes, a packet leaving once it is full or its answer has ended. The host gets a packet's
// bytes together when its last byte has crossed the line, never earlier, and an answer's last
// byte as soon as it has crossed.
#include <cstddef>
#include <vector>

#include "sim/tty/line_crossing.h"

namespace ostrel::sim {

constexpr std::size_t kBulkPacketBytes = 64;  // the bridge's bulk IN endpoint

// Gives each byte the time its packet reaches the host.
void GatherIntoPackets(std::vector<TimedByte>& bytes, std::size_t packetBytes = kBulkPacketBytes);

}  // namespace ostrel::sim
