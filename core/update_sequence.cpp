#include "core/update_sequence.h"

#include "core/block_stage.h"
#include "core/program_check.h"

namespace ostrel {

UpdateOutcome RunUpdate(UpdaterState& state, BootloaderProtocol& protocol,
                        const FirmwareImage& image, bool keepUserSettings, UpdateEvents& events) {
    UpdateOutcome outcome;
    if (!state.DeviceReady) {
        outcome.reason = UpdateFailure::NotReady;
        return outcome;
    }
    const auto writeBlock = [&](std::uint32_t block) {
        return protocol.WriteBlock(block) || ExchangeFailed(protocol, outcome);
    };
    const auto failed = [&] {
        state.UpdatePhase = Phase::Idle;
        return outcome;
    };

    // Stage 1: program memory.
    state.UpdatePhase = Phase::WritingProgram;
    if (!RunStage(UpdateStage::Write, kProgramMemory, events, outcome, writeBlock)) {
        return failed();
    }

    // Stage 2: read back and compare.
    state.UpdatePhase = Phase::Verifying;
    outcome = CheckProgramMemory(protocol, image, events);
    if (!outcome.Succeeded()) return failed();

    // Stage 3: data memory, all but the owner's settings when they are kept.
    state.UpdatePhase = Phase::WritingData;
    if (!RunStage(UpdateStage::Data, keepUserSettings ? kDataAfterUserSettings : kDataMemory,
                  events, outcome, writeBlock)) {
        return failed();
    }

    state.UpdatePhase = Phase::Succeeded;
    return outcome;
}

}  // namespace ostrel
