#include "core/update_sequence.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/core/connected_tracker.h"

namespace ostrel {
namespace {

using test::ConnectedTracker;

using sim::Command;
using sim::FaultKind;
using sim::Step;

class UpdateTest : public ::testing::Test, public ConnectedTracker {};

TEST_F(UpdateTest, FullUpdateWritesVerifiesAndWritesDataMemory) {
    RunOnce();
    auto expected = Blocks("W", 0x8C00, 0xFF80);
    auto reads = Blocks("R", 0x8C00, 0xFF80);
    auto data = Blocks("W", 0x1000, 0x1380);
    expected.insert(expected.end(), reads.begin(), reads.end());
    expected.insert(expected.end(), data.begin(), data.end());
    EXPECT_EQ(ExchangeList(), expected);  // 472 exchanges, in this order
    EXPECT_EQ(expected.size(), 472u);

    EXPECT_TRUE(HoldsRelease());
    EXPECT_TRUE(DataEqualsImage(kDataStart));
    EXPECT_EQ(state.UpdatePhase, Phase::Succeeded);
    EXPECT_TRUE(outcome.Succeeded());
    EXPECT_EQ(events.lines,
              (std::vector<std::string>{"begin write 232", "all write", "end write ok",
                                        "begin verify 232", "all verify", "end verify ok",
                                        "begin data 8", "all data", "end data ok"}));
    // Each good block counts once, in order.
    for (UpdateStage stage : {UpdateStage::Write, UpdateStage::Verify, UpdateStage::Data}) {
        const auto& done = events.progress[stage];
        for (std::size_t i = 0; i < done.size(); ++i) ASSERT_EQ(done[i], i + 1);
    }
}

TEST_F(UpdateTest, KeepingTheOwnersSettingsLeavesTheirBlocksUntouched) {
    RunOnce(true);
    const auto all = ExchangeList();
    EXPECT_EQ(all.size(), 470u);
    EXPECT_EQ(std::vector<std::string>(all.end() - 6, all.end()), Blocks("W", 0x1100, 0x1380));
    EXPECT_TRUE(HoldsRelease());
    EXPECT_TRUE(DataEqualsImage(0x1100));
    EXPECT_EQ(events.lines[6], "begin data 6");
    for (std::uint32_t a = 0x1000; a < 0x1100; ++a) {
        ASSERT_EQ(model.Memory()[a], sim::BootloaderModel::OwnerSettingsByte(a)) << a;
    }
    EXPECT_EQ(state.UpdatePhase, Phase::Succeeded);
}

// Where the run fails decides the outcome: the stage, the block, and what the tracker answered.
struct FailureCase {
    const char* name;
    sim::Fault fault;
    std::size_t exchanges;
    UpdateStage stage;
    std::uint32_t block;
    UpdateFailure reason;
    ExchangeFrame frame;
    ExchangeAnswer answer;
    std::optional<std::uint32_t> differsAt;
};

TEST_F(UpdateTest, EachFailureEndsItsStageWithTheOutcome) {
    using F = ExchangeFrame;
    using A = ExchangeAnswer;
    constexpr auto kExchange = UpdateFailure::Exchange;
    constexpr auto kDiffers = UpdateFailure::ReadBackDiffers;
    const FailureCase cases[] = {
        {"first flash block",
         {FaultKind::Nack, Command::WriteMemory, Step::Command, {}},
         1,
         UpdateStage::Write,
         0x8C00,
         kExchange,
         F::Command,
         A::Nack,
         {}},
        {"last flash block",
         {FaultKind::Silence, Command::WriteMemory, Step::Payload, 0xFF80},
         232,
         UpdateStage::Write,
         0xFF80,
         kExchange,
         F::Data,
         A::None,
         {}},
        {"wrong byte in first read-back",
         {FaultKind::WrongReadByte, Command::ReadMemory, Step::Payload, 0x8C00, 1, 0, 127},
         233,
         UpdateStage::Verify,
         0x8C00,
         kDiffers,
         F::Command,
         A::Ack,
         0x8C7F},
        // The comparison's first and last positions: the region's last byte, 0xFFFF, counts.
        {"wrong first byte of a read-back block",
         {FaultKind::WrongReadByte, Command::ReadMemory, Step::Payload, 0x9000, 1, 0, 0},
         232 + 9,
         UpdateStage::Verify,
         0x9000,
         kDiffers,
         F::Command,
         A::Ack,
         0x9000},
        {"wrong byte at 0xFFFF",
         {FaultKind::WrongReadByte, Command::ReadMemory, Step::Payload, 0xFF80, 1, 0, 127},
         232 + 232,
         UpdateStage::Verify,
         0xFF80,
         kDiffers,
         F::Command,
         A::Ack,
         0xFFFF},
        {"read-back not acknowledged",
         {FaultKind::Nack, Command::ReadMemory, Step::Address, 0x9000},
         232 + 9,
         UpdateStage::Verify,
         0x9000,
         kExchange,
         F::Address,
         A::Nack,
         {}},
        {"second data block",
         {FaultKind::Nack, Command::WriteMemory, Step::Payload, 0x1080},
         466,
         UpdateStage::Data,
         0x1080,
         kExchange,
         F::Data,
         A::Nack,
         {}},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        ConnectedTracker fresh;
        fresh.model.AddFault(c.fault);
        fresh.RunOnce();
        EXPECT_EQ(fresh.state.UpdatePhase, Phase::Idle);
        EXPECT_EQ(fresh.model.Exchanges().size(), c.exchanges);
        EXPECT_EQ(fresh.outcome.stage, c.stage);
        EXPECT_EQ(fresh.outcome.block, c.block);
        EXPECT_EQ(fresh.outcome.reason, c.reason);
        EXPECT_EQ(fresh.outcome.differsAt, c.differsAt);
        if (c.reason == kExchange) {
            EXPECT_EQ(fresh.outcome.step.frame, c.frame);
            EXPECT_EQ(fresh.outcome.step.answer, c.answer);
        }
        // The failed stage ends failed, after one progress event per good block before it.
        EXPECT_EQ(fresh.events.lines.back(), std::string("end ") + StageName(c.stage) + " failed");
        const std::uint32_t first = c.stage == UpdateStage::Data ? kDataStart : kFlashStart;
        EXPECT_EQ(fresh.events.progress[c.stage].size(), (c.block - first) / kBlockSize);
        EXPECT_TRUE(fresh.state.DeviceReady);  // the port stays usable for another try
    }
}

TEST_F(UpdateTest, NothingHappensWhenTheDeviceIsNotReady) {
    state.DeviceReady = false;
    RunOnce();
    EXPECT_TRUE(events.lines.empty());
    EXPECT_TRUE(model.Exchanges().empty());
    EXPECT_EQ(outcome.reason, UpdateFailure::NotReady);
    EXPECT_EQ(state.UpdatePhase, Phase::Requested);
}

TEST_F(UpdateTest, ASecondRunRepeatsEveryExchange) {
    RunOnce();
    model.ClearExchanges();
    events = test::RecordingEvents{};
    RunOnce();
    EXPECT_EQ(model.Exchanges().size(), 472u);
    EXPECT_EQ(state.UpdatePhase, Phase::Succeeded);
}

TEST_F(UpdateTest, PullingTheAdapterOutMidRunFailsThatStage) {
    int blocks = 0;
    events.onProgress = [&] {
        if (++blocks == 10) link.Unplug();
    };
    RunOnce();
    EXPECT_EQ(state.UpdatePhase, Phase::Idle);
    EXPECT_EQ(outcome.stage, UpdateStage::Write);
    EXPECT_EQ(outcome.block, kFlashStart + 10 * kBlockSize);
    EXPECT_EQ(outcome.step.answer, ExchangeAnswer::None);
    EXPECT_EQ(model.Exchanges().size(), 10u);
}

// The update keeps no state of its own outside its session: two sessions run side by side in
// one process, each to its own tracker, as a bench of several adapters does.
TEST(UpdateSideBySide, TwoSessionsOnTwoThreadsEachLeaveTheirRelease) {
    ConnectedTracker first;
    ConnectedTracker second;
    std::thread other([&] { first.RunOnce(); });
    second.RunOnce(true);
    other.join();
    EXPECT_TRUE(first.outcome.Succeeded());
    EXPECT_TRUE(second.outcome.Succeeded());
    EXPECT_TRUE(first.HoldsRelease() && first.DataEqualsImage(kDataStart));
    EXPECT_TRUE(second.HoldsRelease() && second.DataEqualsImage(kDataAfterUserSettings.start));
    EXPECT_EQ(first.model.Exchanges().size(), 472u);
    EXPECT_EQ(second.model.Exchanges().size(), 470u);
}

}  // namespace
}  // namespace ostrel
