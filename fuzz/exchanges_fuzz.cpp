// Arbitrary device answers to every exchange: nothing may read or write out of bounds, no wait
// may outlast its budget, and success must mean what it says.
#include <memory>

#include "core/bootloader_protocol.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/scripted_link.h"

using ostrel::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ostrel::FirmwareImage& image = ostrel::fuzz::ReleaseImage();
    ostrel::fuzz::ScriptedLink link(data, size);
    ostrel::UpdaterState state;
    ostrel::BootloaderProtocol protocol(link, image, state);

    const std::uint64_t t0 = link.Now();
    const bool synced = protocol.SyncBootloader();
    Check(link.Now() - t0 <= 200);
    Check(!synced || protocol.ReceiveBuffer()[0] == ostrel::kAck);

    const std::uint64_t t1 = link.Now();
    if (protocol.QueryBootloader()) {
        Check(state.SupportedCommandCount <= 7);
        Check(protocol.ReceiveBuffer()[state.SupportedCommandCount + 3] == ostrel::kAck);
    }
    Check(link.Now() - t1 <= 400);

    const std::uint64_t t2 = link.Now();
    if (protocol.ReadBlock(0x8C00)) Check(protocol.ReceiveBuffer()[0] == ostrel::kAck);
    Check(link.Now() - t2 <= 900);

    const std::uint64_t t3 = link.Now();
    if (protocol.WriteBlock(0xFF80)) Check(protocol.ReceiveBuffer()[2] == ostrel::kAck);
    Check(link.Now() - t3 <= 800);
    return 0;
}
