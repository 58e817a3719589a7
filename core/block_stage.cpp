#include "core/block_stage.h"

namespace ostrel {

std::optional<std::uint32_t> FirstDifference(const BootloaderProtocol& protocol,
                                             std::uint32_t block, const std::uint8_t* expected) {
    // The block's bytes follow the read's ACK in the receive buffer.
    const ProtocolBuffer& received = protocol.ReceiveBuffer();
    for (std::uint32_t i = 0; i < kBlockSize; ++i) {
        if (received[1 + i] != expected[i]) return block + i;
    }
    return std::nullopt;
}

bool ExchangeFailed(const BootloaderProtocol& protocol, UpdateOutcome& outcome) {
    outcome.reason = UpdateFailure::Exchange;
    outcome.step = protocol.LastExchange();
    return false;
}

bool ReadBlockMatching(BootloaderProtocol& protocol, std::uint32_t block,
                       const std::uint8_t* expected, UpdateOutcome& outcome) {
    if (!protocol.ReadBlock(block)) return ExchangeFailed(protocol, outcome);
    outcome.differsAt = FirstDifference(protocol, block, expected);
    if (!outcome.differsAt) return true;
    outcome.reason = UpdateFailure::ReadBackDiffers;
    return false;
}

}  // namespace ostrel
