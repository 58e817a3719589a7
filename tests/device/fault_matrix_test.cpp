// The fault matrix: the simulated tracker on a pty, behind the real Linux serial port, misbehaves
// at one step of one exchange, in one stage of the update; the connection and the update must
// end as the bootloader's answers decide, show the matching display, and never wait longer than
// each exchange's budget of polls.
#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "core/update_sequence.h"
#include "device/connection.h"
#include "sim/sim_port_directory.h"
#include "sim/tty/tty_server.h"
#include "tests/support/recording_events.h"

namespace ostrel {
namespace {

using sim::Command;
using sim::FaultKind;
using sim::Step;

// Forwards to the real port and counts the tries each exchange spends; every exchange begins
// with a flush, so the polls between two flushes belong to one exchange.
class PollCountingLink : public ByteLink {
  public:
    explicit PollCountingLink(SerialPort& port) : port_(port) {}
    void FlushInput() override {
        polls_.push_back(0);
        port_.FlushInput();
    }
    std::int32_t PendingInputCount() override { return port_.PendingInputCount(); }
    bool ReadExact(std::uint8_t* b, std::uint16_t n, std::uint32_t& got) override {
        return port_.ReadExact(b, n, got);
    }
    bool WriteAll(const std::uint8_t* b, std::uint16_t n) override {
        if (commands_.size() < polls_.size()) commands_.push_back(b[0]);
        return port_.WriteAll(b, n);
    }
    // The most polls any exchange spent beyond what its command allows.
    std::uint32_t WorstOverrun() const {
        std::uint32_t worst = 0;
        for (std::size_t i = 0; i < polls_.size() && i < commands_.size(); ++i) {
            const std::uint32_t budget = commands_[i] == 0x7F   ? 200
                                         : commands_[i] == 0x00 ? 400
                                         : commands_[i] == 0x11 ? 900
                                                                : 800;
            if (polls_[i] > budget) worst = std::max(worst, polls_[i] - budget);
        }
        return worst;
    }

  protected:
    bool AwaitOneTry(std::uint16_t count) override {
        if (!polls_.empty()) ++polls_.back();
        return port_.WaitForInput(1, count);
    }

