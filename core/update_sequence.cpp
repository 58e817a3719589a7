#include "core/update_sequence.h"

namespace ostrel {
namespace {

bool BlockMatchesImage(std::uint32_t block, const BootloaderProtocol& protocol,
                       const FirmwareImage& image, std::uint32_t& differsAt) {
    const ProtocolBuffer& received = protocol.ReceiveBuffer();
    for (std::uint32_t i = 0; i < kBlockSize; ++i) {
        if (received[1 + i] != image[block + i]) {
            differsAt = block + i;
            return false;
        }
    }
    return true;
}

// One stage over the blocks of `range`, each by `exchange`; reports each good block and the
// end. Stops at the first failure, which goes into `outcome`.
template <typename Exchange>
bool RunStage(UpdateStage stage, MemoryRange range, UpdaterState& state, UpdateEvents& events,
              UpdateOutcome& outcome, Exchange exchange) {
    const std::uint32_t total = range.Size() / kBlockSize;
    outcome.stage = stage;
    events.StageBegun(stage, total);
    std::uint32_t done = 0;
    for (std::uint32_t block = range.start; block < range.end; block += kBlockSize) {
        if (!exchange(block)) {
            outcome.block = block;
            state.UpdatePhase = Phase::Idle;
            events.StageEnded(stage, false);
            return false;
        }
        events.Progress(stage, ++done, total);
    }
    events.StageEnded(stage, true);
    return true;
}

}  // namespace

UpdateOutcome RunUpdate(UpdaterState& state, BootloaderProtocol& protocol,
                        const FirmwareImage& image, bool keepUserSettings, UpdateEvents& events) {
    UpdateOutcome outcome;
    if (!state.DeviceReady) {
        outcome.reason = UpdateFailure::NotReady;
        return outcome;
    }
    const auto failedExchange = [&] {
        outcome.reason = UpdateFailure::Exchange;
        outcome.step = protocol.LastExchange();
        return false;
    };

    // Stage 1: program memory.
    state.UpdatePhase = Phase::WritingProgram;
    if (!RunStage(
            UpdateStage::Write, kProgramMemory, state, events, outcome,
            [&](std::uint32_t block) { return protocol.WriteBlock(block) || failedExchange(); })) {
        return outcome;
    }

    // Stage 2: read back and compare.
    state.UpdatePhase = Phase::Verifying;
    if (!RunStage(UpdateStage::Verify, kProgramMemory, state, events, outcome,
                  [&](std::uint32_t block) {
                      if (!protocol.ReadBlock(block)) return failedExchange();
                      std::uint32_t at = 0;
                      if (BlockMatchesImage(block, protocol, image, at)) return true;
                      outcome.reason = UpdateFailure::ReadBackDiffers;
                      outcome.differsAt = at;
                      return false;
                  })) {
        return outcome;
    }

    // Stage 3: data memory, all but the owner's settings when they are kept.
    state.UpdatePhase = Phase::WritingData;
    if (!RunStage(UpdateStage::Data, keepUserSettings ? kDataAfterUserSettings : kDataMemory, state,
                  events, outcome, [&](std::uint32_t block) {
                      return protocol.WriteBlock(block) || failedExchange();
                  })) {
        return outcome;
    }

    state.UpdatePhase = Phase::Succeeded;
    return outcome;
}

}  // namespace ostrel
