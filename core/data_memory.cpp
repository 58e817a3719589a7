#include "core/data_memory.h"

#include <algorithm>

#include "core/block_stage.h"

namespace ostrel {
namespace {

bool ReadPass(BootloaderProtocol& protocol, DataMemory& memory, UpdateEvents& events,
              UpdateOutcome& outcome) {
    return RunStage(UpdateStage::Backup, kDataMemory, events, outcome, [&](std::uint32_t block) {
        if (!protocol.ReadBlock(block)) return ExchangeFailed(protocol, outcome);
        const ProtocolBuffer& received = protocol.ReceiveBuffer();
        std::copy_n(received.begin() + 1, kBlockSize, memory.begin() + (block - kDataStart));
        return true;
    });
}

}  // namespace

UpdateOutcome ReadDataMemory(BootloaderProtocol& protocol, DataMemory& memory,
                             UpdateEvents& events) {
    UpdateOutcome outcome;
    DataMemory again{};
    if (!ReadPass(protocol, memory, events, outcome)) return outcome;
    outcome.secondRead = true;
    if (!ReadPass(protocol, again, events, outcome)) return outcome;
    outcome.secondRead = false;
    const auto first = std::mismatch(memory.begin(), memory.end(), again.begin()).first;
    if (first != memory.end()) {
        const auto at = kDataStart + static_cast<std::uint32_t>(first - memory.begin());
        outcome.reason = UpdateFailure::ReadsDiffer;
        outcome.differsAt = at;
        outcome.block = at / kBlockSize * kBlockSize;
    }
    return outcome;
}

UpdateOutcome WriteDataMemory(BootloaderProtocol& protocol, const DataMemory& saved,
                              UpdateEvents& events) {
    UpdateOutcome outcome;
    const auto savedAt = [&](std::uint32_t block) { return &saved[block - kDataStart]; };
    if (!RunStage(UpdateStage::Restore, kDataMemory, events, outcome, [&](std::uint32_t block) {
            const std::span<const std::uint8_t, kBlockSize> bytes(savedAt(block), kBlockSize);
            return protocol.WriteBlock(block, bytes) || ExchangeFailed(protocol, outcome);
        })) {
        return outcome;
    }
    RunStage(UpdateStage::Check, kDataMemory, events, outcome, [&](std::uint32_t block) {
        return ReadBlockMatching(protocol, block, savedAt(block), outcome);
    });
    return outcome;
}

}  // namespace ostrel
