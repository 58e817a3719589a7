#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "core/bootloader_protocol.h"
#include "sim/bootloader_model.h"
#include "sim/sim_link.h"

namespace ostrel {
namespace {

using sim::Command;
using sim::Fault;
using sim::FaultKind;
using sim::Step;
using Bytes = std::vector<std::uint8_t>;

// A simulated tracker on an open in-memory port. A failed exchange can leave a real bootloader
// mid-command, so cases that fail one build a fresh rig each.
struct Rig {
    explicit Rig(const FirmwareImage& image) : protocol(link, image, state) {
        EXPECT_TRUE(link.OpenPort("SIM1"));
    }
    void Sync() {
        ASSERT_TRUE(protocol.SyncBootloader());
        link.ClearWrites();
        model.ClearExchanges();
    }
    // Polls the exchange spent, measured on the link's virtual clock.
    template <typename F>
    std::uint64_t PollsOf(F&& exchange) {
        const std::uint64_t start = link.Now();
        exchange();
        return link.Now() - start;
    }

    sim::BootloaderModel model;
    sim::SimLink link{model};
    UpdaterState state;
    BootloaderProtocol protocol;
};

class ProtocolTest : public ::testing::Test {
  protected:
    void SetUp() override { BuildFirmwareImage(*image); }
    std::unique_ptr<Rig> Fresh() { return std::make_unique<Rig>(*image); }

