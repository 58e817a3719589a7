// ostrel-flash --all on a bench of four simulated adapters, identical but for their sockets,
// each with a tracker behind it. Runs under umockdev's preload; the program inherits the
// testbed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "sim/bridge/simulated_bridge.h"
#include "tests/support/child_process.h"
#include "tests/support/files.h"
#include "tests/support/tracker.h"

namespace ostrel {
namespace {

constexpr int kBays = 4;

class Bench : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(testbed.Ok()) << testbed.Error();
        // The bridges see the line settings the program asks for, as ostrel-bridgesim arranges.
        test::AddPreload(OSTREL_TERMIOS_PRELOAD);
        for (int k = 1; k <= kBays; ++k) {
            bridges.push_back(std::make_unique<sim::SimulatedBridge>(
                testbed, sim::Pacing::Fast, sim::UsbSerialAdapter::Cp2102InSocket(k)));
            LoadOldFirmware(k);
        }
    }
    void TearDown() override {
        // What the program said last, for the failure's cause (a sanitizer's report among it).
        if (HasFailure()) std::cerr << test::FileText(dir.Path("err.txt"));
        bridges.clear();
    }

    // Runs ostrel-flash to its end; its exit code, stdout in `out`.
    int Flash(const std::vector<std::string>& args) {
        test::ChildProcess flash(OSTREL_FLASH, args, dir.Path("out.txt"), dir.Path("err.txt"));
        const int code = flash.Wait();
        out = test::FileText(dir.Path("out.txt"));
        return code;
    }
    void LoadOldFirmware(int bay) {
        bridges[bay - 1]->WithModel([](sim::BootloaderModel& m) { test::LoadOldFirmware(m); });
    }
    bool HoldsRelease(int bay) { return HoldsRelease(*bridges[bay - 1]); }
    static bool HoldsRelease(sim::SimulatedBridge& bridge) {
        bool holds = false;
        bridge.WithModel([&](sim::BootloaderModel& m) { holds = test::HoldsRelease(m.Memory()); });
        return holds;
    }
    // Adapters in the sockets `first` to `last`, at the real line's pace, not plugged in.
    std::vector<std::unique_ptr<sim::SimulatedBridge>> Paced(int first, int last) {
        std::vector<std::unique_ptr<sim::SimulatedBridge>> paced;
        for (int socket = first; socket <= last; ++socket) {
            paced.push_back(std::make_unique<sim::SimulatedBridge>(
                testbed, sim::Pacing::RealLine, sim::UsbSerialAdapter::Cp2102InSocket(socket)));
        }
        return paced;
    }
    // The line of `out` that holds bay 1-`bay`'s result; "" when there is none.
    std::string ResultOf(int bay) const {
        const std::size_t at = out.find(" bay=1-" + std::to_string(bay) + " ");
        if (at == std::string::npos) return "";
        const std::size_t start = out.rfind('\n', at) + 1;
        return out.substr(start, out.find('\n', at) - start);
    }

    sim::BridgeTestbed testbed;
    std::vector<std::unique_ptr<sim::SimulatedBridge>> bridges;
    test::ScratchFolder dir{"ostrel-bays-test"};
    std::string out;
};

// What befalls the tracker in bay 3 while the four are updated at once.
enum class Upset { None, Nack, PulledOut };
void PrintTo(Upset upset, std::ostream* os) {
    *os << (upset == Upset::None ? "none" : upset == Upset::Nack ? "nack" : "pulled-out");
}
class BenchAll : public Bench, public ::testing::WithParamInterface<Upset> {};

TEST_P(BenchAll, UpdatesEveryBayAndAFaultFailsItsBayAlone) {
    for (auto& bridge : bridges) ASSERT_TRUE(bridge->Plug()) << bridge->Error();
    if (GetParam() == Upset::Nack) {
        bridges[2]->WithModel([](sim::BootloaderModel& m) {
            m.AddFault(
                {sim::FaultKind::Nack, sim::Command::WriteMemory, sim::Step::Address, 0x9000});
        });
    } else if (GetParam() == Upset::PulledOut) {
        bridges[2]->Line()->HangUpAtExchange(40);  // in the midst of writing
    }
    const int code = Flash({"--all"});
    for (int bay = 1; bay <= kBays; ++bay) {
        const bool upset = bay == 3 && GetParam() != Upset::None;
        const std::string result = (upset ? "result=failed stage=write " : "result=ok ");
        EXPECT_TRUE(ResultOf(bay).starts_with(result)) << out;
        EXPECT_NE(ResultOf(bay).find(" port=/dev/ttyUSB" + std::to_string(bay - 1) + " bay="),
                  std::string::npos)
            << out;
        EXPECT_EQ(HoldsRelease(bay), !upset) << bay;
        // Each stage's progress reaches the bay's own line.
        const std::string lines =
            "bay 1-" + std::to_string(bay) + ": /dev/ttyUSB" + std::to_string(bay - 1);
        EXPECT_NE(out.find(lines + " write 0%\n"), std::string::npos) << out;
        EXPECT_EQ(out.find(lines + " data 100%\n") != std::string::npos, !upset) << out;
    }
    if (GetParam() == Upset::None) {
        EXPECT_TRUE(out.ends_with("\nsummary updated=4 failed=0\n")) << out;
        EXPECT_EQ(code, 0);
    } else {
        EXPECT_TRUE(out.ends_with("\nsummary updated=3 failed=1\n")) << out;
        EXPECT_EQ(code, 1);
    }
}