  private:
    SerialPort& port_;
    std::vector<std::uint32_t> polls_;
    std::vector<std::uint8_t> commands_;
};

// Where a fault strikes. `n` counts the exchanges of the model from 1 (sync 1, Get 2, program
// writes 3-234, read-backs 235-466, data writes from 467).
enum class Stage { Sync, Get, Write, Verify, Data };
struct Where {
    const char* name;
    Stage stage;
    Command command;
    std::uint32_t block;  // 1-based within its stage
    std::uint32_t address;
};
constexpr std::uint32_t Block(std::uint32_t base, std::uint32_t k) {
    return base + 128 * (k - 1);
}
const Where kPlaces[] = {
    {"sync", Stage::Sync, Command::Sync, 1, 0},
    {"get", Stage::Get, Command::Get, 1, 0},
    {"write_first", Stage::Write, Command::WriteMemory, 1, 0x8C00},
    {"write_middle", Stage::Write, Command::WriteMemory, 117, Block(0x8C00, 117)},
    {"write_last", Stage::Write, Command::WriteMemory, 232, 0xFF80},
    {"verify_first", Stage::Verify, Command::ReadMemory, 1, 0x8C00},
    {"verify_middle", Stage::Verify, Command::ReadMemory, 117, Block(0x8C00, 117)},
    {"verify_last", Stage::Verify, Command::ReadMemory, 232, 0xFF80},
    {"data_first", Stage::Data, Command::WriteMemory, 1, 0x1000},
    {"data_last", Stage::Data, Command::WriteMemory, 8, 0x1380},
};

// What goes wrong. A fault ends the exchange unless `passesWith200` and the step's budget is 200.
enum class What { Nack, Silence, Late, LateWithin200, Truncated, WrongByte, Stray, Flood, Unplug };
struct Misdeed {
    const char* name;
    What what;
};
const Misdeed kMisdeeds[] = {
    {"nack", What::Nack},           {"silence", What::Silence},
    {"late", What::Late},           {"late150", What::LateWithin200},
    {"truncated", What::Truncated}, {"wrong_byte", What::WrongByte},
    {"stray", What::Stray},         {"flood64k", What::Flood},
    {"unplugged", What::Unplug},
};

std::uint32_t Budget(Command c, Step s) {
    if (c == Command::WriteMemory && s == Step::Address) return 100;
    return s == Step::Payload ? 500 : 200;
}

struct Row {
    std::string name;
    Where where;
    Step step;
    What what;
    sim::Fault fault;
    bool exchangeFails;
};

// Rows print as their names in test listings.
void PrintTo(const Row& row, std::ostream* os) {
    *os << row.name;
}

std::vector<Row> MatrixRows() {
    std::vector<Row> rows;
    for (const Where& w : kPlaces) {
        const bool block = w.command == Command::ReadMemory || w.command == Command::WriteMemory;
        const std::vector<Step> steps =
            block ? std::vector<Step>{Step::Command, Step::Address, Step::Payload}
                  : std::vector<Step>{Step::Command};
        for (Step step : steps) {
            for (const Misdeed& m : kMisdeeds) {
                const bool answerHasData =
                    w.command == Command::Get ||
                    (w.command == Command::ReadMemory && step == Step::Payload);
                if (m.what == What::Truncated && !answerHasData) continue;
                if (m.what == What::WrongByte && !answerHasData) continue;
                if (m.what == What::Unplug && step != Step::Command) continue;  // once per exchange
                const std::uint32_t budget = Budget(w.command, step);
                if (m.what == What::LateWithin200 && budget == 500) continue;

                sim::Fault f{.command = w.command, .step = step};
                // At the command step the address is not known yet: the n-th exchange is.
                if (step == Step::Command) {
                    f.occurrence = w.block + (w.stage == Stage::Data ? 232 : 0);
                } else {
                    f.address = w.address;
                }
                bool fails = true;
                switch (m.what) {
                    case What::Nack:
                        f.kind = FaultKind::Nack;
                        break;
                    case What::Silence:
                        f.kind = FaultKind::Silence;
                        break;
                    case What::Late:
                        f = {FaultKind::Delay, f.command,    f.step,
                             f.address,        f.occurrence, 3 * budget + 100};
                        break;
                    case What::LateWithin200:
                        f = {FaultKind::Delay, f.command, f.step, f.address, f.occurrence, 150};
                        fails = budget < 150;
                        break;
                    case What::Truncated:
                        f.kind = FaultKind::Truncate;
                        f.count = w.command == Command::Get ? 4 : 101;  // ACK + 100 data bytes
                        break;
                    case What::WrongByte:
                        f.kind = FaultKind::WrongReadByte;
                        f.count = w.command == Command::Get ? 7 : 17;  // Get: its final ACK
                        break;
                    case What::Stray:
                        f.kind = FaultKind::StrayBefore;
                        f.count = 3;
                        break;
                    case What::Flood:
                        f.kind = FaultKind::StrayBefore;
                        f.count = 65536;
                        break;
                    case What::Unplug:
                        break;
                }
                const char* stepName = step == Step::Command   ? "command"
                                       : step == Step::Address ? "address"
                                                               : "payload";
                rows.push_back({std::string(w.name) + "_" + stepName + "_" + m.name, w, step,
                                m.what, f, fails});
            }
        }
    }
    return rows;
}

std::uint32_t ExchangeNumber(const Where& w) {
    switch (w.stage) {
        case Stage::Sync:
            return 1;
        case Stage::Get:
            return 2;
        case Stage::Write:
            return 2 + w.block;
        case Stage::Verify:
            return 234 + w.block;
        case Stage::Data:
            return 466 + w.block;
    }
    return 0;
}

class FaultMatrix : public testing::TestWithParam<Row> {
  protected:
    void SetUp() override {
        BuildFirmwareImage(*image);
        ASSERT_TRUE(server.ServeNewPty());
        directory.bridgePort = server.PortPath();
    }
    void TearDown() override {
        port->ClosePort();
        server.Stop();
    }