    std::unique_ptr<FirmwareImage> image = std::make_unique<FirmwareImage>();
    std::unique_ptr<Rig> rig = Fresh();
    sim::BootloaderModel& model = rig->model;
    sim::SimLink& link = rig->link;
    UpdaterState& state = rig->state;
    BootloaderProtocol& protocol = rig->protocol;
    void Sync() { rig->Sync(); }
    template <typename F>
    std::uint64_t PollsOf(F&& exchange) {
        return rig->PollsOf(std::forward<F>(exchange));
    }
};

TEST_F(ProtocolTest, WireBytesOfEachExchange) {
    EXPECT_TRUE(protocol.SyncBootloader());
    EXPECT_TRUE(protocol.QueryBootloader());
    EXPECT_TRUE(protocol.ReadBlock(0x8C00));
    EXPECT_TRUE(protocol.WriteBlock(0x1380));

    Bytes data(image->begin() + 0x1380, image->begin() + 0x1400);
    std::uint8_t checksum = 0x7F;
    for (auto b : data) checksum ^= b;
    Bytes dataFrame{0x7F};
    dataFrame.insert(dataFrame.end(), data.begin(), data.end());
    dataFrame.push_back(checksum);

    const std::vector<Bytes> expected = {
        {0x7F},
        {0x00, 0xFF},
        {0x11, 0xEE},
        {0x00, 0x00, 0x8C, 0x00, 0x8C},
        {0x7F, 0x80},
        {0x31, 0xCE},
        {0x00, 0x00, 0x13, 0x80, 0x93},
        dataFrame,
    };
    EXPECT_EQ(link.Writes(), expected);
    // Every outgoing frame of a block exchange is composed before the first byte leaves.
    const ProtocolBuffer& tx = protocol.TransmitBuffer();
    EXPECT_EQ(tx[7], 0x7F);
    EXPECT_EQ(tx[136], checksum);
}

TEST_F(ProtocolTest, AddressFramesCarryTheXorChecksum) {
    Sync();
    for (std::uint32_t address : {0x8C00u, 0x1000u, 0x1380u}) {
        ASSERT_TRUE(protocol.ReadBlock(address));
    }
    const auto& w = link.Writes();
    EXPECT_EQ(w[1], (Bytes{0x00, 0x00, 0x8C, 0x00, 0x8C}));
    EXPECT_EQ(w[4], (Bytes{0x00, 0x00, 0x10, 0x00, 0x10}));
    EXPECT_EQ(w[7], (Bytes{0x00, 0x00, 0x13, 0x80, 0x93}));
}

TEST_F(ProtocolTest, DataChecksumStartsFromTheLengthByte) {
    Sync();
    std::fill(image->begin() + 0x8C00, image->begin() + 0x8C80, 0x5A);  // 128 equal bytes
    std::fill(image->begin() + 0x8C80, image->begin() + 0x8D00, 0x00);
    (*image)[0x8CFF] = 0x01;  // 127 zero bytes, then 0x01
    ASSERT_TRUE(protocol.WriteBlock(0x8C00));
    ASSERT_TRUE(protocol.WriteBlock(0x8C80));
    EXPECT_EQ(link.Writes()[2].back(), 0x7F);
    EXPECT_EQ(link.Writes()[5].back(), 0x7E);
    EXPECT_EQ(model.Memory()[0x8CFF], 0x01);
}

TEST_F(ProtocolTest, ReadBlockLeavesTheDataAtPositionsOneTo128) {
    Sync();
    ASSERT_TRUE(protocol.ReadBlock(0x8C80));
    const ProtocolBuffer& rx = protocol.ReceiveBuffer();
    EXPECT_EQ(rx[0], 0x79);
    EXPECT_TRUE(std::equal(rx.begin() + 1, rx.begin() + 129, model.Memory().begin() + 0x8C80));
    EXPECT_EQ(rx[129], 0);
}

TEST_F(ProtocolTest, SyncTakesOnlyTheAckAndLeavesTheRestForTheNextFlush) {
    model.AddFault({FaultKind::StrayAfter, Command::Sync, Step::Command, {}, 1, 0, 40});
    EXPECT_TRUE(protocol.SyncBootloader());
    EXPECT_EQ(link.PendingInputCount(), 40);
    EXPECT_TRUE(protocol.QueryBootloader());  // its flush discards the 40 bytes
}

TEST_F(ProtocolTest, SyncFailsOnNackOrSilence) {
    model.AddFault({FaultKind::Nack, Command::Sync, Step::Command});
    EXPECT_FALSE(protocol.SyncBootloader());
    model.AddFault({FaultKind::Silence, Command::Sync, Step::Command, {}});
    EXPECT_EQ(PollsOf([&] { EXPECT_FALSE(protocol.SyncBootloader()); }), 200u);
}

struct GetCase {
    const char* name;
    std::vector<std::uint8_t> codes;
    bool ok;
};

TEST_F(ProtocolTest, GetAcceptsAtMostSevenCommandCodes) {
    const GetCase cases[] = {
        {"none", {}, true},
        {"stm8", {0x00, 0x11, 0x21, 0x31, 0x43}, true},
        {"seven", {1, 2, 3, 4, 5, 6, 7}, true},
        {"eight", {1, 2, 3, 4, 5, 6, 7, 8}, false},
    };
    Sync();
    for (const GetCase& c : cases) {
        SCOPED_TRACE(c.name);
        model.SetGetAnswer(0x22, c.codes);
        state.BootloaderVersion = 0;
        EXPECT_EQ(protocol.QueryBootloader(), c.ok);
        EXPECT_EQ(state.SupportedCommandCount, c.codes.size());
        EXPECT_EQ(state.BootloaderVersion, c.ok ? 0x22 : 0);
        const auto& stored = protocol.SupportedCommands();
        for (std::size_t i = 0; i < stored.size(); ++i) {
            const std::uint8_t want = c.ok && i < c.codes.size() ? c.codes[i] : 0;
            EXPECT_EQ(stored[i], want) << i;
        }
    }
}

// Get's answer at the line's pace, one byte every `p` polls: the 7 bytes after the count must
// come within the last wait's 100 tries (7 x 14 = 98), and at 7 x 15 = 105 they are late.
TEST_F(ProtocolTest, GetWaitsOneHundredTriesForTheBytesAfterTheCount) {
    for (std::uint32_t pace : {14u, 15u}) {
        SCOPED_TRACE(pace);
        auto r = Fresh();
        r->Sync();
        r->link.SetPollsPerByte(pace);
        EXPECT_EQ(r->protocol.QueryBootloader(), pace == 14);
    }
}

TEST_F(ProtocolTest, BlockExchangesFlushWhatAnEarlierExchangeLeft) {
    model.AddFault({FaultKind::StrayAfter, Command::Sync, Step::Command, {}, 1, 0, 40});
    ASSERT_TRUE(protocol.SyncBootloader());
    EXPECT_TRUE(protocol.WriteBlock(0x8C00));
    model.AddFault({FaultKind::StrayAfter, Command::WriteMemory, Step::Payload, {}, 1, 0, 40});
    EXPECT_TRUE(protocol.WriteBlock(0x8C80));
    ASSERT_TRUE(protocol.ReadBlock(0x8C80));
    EXPECT_TRUE(std::equal(image->begin() + 0x8C80, image->begin() + 0x8D00,
                           protocol.ReceiveBuffer().begin() + 1));
}

// A link on which the n-th read fails although the wait before it saw the bytes arrive (a
// driver error, a device gone between the two calls): nothing is read. Or the n-th read
// delivers its first byte changed, the rest of the answer as sent.
class TamperedLink : public ByteLink {
  public:
    // kFailOverAck: the failed read leaves ACK bytes where the answer would go, as a buffer
    // from an earlier exchange might hold them.
    enum Tamper { kFailOverAck, kChangeFirstByte };
    TamperedLink(sim::SimLink& link, int read, Tamper tamper)
        : link_(link), tampered_(read), tamper_(tamper) {}
    void FlushInput() override { link_.FlushInput(); }
    std::int32_t PendingInputCount() override { return link_.PendingInputCount(); }
    bool WaitForInput(std::uint32_t tries, std::uint16_t count) override {
        return link_.WaitForInput(tries, count);
    }
    bool ReadExact(std::uint8_t* buffer, std::uint16_t count, std::uint32_t& got) override {
        if (++reads_ == tampered_ && tamper_ != kChangeFirstByte) {
            if (tamper_ == kFailOverAck) std::fill_n(buffer, count, 0x79);
            got = 0;
            return false;
        }
        const bool complete = link_.ReadExact(buffer, count, got);
        if (reads_ == tampered_ && got > 0) buffer[0] ^= 0xFF;
        return complete;
    }
    bool WriteAll(const std::uint8_t* buffer, std::uint16_t count) override {
        return link_.WriteAll(buffer, count);
    }