INSTANTIATE_TEST_SUITE_P(InBay3, BenchAll,
                         ::testing::Values(Upset::None, Upset::Nack, Upset::PulledOut));

// The station: adapters plugged into and pulled out of the bays in an interleaved order, one
// bay re-plugged with a new tracker, one tracker that fails, one left in its bay; then Ctrl-C
// with no tracker in hand. Each bay keeps one trace, its owner's only, as a single run's.
TEST_F(Bench, StationUpdatesEachPlugInOfEveryBayUntilCtrlC) {
    // A trace left from before, readable by all, is kept and written on, by its owner only.
    std::ofstream(dir.Path("support-1-4.txt")) << "ostrel-flash trace: an earlier station's\n";
    chmod(dir.Path("support-1-4.txt").c_str(), 0644);
    // Bay 3's adapter is in before the station starts, its tracker refusing a block.
    ASSERT_TRUE(bridges[2]->Plug());
    bridges[2]->WithModel([](sim::BootloaderModel& m) {
        m.AddFault({sim::FaultKind::Nack, sim::Command::WriteMemory, sim::Step::Address, 0x9000});
    });
    test::ChildProcess flash(OSTREL_FLASH,
                             {"--repeat", "--all", "--trace", dir.Path("support.txt")}, "",
                             dir.Path("err.txt"), dir.Dir());
    ASSERT_TRUE(flash.Started());
    ASSERT_TRUE(flash.StdoutLine().starts_with("Plug the adapters")) << "not watching";
    std::vector<std::string> unclaimed;  // result lines read, not yet awaited
    int results = 0;
    // The next result line of `bay`, which must begin with `start`.
    auto expectResult = [&](int bay, const std::string& start) {
        const std::string tag = " bay=1-" + std::to_string(bay) + " ";
        for (;;) {
            const auto it = std::find_if(unclaimed.begin(), unclaimed.end(), [&](auto& line) {
                return line.find(tag) != std::string::npos;
            });
            if (it != unclaimed.end()) {
                EXPECT_TRUE(it->starts_with(start)) << *it;
                unclaimed.erase(it);
                return;
            }
            const std::string line = flash.StdoutLine();
            if (line.empty()) return ADD_FAILURE() << "no result for bay " << bay;
            if (line.starts_with("result=")) ++results, unclaimed.push_back(line);
        }
    };
    for (int bay : {4, 2}) ASSERT_TRUE(bridges[bay - 1]->Plug());
    expectResult(3, "result=failed stage=write ");
    bridges[2]->Unplug();
    expectResult(2, "result=ok port=/dev/ttyUSB1 ");
    bridges[1]->Unplug();
    // Bay 2 gets a new tracker; bay 1 its first, while bay 4 still holds its updated one.
    LoadOldFirmware(2);
    ASSERT_TRUE(bridges[1]->Plug());
    ASSERT_TRUE(bridges[0]->Plug());
    expectResult(1, "result=ok port=/dev/ttyUSB0 ");
    expectResult(2, "result=ok port=/dev/ttyUSB1 ");
    expectResult(4, "result=ok port=/dev/ttyUSB3 ");
    for (int bay = 1; bay <= kBays; ++bay) EXPECT_EQ(HoldsRelease(bay), bay != 3) << bay;
    flash.Signal(SIGINT);
    out = flash.StdoutRest();
    // Every result line in the order they came, then only the summary: no bay ran twice.
    EXPECT_TRUE(out.ends_with("summary updated=4 failed=1\n")) << out;
    EXPECT_EQ(out.find("result="), std::string::npos) << out;
    EXPECT_EQ(results, 5);
    EXPECT_EQ(flash.Wait(), 1);
    const std::string err = test::FileText(dir.Path("err.txt"));
    EXPECT_NE(err.find("ostrel-flash: stopped while waiting for adapters to be pulled out or "
                       "plugged in: no tracker was in hand\n"),
              std::string::npos)
        << err;
    for (int bay = 1; bay <= kBays; ++bay) {
        const std::string trace = dir.Path("support-1-" + std::to_string(bay) + ".txt");
        struct stat status {};
        ASSERT_EQ(stat(trace.c_str(), &status), 0) << trace;
        EXPECT_EQ(status.st_mode & 0777, 0600u) << trace;
    }
    // The station's journal, by default in its working folder: a line for each tracker.
    const std::string journal = test::FileText(dir.Path("ostrel-journal.csv"));
    EXPECT_TRUE(journal.starts_with("time_utc,")) << journal;
    EXPECT_EQ(std::count(journal.begin(), journal.end(), '\n'), 1 + 5) << journal;
    // Bay 2 updated two trackers, each from its sync on; bay 4's earlier lines stay.
    const std::string second = test::FileText(dir.Path("support-1-2.txt"));
    EXPECT_NE(second.find(" sync ("), second.rfind(" sync (")) << second;
    EXPECT_TRUE(test::FileText(dir.Path("support-1-4.txt"))
                    .starts_with("ostrel-flash trace: an earlier station's\n"));
}

