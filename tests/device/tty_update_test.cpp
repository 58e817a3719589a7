// Whole updates through the Linux serial port against the simulated tracker served on a pty.
#include <gtest/gtest.h>

#include <memory>

#include "core/update_sequence.h"
#include "device/connection.h"
#include "sim/sim_port_directory.h"
#include "sim/tty/tty_server.h"
#include "tests/support/recording_events.h"
#include "tests/support/tracker.h"

namespace ostrel {
namespace {

using sim::BootloaderModel;
using sim::LineStats;
using sim::TtyServer;

class TtyUpdate : public testing::Test {
  protected:
    void SetUp() override {
        BuildFirmwareImage(*image);
        ASSERT_TRUE(server.ServeNewPty());
        directory.bridgePort = server.PortPath();
        server.Start();
    }

    bool Connect() {
        connector.ConnectSequence();
        return state.DeviceReady;
    }

    std::unique_ptr<FirmwareImage> image = std::make_unique<FirmwareImage>();
    BootloaderModel model;
    TtyServer server{model, sim::Pacing::Fast};
    UpdaterState state;
    std::unique_ptr<SerialPort> port = MakeSerialPort();
    sim::SimPortDirectory directory;
    BootloaderProtocol protocol{*port, *image, state};
    Connector connector{state, *port, directory, protocol};
    test::RecordingEvents events;
};

class FullUpdate : public TtyUpdate, public testing::WithParamInterface<bool> {};

TEST_P(FullUpdate, LeavesTheTrackerMemoryEqualToTheImage) {
    const bool keep = GetParam();
    ASSERT_TRUE(Connect());
    state.UpdatePhase = Phase::Requested;
    EXPECT_TRUE(RunUpdate(state, protocol, *image, keep, events).Succeeded());
    EXPECT_EQ(state.UpdatePhase, Phase::Succeeded);
    port->ClosePort();
    server.Stop();

    const auto& memory = model.Memory();
    EXPECT_TRUE(test::HoldsRelease(memory));
    for (std::uint32_t a = kDataStart; a < kDataStart + kDataSize; ++a) {
        const bool owners = keep && a < kUserSettings.end;
        const std::uint8_t expected = owners ? BootloaderModel::OwnerSettingsByte(a) : (*image)[a];
        ASSERT_EQ(memory[a], expected) << std::hex << "at 0x" << a;
    }
}

INSTANTIATE_TEST_SUITE_P(KeepUserSettings, FullUpdate, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& param) {
                             return param.param ? "kept" : "overwritten";
                         });

// The model counts exchanges from the sync (1) and Get (2); program-memory writes are 3 to
// 234, read-backs 235 to 466.
struct HangUpCase {
    const char* stage;
    std::size_t exchange;
    UpdateStage failed;
};
void PrintTo(const HangUpCase& c, std::ostream* os) {
    *os << c.stage;
}

class HangUpMidUpdate : public TtyUpdate, public testing::WithParamInterface<HangUpCase> {};

TEST_P(HangUpMidUpdate, EndsWithTheStagesFailure) {
    ASSERT_TRUE(Connect());
    server.HangUpAtExchange(GetParam().exchange);
    state.UpdatePhase = Phase::Requested;
    const UpdateOutcome outcome = RunUpdate(state, protocol, *image, false, events);
    EXPECT_EQ(state.UpdatePhase, Phase::Idle);
    EXPECT_EQ(outcome.stage, GetParam().failed);
    EXPECT_EQ(outcome.reason, UpdateFailure::Exchange);
    EXPECT_EQ(port->PendingInputCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Stages, HangUpMidUpdate,
                         testing::Values(HangUpCase{"write", 100, UpdateStage::Write},
                                         HangUpCase{"verify", 300, UpdateStage::Verify}),
                         [](const testing::TestParamInfo<HangUpCase>& param) {
                             return param.param.stage;
                         });

// A pty refuses a second identical 9600 8E1 request; the server resets the line after each
// close, so the host can connect again and again as with a real adapter.
TEST_F(TtyUpdate, HostCanCloseAndReopenThePort) {
    for (std::uint32_t round = 1; round <= 3; ++round) {
        ASSERT_TRUE(Connect()) << "round " << round;
        connector.ClosePortAfterRemoval();
        server.WaitUntil([round](const LineStats& s) { return s.hostCloses >= round; });
    }
    const LineStats stats = server.Stats();
    EXPECT_EQ(stats.hostOpens, 3u);
    EXPECT_EQ(stats.hostCloses, 3u);
}

// The bootloader keeps the rate of its first sync byte until it is reset, as on the device: a
// host that comes back at another rate is not understood, not even by a new sync.
TEST_F(TtyUpdate, AHostThatChangesRateAfterTheSyncIsNotUnderstood) {
    ASSERT_TRUE(Connect());
    connector.ClosePortAfterRemoval();
    server.WaitUntil([](const LineStats& s) { return s.hostCloses >= 1; });
    port->SetLineRate(115200);
    ASSERT_TRUE(port->OpenPort(directory.bridgePort));
    EXPECT_FALSE(protocol.QueryBootloader());
    EXPECT_FALSE(protocol.SyncBootloader());
    EXPECT_EQ(server.Stats().lockedRate, 9600u);
}

TEST_F(TtyUpdate, AnswersTheHostLeftUnreadAreGoneAtTheNextOpening) {
    ASSERT_TRUE(Connect());
    // Sync answered with stray bytes behind the ACK, which the host never reads.
    server.WithModel([](BootloaderModel& m) {
        m.AddFault(
            {.kind = sim::FaultKind::StrayAfter, .command = sim::Command::Sync, .count = 40});
    });
    ASSERT_TRUE(protocol.SyncBootloader());
    ASSERT_TRUE(port->WaitForInput(5000, 40));
    connector.ClosePortAfterRemoval();
    server.WaitUntil([](const LineStats& s) { return s.hostCloses >= 1; });

    ASSERT_TRUE(port->OpenPort(directory.bridgePort));
    EXPECT_EQ(port->PendingInputCount(), 0);
}

}  // namespace
}  // namespace ostrel
