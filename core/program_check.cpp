#include "core/program_check.h"

#include "core/block_stage.h"

namespace ostrel {

UpdateOutcome CheckProgramMemory(BootloaderProtocol& protocol, const FirmwareImage& image,
                                 UpdateEvents& events) {
    UpdateOutcome outcome;
    RunStage(UpdateStage::Verify, kProgramMemory, events, outcome, [&](std::uint32_t block) {
        return ReadBlockMatching(protocol, block, &image[block], outcome);
    });
    return outcome;
}

}  // namespace ostrel