// Ctrl-C while three trackers are being written, at the line's own pace: each stops at the end
// of an exchange, so the next run finds every bootloader ready and updates all three.
TEST_F(Bench, CtrlCEndsEveryBayAtAnExchangeAndTheNextRunUpdatesAll) {
    const auto paced = Paced(5, 7);
    for (auto& bridge : paced) ASSERT_TRUE(bridge->Plug()) << bridge->Error();
    {
        test::ChildProcess flash(OSTREL_FLASH, {"--all", "--baud", "115200"}, dir.Path("out.txt"),
                                 dir.Path("err.txt"));
        // Twenty blocks written in every bay, then the stop.
        for (auto& bridge : paced) {
            bridge->Line()->WaitUntil(
                [](const sim::LineStats& line) { return line.fromHost >= 20 * (5 + 5 + 130); });
        }
        flash.Signal(SIGINT);
        EXPECT_EQ(flash.Wait(), 4);
    }
    out = test::FileText(dir.Path("out.txt"));
    for (int socket = 5; socket <= 7; ++socket) {
        EXPECT_TRUE(ResultOf(socket).starts_with("result=interrupted stage=write ")) << out;
    }
    EXPECT_TRUE(out.ends_with("\nsummary updated=0 failed=3\n")) << out;

    EXPECT_EQ(Flash({"--all", "--baud", "115200"}), 0) << out;
    EXPECT_TRUE(out.ends_with("\nsummary updated=3 failed=0\n")) << out;
}

// A quick pull-out and re-plug during an update: the bay's session fails on the hang-up, and
// the bay, looking again at once, updates the tracker plugged back in.
TEST_F(Bench, StationTakesAnAdapterPluggedBackInDuringItsUpdate) {
    sim::SimulatedBridge& bridge = *bridges[0];
    test::ChildProcess flash(OSTREL_FLASH, {"--repeat", "--all"}, "", dir.Path("err.txt"),
                             dir.Dir());
    ASSERT_TRUE(flash.StdoutLine().starts_with("Plug the adapters")) << "not watching";
    ASSERT_TRUE(bridge.Plug()) << bridge.Error();
    bridge.Line()->WaitUntil(
        [](const sim::LineStats& line) { return line.fromHost >= 10 * (5 + 5 + 130); });
    bridge.Unplug();
    // The tracker is powered through the adapter's cable: back in, its bootloader starts anew
    // with what its memory holds.
    bridge.WithModel([](sim::BootloaderModel& m) {
        const auto memory = m.Memory();
        m = sim::BootloaderModel();
        m.Memory() = memory;
    });
    ASSERT_TRUE(bridge.Plug()) << bridge.Error();
    EXPECT_TRUE(flash.AwaitLine("result=").starts_with("result=failed stage=write "));
    EXPECT_TRUE(flash.AwaitLine("result=").starts_with("result=ok port=/dev/ttyUSB0 bay=1-1 "));
    flash.Signal(SIGINT);
    EXPECT_EQ(flash.StdoutRest(), "summary updated=1 failed=1\n");
    EXPECT_EQ(flash.Wait(), 1);
}

