#pragma once
// What every block sequence of the core shares: the walk over a range of blocks that reports
// each good block, and the comparison of a block read back with the bytes it should hold.
#include <cstdint>
#include <optional>

#include "core/bootloader_protocol.h"
#include "core/firmware_image.h"
#include "core/update_events.h"

namespace ostrel {

// The first address of the block at `block`, just read, whose byte differs from `expected`'s
// (its 128 bytes).
std::optional<std::uint32_t> FirstDifference(const BootloaderProtocol& protocol,
                                             std::uint32_t block, const std::uint8_t* expected);

// The failed exchange, as the protocol recorded it, into `outcome`; always false.
bool ExchangeFailed(const BootloaderProtocol& protocol, UpdateOutcome& outcome);

// Reads the block at `block` and compares it with `expected`; a failed read or the first byte
// that differs goes into `outcome`.
bool ReadBlockMatching(BootloaderProtocol& protocol, std::uint32_t block,
                       const std::uint8_t* expected, UpdateOutcome& outcome);

// One stage over the blocks of `range`, each by `exchange`, which returns false on failure
// after filling `outcome` in; reports the stage's start, each good block and its end. Stops at
// the first failure.
template <typename Exchange>
bool RunStage(UpdateStage stage, MemoryRange range, UpdateEvents& events, UpdateOutcome& outcome,
              Exchange exchange) {
    const std::uint32_t total = range.Size() / kBlockSize;
    outcome.stage = stage;
    events.StageBegun(stage, total);
    std::uint32_t done = 0;
    for (std::uint32_t block = range.start; block < range.end; block += kBlockSize) {
        if (!exchange(block)) {
            outcome.block = block;
            events.StageEnded(stage, false);
            return false;
        }
        events.Progress(stage, ++done, total);
    }
    events.StageEnded(stage, true);
    return true;
}

}  // namespace ostrel
