#include "sim/devsim/devsim_options.h"

#include <gtest/gtest.h>

namespace ostrel::sim {
namespace {

struct GoodFault {
    const char* text;
    FaultKind kind;
    Command command;
    Step step;
    std::optional<std::uint32_t> address;
    std::uint32_t occurrence;
    std::uint32_t polls;
    std::uint32_t count;
};
void PrintTo(const GoodFault& c, std::ostream* os) {
    *os << c.text;
}

class GoodFaultTest : public testing::TestWithParam<GoodFault> {};

TEST_P(GoodFaultTest, Parses) {
    const GoodFault& c = GetParam();
    std::string error;
    const std::optional<Fault> f = ParseFault(c.text, error);
    ASSERT_TRUE(f) << error;
    EXPECT_EQ(f->kind, c.kind);
    EXPECT_EQ(f->command, c.command);
    EXPECT_EQ(f->step, c.step);
    EXPECT_EQ(f->address, c.address);
    EXPECT_EQ(f->occurrence, c.occurrence);
    if (c.kind == FaultKind::Delay) {
        EXPECT_EQ(f->polls, c.polls);
    } else if (c.kind != FaultKind::Nack && c.kind != FaultKind::Silence) {
        EXPECT_EQ(f->count, c.count);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Specs, GoodFaultTest,
    testing::Values(GoodFault{"nack:read:address@0x9000", FaultKind::Nack, Command::ReadMemory,
                              Step::Address, 0x9000, 1, 0, 0},
                    GoodFault{"silence:write:data@8c80#2", FaultKind::Silence, Command::WriteMemory,
                              Step::Payload, 0x8C80, 2, 0, 0},
                    GoodFault{"delay=150:write:address", FaultKind::Delay, Command::WriteMemory,
                              Step::Address, std::nullopt, 1, 150, 0},
                    GoodFault{"wrong-byte=5:read:data@0x8C00", FaultKind::WrongReadByte,
                              Command::ReadMemory, Step::Payload, 0x8C00, 1, 0, 5},
                    GoodFault{"stray-after=2:sync:command#3", FaultKind::StrayAfter, Command::Sync,
                              Step::Command, std::nullopt, 3, 0, 2}));

TEST(ParseFault, RefusesWhatItCannotMeanWithAReason) {
    for (const char* text :
         {"", "nack", "nack:read", "nack:read:address:more", "boom:read:data", "nack=3:read:data",
          "delay:read:data", "delay=x:read:data", "nack:erase:data", "nack:read:length",
          "nack:get:address", "nack:write:command@0x8C00", "nack:read:data@0x10000",
          "nack:read:data@zz", "nack:read:data#0", "nack:read:data#"}) {
        std::string error;
        EXPECT_FALSE(ParseFault(text, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

TEST(ParseGetAnswer, VersionThenCodesInHex) {
    std::string error;
    const auto answer = ParseGetAnswer("10,00,11,21,31,43,ff,7a,80", error);
    ASSERT_TRUE(answer) << error;
    EXPECT_EQ(answer->version, 0x10);
    EXPECT_EQ(answer->codes,
              (std::vector<std::uint8_t>{0x00, 0x11, 0x21, 0x31, 0x43, 0xFF, 0x7A, 0x80}));
    EXPECT_TRUE(ParseGetAnswer("22", error)->codes.empty());
    for (const char* bad : {"", "10,", "100", "10,g1", "10,,11"}) {
        EXPECT_FALSE(ParseGetAnswer(bad, error)) << bad;
    }
}

TEST(ParseDevsimOptions, ReadsEveryOptionAndRefusesConflicts) {
    DevsimOptions o;
    std::string error;
    ASSERT_TRUE(
        ParseDevsimOptions({"--fast", "--dump", "m.bin", "--fault", "nack:sync:command", "--fault",
                            "silence:write:data", "--get", "11,00", "--link", "/tmp/x"},
                           o, error))
        << error;
    EXPECT_TRUE(o.fast);
    EXPECT_EQ(o.dumpFile, "m.bin");
    EXPECT_EQ(o.faults.size(), 2u);
    EXPECT_EQ(o.getAnswer->version, 0x11);
    EXPECT_EQ(o.link, "/tmp/x");

    DevsimOptions other;
    EXPECT_FALSE(ParseDevsimOptions({"--fault", "x"}, other, error));
    EXPECT_FALSE(ParseDevsimOptions({"--tty", "/dev/ttyS0", "--link", "/tmp/x"}, other, error));
}

}  // namespace
}  // namespace ostrel::sim