// Ctrl-C on the station while two trackers are being written, at the line's own pace. Once:
// no new tracker is taken and each in hand finishes its update. Twice: each stops at its next
// exchange. Either way each bay's result line, then the summary, and the words say which.
class StationStop : public Bench, public ::testing::WithParamInterface<int> {};

TEST_P(StationStop, OnceFinishesTheTrackersInHandTwiceStopsThemAtTheNextExchange) {
    const int presses = GetParam();
    const auto paced = Paced(5, 6);
    test::ChildProcess flash(OSTREL_FLASH, {"--repeat", "--all", "--baud", "115200"}, "",
                             dir.Path("err.txt"), dir.Dir());
    ASSERT_TRUE(flash.StdoutLine().starts_with("Plug the adapters")) << "not watching";
    for (auto& bridge : paced) ASSERT_TRUE(bridge->Plug()) << bridge->Error();
    constexpr std::size_t kBlock = 5 + 5 + 130;  // command, address and data frames
    for (std::size_t blocks : {10, 20}) {
        for (auto& bridge : paced) {
            bridge->Line()->WaitUntil(
                [&](const sim::LineStats& line) { return line.fromHost >= blocks * kBlock; });
        }
        // The first press is taken by the time ten more blocks have gone.
        if (blocks == 10 || presses == 2) flash.Signal(SIGINT);
        if (presses == 1) break;
    }
    out = flash.StdoutRest();
    const std::string err = test::FileText(dir.Path("err.txt"));
    for (int socket = 5; socket <= 6; ++socket) {
        EXPECT_TRUE(
            ResultOf(socket).starts_with(presses == 1 ? "result=ok " : "result=interrupted stage="))
            << out;
    }
    EXPECT_NE(err.find("ostrel-flash: stopping: no new tracker is taken; 2 trackers in hand "
                       "finish their update (Ctrl-C again stops them at the next exchange)\n"),
              std::string::npos)
        << err;
    EXPECT_EQ(err.find("stopping 2 trackers in hand at the next exchange") != std::string::npos,
              presses == 2)
        << err;
    EXPECT_EQ(err.find("no tracker was in hand"), std::string::npos) << err;
    if (presses == 1) {
        EXPECT_TRUE(out.ends_with("\nsummary updated=2 failed=0\n")) << out;
        EXPECT_EQ(flash.Wait(), 0);
    } else {
        EXPECT_TRUE(out.ends_with("\nsummary updated=0 failed=2\n")) << out;
        EXPECT_EQ(flash.Wait(), 4);
    }
}

INSTANTIATE_TEST_SUITE_P(Presses, StationStop, ::testing::Values(1, 2));

// Two stations on one bench: a tracker is updated by the station that holds its port; the
// other, started while the first is writing, leaves every bay alone while it is held and
// reports no failure. (umockdev delivers device notices to one listening process only, so the
// second station finds the adapters by its first look.)
TEST_F(Bench, TwoStationsShareTheBaysWithoutFighting) {
    const auto paced = Paced(5, 7);
    test::ChildProcess first(OSTREL_FLASH, {"--repeat", "--all", "--baud", "115200"}, "", "",
                             dir.Dir());
    ASSERT_TRUE(first.StdoutLine().starts_with("Plug the adapters")) << "not watching";
    for (auto& bridge : paced) ASSERT_TRUE(bridge->Plug()) << bridge->Error();
    for (auto& bridge : paced) {
        bridge->Line()->WaitUntil([](const sim::LineStats& line) { return line.fromHost > 0; });
    }
    // The second station says once of each bay that the other holds it, and, stopped while
    // the first still writes, has touched none.
    test::ChildProcess second(OSTREL_FLASH, {"--repeat", "--all", "--baud", "115200"}, "", "",
                              dir.Dir());
    std::string asides;
    for (int held = 0; held < 3;) {
        const std::string line = second.StdoutLine();
        ASSERT_FALSE(line.empty()) << asides;
        ASSERT_FALSE(line.starts_with("result=")) << line;
        if (line.ends_with(" taken by another program")) asides += line + "\n", ++held;
    }
    second.Signal(SIGINT);
    EXPECT_EQ(second.StdoutRest(), "summary updated=0 failed=0\n");
    EXPECT_EQ(second.Wait(), 0);
    std::string results;
    for (int ended = 0; ended < 3; ++ended) results += first.AwaitLine("result=") + "\n";
    for (int socket = 5; socket <= 7; ++socket) {
        const std::string bay = "1-" + std::to_string(socket);
        const std::string port = "/dev/ttyUSB" + std::to_string(socket - 1);
        EXPECT_NE(results.find("result=ok port=" + port + " bay=" + bay + " "), std::string::npos)
            << results;
        EXPECT_NE(asides.find("bay " + bay + ": " + port + " taken by another program\n"),
                  std::string::npos)
            << asides;
    }
    first.Signal(SIGINT);
    EXPECT_EQ(first.StdoutRest(), "summary updated=3 failed=0\n");
    EXPECT_EQ(first.Wait(), 0);
}

