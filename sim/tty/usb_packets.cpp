#include "sim/tty/usb_packets.h"

namespace ostrel::sim {

void GatherIntoPackets(std::vector<TimedByte>& bytes, std::size_t packetBytes) {
    std::size_t first = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const bool full = i + 1 - first == packetBytes;
        if (!full && !bytes[i].endsAnswer && i + 1 < bytes.size()) continue;
        for (std::size_t k = first; k < i; ++k) bytes[k].due = bytes[i].due;
        first = i + 1;
    }
}

}  // namespace ostrel::sim
