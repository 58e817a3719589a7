#include "core/update_sequence.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "sim/bootloader_model.h"
#include "sim/sim_link.h"
#include "tests/support/recording_view.h"

namespace ostrel {
namespace {

using sim::Command;
using sim::FaultKind;
using sim::Step;
using Shown = std::set<std::string>;

constexpr std::uint32_t kFlashBlocks = 232;

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
    void RunOnce() {
        state.UpdatePhase = 1;
        RunUpdate(state, protocol, *image, view);
    }
    bool FlashEqualsImage() const {
        return std::equal(image->begin() + kFlashStart, image->end(),
                          model.Memory().begin() + kFlashStart);
    }
    bool DataEqualsImage(std::uint32_t from) const {
        return std::equal(image->begin() + from, image->begin() + kDataEnd + 1,
                          model.Memory().begin() + from);
    }
    std::vector<std::string> ExchangeList() const {
        std::vector<std::string> out;
        for (const auto& e : model.Exchanges()) {
            const char* kind = e.command == Command::ReadMemory ? "R" : "W";
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
    test::RecordingView view;
};

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

    EXPECT_TRUE(FlashEqualsImage());
    EXPECT_TRUE(DataEqualsImage(kDataStart));
    EXPECT_EQ(state.UpdatePhase, 5);
    EXPECT_EQ(view.shown, (Shown{"lbWrite", "lbWriteOK", "BarWrite", "lbVerify", "lbVerifyOK",
                                 "BarVerify", "txtWriteOK", "ListWriteOK"}));
    EXPECT_EQ(view.WriteBar(), 100u);
    EXPECT_EQ(view.VerifyBar(), 100u);
    EXPECT_EQ(view.pumps, 464);
    EXPECT_EQ(view.keepUserAsked, 1);
    EXPECT_EQ(view.calls.back(), "enable btnNEXT");
}

TEST_F(UpdateTest, KeepingTheOwnersSettingsLeavesTheirBlocksUntouched) {
    view.keepUser = true;
    RunOnce();
    const auto all = ExchangeList();
    EXPECT_EQ(all.size(), 470u);
    EXPECT_EQ(std::vector<std::string>(all.end() - 6, all.end()), Blocks("W", 0x1100, 0x1380));
    EXPECT_TRUE(FlashEqualsImage());
    EXPECT_TRUE(DataEqualsImage(0x1100));
    for (std::uint32_t a = 0x1000; a < 0x1100; ++a) {
        ASSERT_EQ(model.Memory()[a], sim::BootloaderModel::OwnerSettingsByte(a)) << a;
    }
    EXPECT_EQ(state.UpdatePhase, 5);
}

TEST_F(UpdateTest, EachBarGets233PositionsByTheTruncatingFormula) {
    RunOnce();
    for (const auto* positions : {&view.writePositions, &view.verifyPositions}) {
        ASSERT_EQ(positions->size(), 233u);
        EXPECT_EQ((*positions)[0], 0u);
        for (std::uint32_t k = 1; k <= kFlashBlocks; ++k) {
            ASSERT_EQ((*positions)[k], ((128 * k + 1) * 100) / 29695) << k;
        }
        EXPECT_EQ((*positions)[1], 0u);
        EXPECT_EQ((*positions)[3], 1u);
        EXPECT_EQ((*positions)[116], 50u);
        EXPECT_EQ((*positions)[231], 99u);
        EXPECT_EQ((*positions)[232], 100u);
    }
}

TEST_F(UpdateTest, StartAndStageChangesComeInOrder) {
    RunOnce();
    const std::vector<std::string> start(view.calls.begin(), view.calls.begin() + 6);
    EXPECT_EQ(start, (std::vector<std::string>{"disable btnBACK", "disable btnNEXT", "show lbWrite",
                                               "BarWrite=0", "show BarWrite", "show lbWriteOn"}));
    const auto stage2 = std::find(view.calls.begin(), view.calls.end(), "hide lbWriteOn");
    ASSERT_NE(stage2, view.calls.end());
    EXPECT_EQ(std::vector<std::string>(stage2, stage2 + 6),
              (std::vector<std::string>{"hide lbWriteOn", "show lbWriteOK", "show lbVerify",
                                        "BarVerify=0", "show BarVerify", "show lbVerifyOn"}));
    const std::vector<std::string> end(view.calls.end() - 6, view.calls.end());
    EXPECT_EQ(end,
              (std::vector<std::string>{"hide lbVerifyOn", "show lbVerifyOK", "show txtWriteOK",
                                        "show ListWriteOK", "enable btnBACK", "enable btnNEXT"}));
}

// Where the run fails decides what page 4 shows at the end.
struct FailureCase {
    const char* name;
    sim::Fault fault;
    std::size_t exchanges;
    Shown shown;
    std::uint32_t writeBar;
    std::uint32_t verifyBar;
    bool verifyBarSet;
};

TEST_F(UpdateTest, EachFailureLeavesItsStagesDisplay) {
    const Shown stage1{"lbWrite", "BarWrite", "lbWriteErr", "txtWriteFail", "ListWriteFail"};
    const Shown stage2{"lbWrite",   "lbWriteOK",   "BarWrite",     "lbVerify",
                       "BarVerify", "lbVerifyErr", "txtWriteFail", "ListWriteFail"};
    const Shown stage3{"lbWrite",    "lbWriteOK", "lbWriteErr",   "BarWrite",     "lbVerify",
                       "lbVerifyOK", "BarVerify", "txtWriteFail", "ListWriteFail"};
    const FailureCase cases[] = {
        {"first flash block",
         {FaultKind::Nack, Command::WriteMemory, Step::Command, {}},
         1,
         stage1,
         0,
         0,
         false},
        {"last flash block",
         {FaultKind::Silence, Command::WriteMemory, Step::Payload, 0xFF80},
         232,
         stage1,
         99,
         0,
         false},
        {"wrong byte in first read-back",
         {FaultKind::WrongReadByte, Command::ReadMemory, Step::Payload, 0x8C00, 1, 0, 127},
         233,
         stage2,
         100,
         0,
         true},
        // The comparison's first and last positions: the region's last byte, 0xFFFF, counts.
        {"wrong first byte of a read-back block",
         {FaultKind::WrongReadByte, Command::ReadMemory, Step::Payload, 0x9000, 1, 0, 0},
         232 + 9,
         stage2,
         100,
         3,
         true},
        {"wrong byte at 0xFFFF",
         {FaultKind::WrongReadByte, Command::ReadMemory, Step::Payload, 0xFF80, 1, 0, 127},
         232 + 232,
         stage2,
         100,
         99,
         true},
        {"read-back not acknowledged",
         {FaultKind::Nack, Command::ReadMemory, Step::Address, 0x9000},
         232 + 9,
         stage2,
         100,
         3,
         true},
        {"second data block",
         {FaultKind::Nack, Command::WriteMemory, Step::Payload, 0x1080},
         466,
         stage3,
         100,
         100,
         true},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        ConnectedTracker fresh;
        fresh.model.AddFault(c.fault);
        fresh.RunOnce();
        EXPECT_EQ(fresh.state.UpdatePhase, 0);
        EXPECT_EQ(fresh.model.Exchanges().size(), c.exchanges);
        EXPECT_EQ(fresh.view.shown, c.shown);
        EXPECT_EQ(fresh.view.WriteBar(), c.writeBar);
        EXPECT_EQ(fresh.view.VerifyBar(), c.verifyBar);
        EXPECT_EQ(!fresh.view.verifyPositions.empty(), c.verifyBarSet);
        EXPECT_EQ(fresh.view.keepUserAsked, c.verifyBar == 100 ? 1 : 0);
        EXPECT_EQ(fresh.view.calls.back(), "enable btnNEXT");
        EXPECT_TRUE(fresh.state.DeviceReady);  // the port stays usable for another try
    }
}

TEST_F(UpdateTest, NothingHappensWhenTheDeviceIsNotReady) {
    state.DeviceReady = false;
    RunOnce();
    EXPECT_TRUE(view.calls.empty());
    EXPECT_TRUE(model.Exchanges().empty());
    EXPECT_EQ(state.UpdatePhase, 1);
}

TEST_F(UpdateTest, ASecondRunRepeatsEveryExchange) {
    RunOnce();
    model.ClearExchanges();
    view = test::RecordingView{};
    RunOnce();
    EXPECT_EQ(model.Exchanges().size(), 472u);
    EXPECT_EQ(state.UpdatePhase, 5);
}

TEST_F(UpdateTest, PullingTheAdapterOutMidRunFailsThatStage) {
    int pumps = 0;
    view.onPump = [&] {
        if (++pumps == 10) link.Unplug();
    };
    RunOnce();
    EXPECT_EQ(state.UpdatePhase, 0);
    EXPECT_EQ(view.shown.count("lbWriteErr"), 1u);
    EXPECT_EQ(model.Exchanges().size(), 10u);
}

}  // namespace
}  // namespace ostrel