// A check of the bench: a tracker that holds another release is counted apart from a failure,
// and the bench ends as one port would (5: none failed, one differs).
TEST_F(Bench, VerifyOnlyCountsTheTrackersThatDifferApart) {
    for (int bay : {1, 2}) ASSERT_TRUE(bridges[bay - 1]->Plug()) << bridges[bay - 1]->Error();
    EXPECT_EQ(Flash({"--all"}), 0) << out;
    LoadOldFirmware(2);
    EXPECT_EQ(Flash({"--all", "--verify-only"}), 5) << out;
    EXPECT_NE(out.find("result=differs "), std::string::npos) << out;
    EXPECT_TRUE(out.ends_with("\nsummary verified=1 differs=1 failed=0\n")) << out;
}

// The journal: one line per tracker, appended run after run under one header, each with its
// bay, port and the adapter's serial number.
TEST_F(Bench, JournalRecordsEveryTrackerOfEveryRun) {
    for (int bay : {1, 3}) ASSERT_TRUE(bridges[bay - 1]->Plug()) << bridges[bay - 1]->Error();
    const std::string journal = dir.Path("journal.csv");
    EXPECT_EQ(Flash({"--all", "--journal", journal}), 0) << out;
    EXPECT_EQ(Flash({"--all", "--verify-only", "--journal", journal}), 0) << out;
    const std::string text = test::FileText(journal);
    EXPECT_TRUE(text.starts_with("time_utc,bay,port,adapter_serial,mode,")) << text;
    EXPECT_EQ(text.find("time_utc", 1), std::string::npos) << text;
    for (const char* line : {",1-1,/dev/ttyUSB0,0001,update,", ",1-3,/dev/ttyUSB2,0001,update,",
                             ",1-1,/dev/ttyUSB0,0001,verify,", ",1-3,/dev/ttyUSB2,0001,verify,"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    }
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5) << text;
}

// A journal that can take no more mid-run, its file allowed to grow by half a line (as a full
// disk takes part of one) or not at all: the station takes no new tracker, the tracker in hand
// finishes its update, and the journal keeps whole lines only, for whoever appends to it next.
class StationJournal : public Bench, public ::testing::WithParamInterface<bool> {};

