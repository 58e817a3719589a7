#include "sim/bootloader_model.h"

#include <gtest/gtest.h>

#include <vector>

namespace ostrel::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Everything the model answers to `bytes`, joined.
Bytes Answer(BootloaderModel& model, const Bytes& bytes) {
    Bytes out;
    for (const Reply& r : model.Receive(bytes))
        out.insert(out.end(), r.bytes.begin(), r.bytes.end());
    return out;
}

Bytes AddressFrame(std::uint32_t a) {
    Bytes f{std::uint8_t(a >> 24), std::uint8_t(a >> 16), std::uint8_t(a >> 8), std::uint8_t(a)};
    f.push_back(f[0] ^ f[1] ^ f[2] ^ f[3]);
    return f;
}

Bytes DataFrame(const Bytes& data) {
    Bytes f{std::uint8_t(data.size() - 1)};
    f.insert(f.end(), data.begin(), data.end());
    std::uint8_t x = 0;
    for (auto b : f) x ^= b;
    f.push_back(x);
    return f;
}

struct SyncedModel : ::testing::Test {
    void SetUp() override { ASSERT_EQ(Answer(model, {0x7F}), Bytes{kAck}); }
    BootloaderModel model;
};

TEST(BootloaderModel, IgnoresTheLineUntilSynchronised) {
    BootloaderModel model;
    EXPECT_TRUE(Answer(model, {0x00, 0xFF}).empty());
    EXPECT_EQ(Answer(model, {0x7F}), Bytes{kAck});
    EXPECT_EQ(Answer(model, {0x00, 0xFF}),
              (Bytes{kAck, 5, 0x10, 0x00, 0x11, 0x21, 0x31, 0x43, kAck}));
}

TEST_F(SyncedModel, ARestartWaitsForASyncAgainAndKeepsTheMemory) {
    EXPECT_EQ(Answer(model, {0x31, 0xCE}), Bytes{kAck});
    EXPECT_EQ(Answer(model, AddressFrame(0x9000)), Bytes{kAck});
    const std::uint8_t before = model.Memory()[0x9000];
    model.Restart();  // mid-exchange: the data frame never comes
    EXPECT_TRUE(Answer(model, {0x00, 0xFF}).empty());
    EXPECT_EQ(Answer(model, {0x7F}), Bytes{kAck});  // a first sync, not a second one
    EXPECT_EQ(Answer(model, {0x00, 0xFF}).front(), kAck);
    EXPECT_EQ(model.Memory()[0x9000], before);
}

TEST(BootloaderModel, NewDeviceHoldsOldFirmwareAndOwnersSettings) {
    BootloaderModel model;
    EXPECT_EQ(model.Memory()[0x8C00], BootloaderModel::OldFirmwareByte(0x8C00));
    EXPECT_EQ(model.Memory()[0x1000], BootloaderModel::OwnerSettingsByte(0x1000));
    EXPECT_EQ(model.Memory()[0x1100], BootloaderModel::OldFirmwareByte(0x1100));
    EXPECT_EQ(model.Memory()[0x2000], 0);  // no memory there
}

TEST_F(SyncedModel, WritesThenReadsBackABlock) {
    Bytes data(128);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = std::uint8_t(i * 3 + 1);
    EXPECT_EQ(Answer(model, {0x31, 0xCE}), Bytes{kAck});
    EXPECT_EQ(Answer(model, AddressFrame(0x1380)), Bytes{kAck});
    const auto replies = model.Receive(DataFrame(data));
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].bytes, Bytes{kAck});
    EXPECT_TRUE(replies[0].afterMemoryWrite);

    EXPECT_EQ(Answer(model, {0x11, 0xEE}), Bytes{kAck});
    EXPECT_EQ(Answer(model, AddressFrame(0x1380)), Bytes{kAck});
    Bytes expected{kAck};
    expected.insert(expected.end(), data.begin(), data.end());
    EXPECT_EQ(Answer(model, {0x7F, 0x80}), expected);
    EXPECT_EQ(model.BlocksWritten(), 1u);
}

// Whatever is malformed is refused with NACK and the command is dropped; the next one works.
TEST_F(SyncedModel, RefusesMalformedFrames) {
    Bytes goodData(128, 0x42);
    Bytes badChecksum = DataFrame(goodData);
    badChecksum.back() ^= 1;
    Bytes badAddress = AddressFrame(0x8C00);
    badAddress.back() ^= 1;
    struct Case {
        const char* name;
        std::vector<Bytes> frames;  // the last one is refused
    };
    const Case cases[] = {
        {"wrong complement", {{0x31, 0xCD}}},
        {"unknown command", {{0x44, 0xBB}}},
        {"address checksum", {{0x31, 0xCE}, badAddress}},
        {"no memory there", {{0x11, 0xEE}, AddressFrame(0x2000)}},
        {"data checksum", {{0x31, 0xCE}, AddressFrame(0x8C00), badChecksum}},
        {"read past eeprom", {{0x11, 0xEE}, AddressFrame(0x13C0), {0x7F, 0x80}}},
        {"read length complement", {{0x11, 0xEE}, AddressFrame(0x8C00), {0x7F, 0x81}}},
        {"read longer than 128", {{0x11, 0xEE}, AddressFrame(0x8C00), {0x80, 0x7F}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (std::size_t i = 0; i + 1 < c.frames.size(); ++i) {
            ASSERT_EQ(Answer(model, c.frames[i]), Bytes{kAck});
        }
        EXPECT_EQ(Answer(model, c.frames.back()), Bytes{kNack});
        EXPECT_EQ(Answer(model, {0x00, 0xFF}).front(), kAck);  // back at the command prompt
    }
    EXPECT_EQ(model.BlocksWritten(), 0u);
    EXPECT_EQ(model.Memory()[0x8C00], BootloaderModel::OldFirmwareByte(0x8C00));
}

TEST_F(SyncedModel, FaultsHitTheChosenExchangeAndStepOnly) {
    model.AddFault({FaultKind::Nack, Command::WriteMemory, Step::Address, 0x8C80});
    EXPECT_EQ(Answer(model, {0x31, 0xCE}), Bytes{kAck});
    EXPECT_EQ(Answer(model, AddressFrame(0x8C00)), Bytes{kAck});  // another block
    EXPECT_EQ(Answer(model, DataFrame(Bytes(128, 1))), Bytes{kAck});
    EXPECT_EQ(Answer(model, {0x31, 0xCE}), Bytes{kAck});
    EXPECT_EQ(Answer(model, AddressFrame(0x8C80)), Bytes{kNack});
    // Fired once: the same block is accepted on the next try.
    EXPECT_EQ(Answer(model, {0x31, 0xCE}), Bytes{kAck});
    EXPECT_EQ(Answer(model, AddressFrame(0x8C80)), Bytes{kAck});
}

TEST_F(SyncedModel, FloodPrecedesTheNextAnswer) {
    model.QueueFlood(5000);
    const Bytes answer = Answer(model, {0x7F});
    ASSERT_EQ(answer.size(), 5001u);
    EXPECT_EQ(answer.back(), kAck);
}

}  // namespace
}  // namespace ostrel::sim
