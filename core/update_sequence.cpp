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

// One stage over the blocks from `first` to `last`, each by `exchange`; reports each good block
// and the end. Stops at the first failure, which goes into `outcome`.
template <typename Exchange>
bool RunStage(UpdateStage stage, std::uint32_t first, std::uint32_t last, UpdaterState& state,
              UpdateEvents& events, UpdateOutcome& outcome, Exchange exchange) {
    const std::uint32_t total = (last + 1 - first) / kBlockSize;
    outcome.stage = stage;
    events.StageBegun(stage, total);
    std::uint32_t done = 0;
    for (state.CurrentAddress = first; state.CurrentAddress <= last;) {
        const std::uint32_t block = state.CurrentAddress;
        const bool ok = exchange(block);
        state.CurrentAddress += state.BlockSize;
        if (!ok) {
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
    state.EndAddress = kFlashEnd;
    const auto failedExchange = [&] {
        outcome.reason = UpdateFailure::Exchange;
        outcome.step = protocol.LastExchange();
        return false;
    };

    // Stage 1: program memory.
    state.UpdatePhase = Phase::WritingProgram;
    if (!RunStage(
            UpdateStage::Write, kFlashStart, kFlashEnd, state, events, outcome,
            [&](std::uint32_t block) { return protocol.WriteBlock(block) || failedExchange(); })) {
        return outcome;
    }

    // Stage 2: read back and compare.
    state.UpdatePhase = Phase::Verifying;
    if (!RunStage(UpdateStage::Verify, kFlashStart, kFlashEnd, state, events, outcome,
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

    // Stage 3: data memory, from 0x1100 when the owner's settings are kept.
    state.UpdatePhase = Phase::WritingData;
    if (!RunStage(UpdateStage::Data, keepUserSettings ? kUserSettingsEnd : kDataStart, kDataEnd,
                  state, events, outcome, [&](std::uint32_t block) {
                      return protocol.WriteBlock(block) || failedExchange();
                  })) {
        return outcome;
    }

    state.UpdatePhase = Phase::Succeeded;
    return outcome;
}

}  // namespace ostrel