TEST_P(StationJournal, ThatFailsTakesNoNewTrackerAndFinishesTheOneInHand) {
    const bool halfALine = GetParam();
    const std::string journal = dir.Path("journal.csv");
    ASSERT_TRUE(bridges[0]->Plug()) << bridges[0]->Error();
    ASSERT_EQ(Flash({"--all", "--journal", journal}), 0) << out;
    bridges[0]->Unplug();
    LoadOldFirmware(1);
    // Earlier runs' lines, so that the limit set below is far above the other files' sizes.
    const std::string first = test::FileText(journal);
    const std::string earlier = first.substr(first.find('\n') + 1);
    ASSERT_TRUE(earlier.starts_with("20") && earlier.ends_with("\r\n")) << first;
    {
        std::ofstream more(journal, std::ios::binary | std::ios::app);
        for (int k = 0; k < 100; ++k) more << earlier;
    }
    const std::string before = test::FileText(journal);

    sim::SimulatedBridge paced(testbed, sim::Pacing::RealLine,
                               sim::UsbSerialAdapter::Cp2102InSocket(5));
    test::ChildProcess flash(OSTREL_FLASH,
                             {"--repeat", "--all", "--baud", "115200", "--journal", journal}, "",
                             dir.Path("err.txt"));
    ASSERT_TRUE(flash.StdoutLine().starts_with("Plug the adapters")) << "not watching";
    ASSERT_TRUE(paced.Plug()) << paced.Error();
    paced.Line()->WaitUntil([](const sim::LineStats& line) { return line.fromHost > 0; });
    ASSERT_TRUE(bridges[0]->Plug());
    EXPECT_TRUE(flash.AwaitLine("result=").starts_with("result=ok port=/dev/ttyUSB0 bay=1-1 "));
    // Bay 1's line is on the disk before its result is shown.
    const rlimit room{test::FileText(journal).size() + (halfALine ? earlier.size() / 2 : 0),
                      RLIM_INFINITY};
    ASSERT_EQ(prlimit(flash.Pid(), RLIMIT_FSIZE, &room, nullptr), 0);
    ASSERT_TRUE(bridges[1]->Plug());
    EXPECT_TRUE(flash.AwaitLine("result=").starts_with("result=ok port=/dev/ttyUSB1 bay=1-2 "));
    // Its line could not be written: the adapter plugged in now is left alone.
    ASSERT_TRUE(bridges[2]->Plug());
    out.clear();
    for (std::string line; !(line = flash.StdoutLine()).empty();) {
        out += line + "\n";
        // A station still taking trackers would not end by itself.
        if (line.find(" bay=1-3 ") != std::string::npos) flash.Signal(SIGINT);
    }
    EXPECT_NE(out.find("result=ok port=/dev/ttyUSB4 bay=1-5 "), std::string::npos) << out;
    EXPECT_EQ(out.find("bay=1-3"), std::string::npos) << out;
    EXPECT_TRUE(out.ends_with("\nsummary updated=3 failed=0 journal_missing=2\n")) << out;
    EXPECT_EQ(flash.Wait(), 7);
    EXPECT_FALSE(HoldsRelease(3));
    EXPECT_TRUE(HoldsRelease(paced));
    const std::string err = test::FileText(dir.Path("err.txt"));
    EXPECT_NE(err.find("ostrel-flash: no journal row for bay 1-2 (/dev/ttyUSB1, result=ok): "
                       "cannot write the journal " +
                       journal + ": "),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("; no new tracker is taken\n"), std::string::npos) << err;
    // Bay 1's line, whole, and nothing of bay 2's.
    const std::string after = test::FileText(journal);
    ASSERT_TRUE(after.starts_with(before));
    const std::string added = after.substr(before.size());
    EXPECT_TRUE(added.find(",1-1,/dev/ttyUSB0,0001,update,") != std::string::npos) << added;
    EXPECT_TRUE(added.ends_with("\r\n")) << added;
    EXPECT_EQ(std::count(added.begin(), added.end(), '\n'), 1) << added;
}

INSTANTIATE_TEST_SUITE_P(Room, StationJournal, ::testing::Values(true, false),
                         [](const auto& room) { return room.param ? "HalfALine" : "None"; });

// The same situation ends the same way in every shape of run: one port, --repeat, --all and
// --repeat --all, each with one adapter plugged in from the start. A loop alone waits for a
// port another program holds, and updates the tracker once that program lets go. Whatever the
// journal was before the run is kept byte for byte; its rows start on lines of their own.
enum class Shape { Single, Repeat, All, RepeatAll };
struct Ending {
    int exitCode;
    const char* result;  // how the result line begins; "" for none
    bool holdsRelease;
    const char* row;        // what the journal's row says from its result on; "" for no row
    const char* also = "";  // more that stdout shows
};
struct Situation {
    const char* name;
    Ending oneShot;
    Ending loop;
    const char* said = "";  // what stderr says
};
constexpr Ending kUpdated{0, "result=ok port=/dev/ttyUSB0 ", true, ",ok,,,"};
constexpr Ending kJournalRefused{6, "result=failed stage=journal port=- ", false, ""};
// The tracker falls silent at block 0x9000 while the journal is changed under the run.
constexpr Ending kSilent{1, "result=failed stage=write block=0x9000 ", false,
                         ",failed,write,0x9000,"};
constexpr Ending kEndedAtOnce{4, "result=interrupted port=/dev/ttyUSB0 ", false, ",interrupted,,,"};
const Situation kSituations[] = {
    {"Updated", kUpdated, kUpdated},
    {"Nack",
     {1, "result=failed stage=write block=0x9000 ", false, ",failed,write,0x9000,"},
     {1, "result=failed stage=write block=0x9000 ", false, ",failed,write,0x9000,"}},
    {"PortHeld", {3, "result=failed stage=connect ", false, ",failed,connect,,"}, kUpdated},
    {"TraceRefused",
     {6, "result=failed stage=trace port=- ", false, ""},
     {6, "result=failed stage=trace port=- ", false, ""}},
    {"JournalFolder", kJournalRefused, kJournalRefused, "it is a folder"},
    {"JournalForeign", kJournalRefused, kJournalRefused, "is not a journal of ostrel-flash"},
    {"JournalReadOnly", kJournalRefused, kJournalRefused, "it is read-only"},
    {"JournalFifo", kJournalRefused, kJournalRefused, "it is not a regular file"},
    {"JournalNull",
     {0, "result=ok port=/dev/ttyUSB0 ", true, ""},
     {0, "result=ok port=/dev/ttyUSB0 ", true, ""}},
    {"JournalGlued", kUpdated, kUpdated},
    {"JournalReplaced", kSilent, kSilent, " was replaced while this run went on: the row of "},
    {"JournalRemoved", kSilent, kSilent, " was removed while this run went on: the row of "},
    {"EndedAtOnce", kEndedAtOnce, kEndedAtOnce, "stopped at once"},
    {"JournalFull",
     {7, "result=ok port=/dev/ttyUSB0 ", true, "", " journal=incomplete"},
     {7, "result=ok port=/dev/ttyUSB0 ", true, "", " journal_missing=1\n"},
     "no journal row for "},
};

