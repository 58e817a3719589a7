#pragma once
// A simulated tracker behind its in-memory link, synchronised and queried, with the release
// built, for the tests of the core's block sequences.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "core/update_sequence.h"
#include "sim/bootloader_model.h"
#include "sim/sim_link.h"
#include "tests/support/recording_events.h"
#include "tests/support/tracker.h"

namespace ostrel::test {

// A connected simulated tracker, as the Next button finds it on the connection page.
struct ConnectedTracker {
    ConnectedTracker() {
        BuildFirmwareImage(*image);
        EXPECT_TRUE(link.OpenPort("SIM1"));
        EXPECT_TRUE(protocol.SyncBootloader());
        EXPECT_TRUE(protocol.QueryBootloader());
        state.DeviceReady = true;
        model.ClearExchanges();
    }
    void RunOnce(bool keepUser = false) {
        state.UpdatePhase = Phase::Requested;
        outcome = RunUpdate(state, protocol, *image, keepUser, events);
    }
    bool HoldsRelease() const { return test::HoldsRelease(model.Memory()); }
    bool DataEqualsImage(std::uint32_t from) const {
        return std::equal(image->begin() + from, image->begin() + kDataMemory.end,
                          model.Memory().begin() + from);
    }
    std::vector<std::string> ExchangeList() const {
        std::vector<std::string> out;
        for (const auto& e : model.Exchanges()) {
            const char* kind = e.command == sim::Command::ReadMemory ? "R" : "W";
            out.push_back(kind + std::to_string(e.address));
        }
        return out;
    }
    static std::vector<std::string> Blocks(const char* kind, std::uint32_t from, std::uint32_t to) {
        std::vector<std::string> out;
        for (std::uint32_t a = from; a <= to; a += 128) out.push_back(kind + std::to_string(a));
        return out;
    }

    std::unique_ptr<FirmwareImage> image = std::make_unique<FirmwareImage>();
    sim::BootloaderModel model;
    sim::SimLink link{model};
    UpdaterState state;
    BootloaderProtocol protocol{link, *image, state};
    test::RecordingEvents events;
    UpdateOutcome outcome;
};

}  // namespace ostrel::test