    std::unique_ptr<FirmwareImage> image = std::make_unique<FirmwareImage>();
    sim::BootloaderModel model;
    sim::TtyServer server{model, sim::Pacing::Fast};
    UpdaterState state;
    std::unique_ptr<SerialPort> port = MakeSerialPort();
    PollCountingLink link{*port};
    sim::SimPortDirectory directory;
    BootloaderProtocol protocol{link, *image, state};
    Connector connector{state, *port, directory, protocol};
    test::RecordingEvents events;
};

TEST_P(FaultMatrix, EndsAsTheAnswersDecide) {
    const Row& row = GetParam();
    const std::uint32_t n = ExchangeNumber(row.where);
    if (row.what == What::Unplug) {
        server.HangUpAtExchange(n);
    } else {
        model.AddFault(row.fault);
    }
    server.Start();

    connector.ConnectSequence();
    const bool connectFault = row.where.stage == Stage::Sync || row.where.stage == Stage::Get;
    if (connectFault && row.exchangeFails) {
        EXPECT_FALSE(state.DeviceReady);
        // A port that did not answer the sync is closed again; one that failed Get stays open.
        EXPECT_EQ(state.PortOpen, row.where.stage == Stage::Get);
    } else {
        ASSERT_TRUE(state.DeviceReady);
        state.UpdatePhase = Phase::Requested;
        const UpdateOutcome outcome = RunUpdate(state, protocol, *image, false, events);

        EXPECT_TRUE(state.PortOpen);
        EXPECT_TRUE(state.DeviceReady);
        const std::uint32_t k = row.where.block;
        auto& progress = events.progress;
        if (!row.exchangeFails || connectFault) {
            EXPECT_EQ(state.UpdatePhase, Phase::Succeeded);
            EXPECT_TRUE(outcome.Succeeded());
        } else {
            EXPECT_EQ(state.UpdatePhase, Phase::Idle);
            // A wrong byte in a read-back's data is a difference from the release.
            if (outcome.reason != UpdateFailure::ReadBackDiffers) {
                EXPECT_EQ(outcome.reason, UpdateFailure::Exchange);
                EXPECT_TRUE(outcome.step.Failed());
            } else {
                EXPECT_EQ(row.what, What::WrongByte);
            }
            // The protocol's record names what came back in place of the ACK.
            // A NACK in place of a read's 129-byte answer is a short answer.
            if (row.what == What::Nack) {
                EXPECT_TRUE(outcome.step.answer == ExchangeAnswer::Nack ||
                            outcome.step.answer == ExchangeAnswer::Short);
            }
            if (row.what == What::Silence) {
                EXPECT_EQ(outcome.step.answer, ExchangeAnswer::None);
            }
        }
        if (row.exchangeFails && row.where.stage == Stage::Write) {
            EXPECT_EQ(outcome.stage, UpdateStage::Write);
            EXPECT_EQ(outcome.block, kFlashStart + (k - 1) * kBlockSize);
            EXPECT_EQ(progress[UpdateStage::Write].size(), k - 1);
            EXPECT_TRUE(progress[UpdateStage::Verify].empty());
        } else if (row.exchangeFails && row.where.stage == Stage::Verify) {
            EXPECT_EQ(outcome.stage, UpdateStage::Verify);
            EXPECT_EQ(outcome.block, kFlashStart + (k - 1) * kBlockSize);
            EXPECT_EQ(progress[UpdateStage::Write].size(), 232u);
            EXPECT_EQ(progress[UpdateStage::Verify].size(), k - 1);
        } else if (row.exchangeFails && !connectFault) {
            EXPECT_EQ(outcome.stage, UpdateStage::Data);
            EXPECT_EQ(progress[UpdateStage::Verify].size(), 232u);
        }
    }
    // Nothing after the failing exchange reached the tracker.
    std::size_t seen = 0;
    server.WithModel([&](sim::BootloaderModel& m) { seen = m.Exchanges().size(); });
    const std::size_t all = 2 + 472;
    EXPECT_EQ(seen, row.exchangeFails ? n : all);
    EXPECT_EQ(link.WorstOverrun(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Rows, FaultMatrix, testing::ValuesIn(MatrixRows()),
                         [](const testing::TestParamInfo<Row>& p) { return p.param.name; });

}  // namespace
}  // namespace ostrel