  protected:
    bool AwaitOneTry(std::uint16_t count) override { return link_.WaitForInput(1, count); }

  private:
    sim::SimLink& link_;
    int tampered_;
    Tamper tamper_;
    int reads_ = 0;
};

TEST_F(ProtocolTest, AReadThatComesUpShortAfterItsWaitFailsTheExchangeAsShort) {
    // Whatever the buffer holds: every read of sync, Get, a write and a read of a block.
    struct Case {
        const char* exchange;
        int reads;
    };
    for (const Case c : {Case{"sync", 1}, Case{"get", 3}, Case{"write", 3}, Case{"read", 3}}) {
        for (int failing = 1; failing <= c.reads; ++failing) {
            SCOPED_TRACE(testing::Message() << c.exchange << " read " << failing);
            auto r = Fresh();
            const std::string name = c.exchange;
            if (name != "sync") r->Sync();
            TamperedLink failingLink(r->link, failing, TamperedLink::kFailOverAck);
            BootloaderProtocol p(failingLink, *image, r->state);
            const bool passed = name == "sync"    ? p.SyncBootloader()
                                : name == "get"   ? p.QueryBootloader()
                                : name == "write" ? p.WriteBlock(0x8C00)
                                                  : p.ReadBlock(0x8C00);
            EXPECT_FALSE(passed);
            EXPECT_EQ(p.LastExchange().answer, ExchangeAnswer::Short);
            EXPECT_EQ(p.LastExchange().received, 0u);
        }
    }
}

TEST_F(ProtocolTest, GetWhoseFirstByteIsNotAckFails) {
    Sync();
    TamperedLink changed(link, 1, TamperedLink::kChangeFirstByte);
    BootloaderProtocol p(changed, *image, state);
    EXPECT_FALSE(p.QueryBootloader());
}

TEST_F(ProtocolTest, GetWithCountEightFailsWithoutWaitingForMore) {
    Sync();
    model.SetGetAnswer(0x10, {1, 2, 3, 4, 5, 6, 7, 8});
    link.SetPollsPerByte(1);  // bytes trickle in, so a wait for the rest would cost polls
    const auto polls = PollsOf([&] { EXPECT_FALSE(protocol.QueryBootloader()); });
    EXPECT_LE(polls, 2u);
}

TEST_F(ProtocolTest, GetWhoseLastByteIsNotAckFailsAndClearsTheCodes) {
    Sync();
    ASSERT_TRUE(protocol.QueryBootloader());
    state.BootloaderVersion = 0x33;
    // The final byte of the 9-byte answer arrives inverted.
    model.AddFault({FaultKind::WrongReadByte, Command::Get, Step::Command, {}, 1, 0, 7});
    EXPECT_FALSE(protocol.QueryBootloader());
    EXPECT_EQ(state.BootloaderVersion, 0x33);
    for (auto code : protocol.SupportedCommands()) EXPECT_EQ(code, 0);
}

// Only 0x79 at an acknowledge position counts; everything else ends the exchange.
TEST_F(ProtocolTest, OnlyAckCountsAtEveryAckPosition) {
    struct Case {
        Command command;
        Step step;
        FaultKind kind;
    };
    const Case cases[] = {
        {Command::ReadMemory, Step::Command, FaultKind::Nack},
        {Command::ReadMemory, Step::Address, FaultKind::Nack},
        {Command::ReadMemory, Step::Payload, FaultKind::Nack},
        {Command::ReadMemory, Step::Payload, FaultKind::StrayBefore},
        {Command::WriteMemory, Step::Command, FaultKind::StrayBefore},
        {Command::WriteMemory, Step::Address, FaultKind::Nack},
        {Command::WriteMemory, Step::Payload, FaultKind::Nack},
        {Command::WriteMemory, Step::Command, FaultKind::StrayAfter},  // stray byte read as ACK #2
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(&c - cases));
        auto r = Fresh();
        r->Sync();
        r->model.AddFault({c.kind, c.command, c.step});
        const bool ok = c.command == Command::ReadMemory ? r->protocol.ReadBlock(0x8C00)
                                                         : r->protocol.WriteBlock(0x8C00);
        EXPECT_FALSE(ok);
    }
}

// Each wait's budget: an answer after exactly `tries` polls is in time, one poll later is not.
TEST_F(ProtocolTest, WaitBudgetsOfEachStep) {
    struct Case {
        Command command;
        Step step;
        std::uint32_t budget;
    };
    const Case cases[] = {
        {Command::Sync, Step::Command, 200},        {Command::Get, Step::Command, 200},
        {Command::ReadMemory, Step::Command, 200},  {Command::ReadMemory, Step::Address, 200},
        {Command::ReadMemory, Step::Payload, 500},  {Command::WriteMemory, Step::Command, 200},
        {Command::WriteMemory, Step::Address, 100}, {Command::WriteMemory, Step::Payload, 500},
    };
    auto run = [](BootloaderProtocol& p, Command c) {
        switch (c) {
            case Command::Sync:
                return p.SyncBootloader();
            case Command::Get:
                return p.QueryBootloader();
            case Command::ReadMemory:
                return p.ReadBlock(0x8C00);
            default:
                return p.WriteBlock(0x8C00);
        }
    };
    for (const Case& c : cases) {
        for (std::uint32_t delay : {c.budget, c.budget + 1}) {
            SCOPED_TRACE(testing::Message() << static_cast<int>(c.command) << "/"
                                            << static_cast<int>(c.step) << " delay " << delay);
            auto r = Fresh();
            r->Sync();
            r->model.AddFault({FaultKind::Delay, c.command, c.step, {}, 1, delay});
            EXPECT_EQ(run(r->protocol, c.command), delay == c.budget);
        }
    }
}

TEST_F(ProtocolTest, AddressAckAfter150PollsFailsAWriteButSatisfiesARead) {
    auto writer = Fresh();
    writer->Sync();
    writer->model.AddFault({FaultKind::Delay, Command::WriteMemory, Step::Address, {}, 1, 150});
    EXPECT_FALSE(writer->protocol.WriteBlock(0x8C00));
    auto reader = Fresh();
    reader->Sync();
    reader->model.AddFault({FaultKind::Delay, Command::ReadMemory, Step::Address, {}, 1, 150});
    EXPECT_TRUE(reader->protocol.ReadBlock(0x8C00));
}

TEST_F(ProtocolTest, ReadAnsweredWithOnly100DataBytesFails) {
    Sync();
    model.AddFault({FaultKind::Truncate, Command::ReadMemory, Step::Payload, {}, 1, 0, 101});
    // The two ACKs are waiting when their waits begin and cost no try; then the whole budget.
    EXPECT_EQ(PollsOf([&] { EXPECT_FALSE(protocol.ReadBlock(0x8C00)); }), 500u);
}

TEST_F(ProtocolTest, DeadTransmitLineFailsEveryExchangeAfterItsFirstWait) {
    Sync();
    link.SetWritesFail(true);
    EXPECT_EQ(PollsOf([&] { EXPECT_FALSE(protocol.SyncBootloader()); }), 200u);
    EXPECT_EQ(PollsOf([&] { EXPECT_FALSE(protocol.QueryBootloader()); }), 200u);
    EXPECT_EQ(PollsOf([&] { EXPECT_FALSE(protocol.ReadBlock(0x8C00)); }), 200u);
    EXPECT_EQ(PollsOf([&] { EXPECT_FALSE(protocol.WriteBlock(0x8C00)); }), 200u);
}

TEST_F(ProtocolTest, ABlockPastTheImageIsNeverSent) {
    Sync();
    EXPECT_FALSE(protocol.WriteBlock(0xFF81));
    EXPECT_TRUE(link.Writes().empty());
}

}  // namespace
}  // namespace ostrel