void PrintTo(const Situation& situation, std::ostream* os) {
    *os << situation.name;
}
void PrintTo(Shape shape, std::ostream* os) {
    *os << static_cast<int>(shape);
}

class RunShapes : public Bench,
                  public ::testing::WithParamInterface<std::tuple<Situation, Shape>> {};

TEST_P(RunShapes, EndAlikeInEveryShape) {
    const auto& [situation, shape] = GetParam();
    const std::string name = situation.name;
    const bool loop = shape == Shape::Repeat || shape == Shape::RepeatAll;
    const Ending& expected = loop ? situation.loop : situation.oneShot;
    const std::string journal = dir.Path("journal.csv");
    std::vector<std::string> args{"--journal", journal};
    if (loop) args.push_back("--repeat");
    if (shape == Shape::All || shape == Shape::RepeatAll) args.push_back("--all");
    ASSERT_TRUE(bridges[0]->Plug()) << bridges[0]->Error();
    const bool silent =
        name == "JournalReplaced" || name == "JournalRemoved" || name == "EndedAtOnce";
    if (name == "Nack" || silent) {
        bridges[0]->WithModel([silent](sim::BootloaderModel& m) {
            m.AddFault({silent ? sim::FaultKind::Silence : sim::FaultKind::Nack,
                        sim::Command::WriteMemory, silent ? sim::Step::Payload : sim::Step::Address,
                        0x9000});
        });
    }
    if (name == "TraceRefused") args.insert(args.end(), {"--trace", dir.Path("none/support.txt")});
    if (name == "JournalFolder") args[1] = dir.Dir();
    if (name == "JournalNull") args[1] = "/dev/null";
    if (name == "JournalFifo") {
        ASSERT_EQ(mkfifo(journal.c_str(), 0644), 0);
    }
    // Another program holds the port, as another updater does: with the lock.
    int holder = -1;
    if (name == "PortHeld") {
        holder = open("/dev/ttyUSB0", O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(holder, 0);
        ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    }
    // Journals of earlier runs, with the twelve columns the first journals had.
    const std::string earlier =
        "time_utc,bay,port,adapter_serial,mode,release,release_sha256,result,stage,block,"
        "seconds,reason\r\n";
    const std::string row = "2026-12-01T00:00:00Z,,,,update,,,ok,,,1.0,";
    std::string program = OSTREL_FLASH;
    if (name == "JournalForeign") std::ofstream(journal) << std::string(1024, '\xA5');
    if (name == "JournalReadOnly") {
        std::ofstream(journal) << earlier + row + "\r\n";
        chmod(journal.c_str(), 0444);
    }
    if (name == "JournalGlued") std::ofstream(journal) << earlier + row;  // a row cut short
    if (name == "JournalFull") {
        std::ofstream full(journal, std::ios::binary);
        full << earlier;
        for (int k = 0; k < 200; ++k) full << row + "\r\n";
        full.close();
        args.insert(args.begin(), {"--fsize=" + std::to_string(std::filesystem::file_size(journal)),
                                   OSTREL_FLASH});
        program = "/usr/bin/prlimit";
    }
    const std::string before = name == "JournalFifo" ? "" : test::FileText(journal);
    test::ChildProcess flash(program, args, "", dir.Path("err.txt"), dir.Dir());
    if (silent) {
        // Sync, Get, then nine blocks of 137 bytes: the last unanswered.
        bridges[0]->Line()->WaitUntil(
            [](const sim::LineStats& line) { return line.fromHost >= 3 + 9 * 137; });
        if (name == "JournalReplaced") {
            // An editor's save: a copy renamed over the journal.
            ASSERT_EQ(rename(journal.c_str(), dir.Path("aside.csv").c_str()), 0);
            std::ofstream(journal) << test::FileText(dir.Path("aside.csv"));
        }
        if (name == "JournalRemoved") {
            ASSERT_EQ(remove(journal.c_str()), 0);
        }
        // A loop takes the first request as "no new tracker", the next as "stop".
        if (name == "EndedAtOnce") {
            for (int stop : {SIGINT, SIGTERM, SIGHUP}) {
                if (stop != SIGHUP || loop) flash.Signal(stop);
            }
        }
    }
    std::string shown;
    for (std::string line; !(line = flash.StdoutLine()).empty();) {
        shown += line + "\n";
        if (line.ends_with(" taken by another program") && holder >= 0) {
            close(holder);  // the other program lets go
            holder = -1;
        }
        if (line.starts_with("result=") && loop) flash.Signal(SIGINT);
    }
    const int code = flash.Wait();
    if (holder >= 0) close(holder);
    const std::string err = test::FileText(dir.Path("err.txt"));
    EXPECT_EQ(code, expected.exitCode) << shown << err;
    const std::size_t result = shown.find("result=");
    EXPECT_EQ(result == std::string::npos
                  ? ""
                  : shown.substr(result, std::string(expected.result).size()),
              expected.result)
        << shown;
    EXPECT_NE(shown.find(expected.also), std::string::npos) << shown;
    EXPECT_NE(err.find(situation.said), std::string::npos) << err;
    EXPECT_EQ(HoldsRelease(1), expected.holdsRelease);
    EXPECT_EQ(shown.find("taken by another program") != std::string::npos,
              loop && name == "PortHeld")
        << shown;
    // A loop says it on that line alone, with no advice to close the other program.
    EXPECT_EQ(err.find("port busy") != std::string::npos, !loop && name == "PortHeld") << err;
    if (name == "JournalFifo") return;
    const std::string after = test::FileText(journal);
    ASSERT_TRUE(after.starts_with(before)) << after;
    std::string added = after.substr(before.size());
    if (before.empty() && !added.empty()) {
        EXPECT_TRUE(added.starts_with("time_utc,")) << added;
        added.erase(0, added.find('\n') + 1);
    }
    if (name == "JournalGlued") {
        EXPECT_TRUE(added.starts_with("\r\n")) << added;
        added.erase(0, 2);
        EXPECT_EQ(std::count(added.begin(), added.end(), ','), 11) << added;
    }
    if (name == "JournalReplaced") {
        EXPECT_EQ(test::FileText(dir.Path("aside.csv")).find(",failed,"), std::string::npos);
    }
    EXPECT_EQ(std::count(added.begin(), added.end(), '\n'), *expected.row == '\0' ? 0 : 1) << added;
    EXPECT_NE(added.find(expected.row), std::string::npos) << added;
}

std::string ShapeCaseName(const ::testing::TestParamInfo<RunShapes::ParamType>& p) {
    const char* const shapes[] = {"Single", "Repeat", "All", "RepeatAll"};
    return std::string(std::get<0>(p.param).name) + "_" +
           shapes[static_cast<int>(std::get<1>(p.param))];
}

INSTANTIATE_TEST_SUITE_P(Table, RunShapes,
                         ::testing::Combine(::testing::ValuesIn(kSituations),
                                            ::testing::Values(Shape::Single, Shape::Repeat,
                                                              Shape::All, Shape::RepeatAll)),
                         ShapeCaseName);

// Two adapters and neither --port nor --all: which tracker to update is the user's to say;
// neither is touched.
TEST_F(Bench, ManyAdaptersWithoutPortOrAllAreListedAndLeftAlone) {
    for (int bay : {2, 4}) ASSERT_TRUE(bridges[bay - 1]->Plug()) << bridges[bay - 1]->Error();
    EXPECT_EQ(Flash({}), 2);
    EXPECT_EQ(out, "");
    const std::string err = test::FileText(dir.Path("err.txt"));
    EXPECT_NE(err.find("2 programming adapters are plugged in; update them all with --all, or "
                       "name one with --port:\n  /dev/ttyUSB1  (bay 1-2)\n  /dev/ttyUSB3  (bay "
                       "1-4)\n"),
              std::string::npos)
        << err;
    for (int bay : {2, 4}) EXPECT_FALSE(HoldsRelease(bay));
}

TEST_F(Bench, NoAdapterPluggedInEndsWithNotConnected) {
    EXPECT_EQ(Flash({"--all"}), 3);
    EXPECT_EQ(out, "summary updated=0 failed=0\n");
}

}  // namespace
}  // namespace ostrel
