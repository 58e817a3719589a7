// The core's sequences beside the update: the program memory checked alone, the data memory
// read twice to be saved, and a saved one written back and read back.
#include "core/data_memory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "core/program_check.h"
#include "tests/core/connected_tracker.h"

namespace ostrel {
namespace {

using sim::Command;
using sim::FaultKind;
using sim::Step;

// The tracker, with its data memory as the sequences see it.
struct Tracker : test::ConnectedTracker {
    DataMemory ModelData() const {
        DataMemory data{};
        std::copy_n(model.Memory().begin() + kDataStart, kDataSize, data.begin());
        return data;
    }
};

std::vector<std::string> DataBlocks(const char* kind) {
    return Tracker::Blocks(kind, kDataMemory.start, kDataMemory.end - kBlockSize);
}

TEST(ProgramCheck, ReadsEveryBlockWritesNothingAndFindsTheFirstByteThatDiffers) {
    Tracker t;
    test::LoadRelease(t.model);
    UpdateOutcome outcome = CheckProgramMemory(t.protocol, *t.image, t.events);
    EXPECT_TRUE(outcome.Succeeded());
    EXPECT_EQ(t.model.Exchanges().size(), kFlashSize / kBlockSize);
    EXPECT_TRUE(std::all_of(t.model.Exchanges().begin(), t.model.Exchanges().end(),
                            [](const auto& e) { return e.command == Command::ReadMemory; }));
    EXPECT_EQ(t.events.lines.back(), "end verify ok");

    for (std::uint32_t at : {kFlashStart + 0x80, kProgramMemory.end - 1}) {
        Tracker changed;
        test::LoadRelease(changed.model);
        changed.model.Memory()[at] ^= 0x01;
        ASSERT_FALSE(test::HoldsRelease(changed.model.Memory()));
        outcome = CheckProgramMemory(changed.protocol, *changed.image, changed.events);
        EXPECT_EQ(outcome.reason, UpdateFailure::ReadBackDiffers);
        EXPECT_EQ(outcome.differsAt, at);
        EXPECT_EQ(outcome.block, at / kBlockSize * kBlockSize);
        EXPECT_EQ(outcome.stage, UpdateStage::Verify);
    }
}

TEST(DataMemoryRead, ReadsTwiceAndGivesTheMemoryOnlyWhenBothReadsAgree) {
    Tracker t;
    DataMemory memory{};
    UpdateOutcome outcome = ReadDataMemory(t.protocol, memory, t.events);
    EXPECT_TRUE(outcome.Succeeded());
    EXPECT_EQ(memory, t.ModelData());
    std::vector<std::string> twice = DataBlocks("R");
    const std::vector<std::string> again = DataBlocks("R");
    twice.insert(twice.end(), again.begin(), again.end());
    EXPECT_EQ(t.ExchangeList(), twice);

    struct Case {
        const char* name;
        sim::Fault fault;
        UpdateFailure reason;
        bool secondRead;
        std::uint32_t block;
        std::optional<std::uint32_t> differsAt;
    };
    const Case cases[] = {
        {"a glitch in the first read",
         {FaultKind::WrongReadByte, Command::ReadMemory, Step::Payload, 0x1080, 1, 0, 5},
         UpdateFailure::ReadsDiffer,
         false,
         0x1080,
         0x1085},
        {"a glitch in the second read",
         {FaultKind::WrongReadByte, Command::ReadMemory, Step::Payload, 0x1380, 2, 0, 127},
         UpdateFailure::ReadsDiffer,
         false,
         0x1380,
         0x13FF},
        {"the first read refused",
         {FaultKind::Nack, Command::ReadMemory, Step::Address, 0x1100, 1},
         UpdateFailure::Exchange,
         false,
         0x1100,
         {}},
        {"the second read refused",
         {FaultKind::Nack, Command::ReadMemory, Step::Address, 0x1000, 2},
         UpdateFailure::Exchange,
         true,
         0x1000,
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Tracker fresh;
        fresh.model.AddFault(c.fault);
        outcome = ReadDataMemory(fresh.protocol, memory, fresh.events);
        EXPECT_EQ(outcome.stage, UpdateStage::Backup);
        EXPECT_EQ(outcome.reason, c.reason);
        EXPECT_EQ(outcome.secondRead, c.secondRead);
        EXPECT_EQ(outcome.block, c.block);
        EXPECT_EQ(outcome.differsAt, c.differsAt);
    }
}

TEST(DataMemoryWrite, WritesEveryBlockThenReadsItBackAndNamesWhereItFailed) {
    DataMemory saved{};
    for (std::size_t i = 0; i < saved.size(); ++i) saved[i] = static_cast<std::uint8_t>(i * 7);
    Tracker t;
    UpdateOutcome outcome = WriteDataMemory(t.protocol, saved, t.events);
    EXPECT_TRUE(outcome.Succeeded());
    EXPECT_EQ(t.ModelData(), saved);
    std::vector<std::string> expected = DataBlocks("W");
    const std::vector<std::string> reads = DataBlocks("R");
    expected.insert(expected.end(), reads.begin(), reads.end());
    EXPECT_EQ(t.ExchangeList(), expected);

    struct Case {
        const char* name;
        sim::Fault fault;
        UpdateStage stage;
        UpdateFailure reason;
        std::uint32_t block;
        std::optional<std::uint32_t> differsAt;
    };
    const Case cases[] = {
        {"a write refused",
         {FaultKind::Nack, Command::WriteMemory, Step::Payload, 0x1100},
         UpdateStage::Restore,
         UpdateFailure::Exchange,
         0x1100,
         {}},
        {"a read back unanswered",
         {FaultKind::Silence, Command::ReadMemory, Step::Address, 0x1200},
         UpdateStage::Check,
         UpdateFailure::Exchange,
         0x1200,
         {}},
        {"the last byte read back differs",
         {FaultKind::WrongReadByte, Command::ReadMemory, Step::Payload, 0x1380, 1, 0, 127},
         UpdateStage::Check,
         UpdateFailure::ReadBackDiffers,
         0x1380,
         0x13FF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Tracker fresh;
        fresh.model.AddFault(c.fault);
        outcome = WriteDataMemory(fresh.protocol, saved, fresh.events);
        EXPECT_EQ(outcome.stage, c.stage);
        EXPECT_EQ(outcome.reason, c.reason);
        EXPECT_EQ(outcome.block, c.block);
        EXPECT_EQ(outcome.differsAt, c.differsAt);
        EXPECT_EQ(fresh.events.lines.back(), std::string("end ") + StageName(c.stage) + " failed");
    }
}

}  // namespace
}  // namespace ostrel
