// Whole updates through the Win32 link under Wine, against ostrel-devsim on a pty: in process,
// and by ostrel-flash.exe.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "cli/flash_options.h"
#include "core/update_sequence.h"
#include "device/connection.h"
#include "device/port_directory.h"
#include "sim/bootloader_model.h"
#include "tests/support/recording_events.h"
#include "tests/windows/support/flash_process.h"
#include "tests/windows/support/registry_ports.h"
#include "tests/windows/support/wine_peer.h"

namespace ostrel {
namespace {

using test::WinePeer;

std::vector<std::uint8_t> ReadDump(const std::string& linuxPath) {
    std::ifstream in(test::WindowsPath(linuxPath), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The journal a loop keeps, named in the test's scratch folder and removed with the test: the
// one it keeps by default would stay in the working folder.
class LoopJournal {
  public:
    LoopJournal() { std::remove(path_.c_str()); }
    ~LoopJournal() { std::remove(path_.c_str()); }
    std::string Option() const { return " --journal \"" + path_ + "\""; }
    std::string Text() const {
        std::ifstream in(path_, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

  private:
    const std::string path_ =
        test::WindowsPath(std::string(OSTREL_TEST_SCRATCH_DIR) + "/loop-journal.csv");
};

// The tracker's memory after a good update: the release over the old firmware, and the
// owner's settings (0x1000-0x10FF) as they were when they are kept.
std::vector<std::uint8_t> ExpectedMemory(const FirmwareImage& image, bool keepUser) {
    const sim::BootloaderModel fresh;
    std::vector<std::uint8_t> memory(fresh.Memory().begin(), fresh.Memory().end());
    for (std::uint32_t a = kFlashStart; a < kProgramMemory.end; ++a) memory[a] = image[a];
    for (std::uint32_t a = keepUser ? kDataAfterUserSettings.start : kDataStart;
         a < kDataMemory.end; ++a) {
        memory[a] = image[a];
    }
    return memory;
}

// First differing address, for a readable failure.
std::string FirstDifference(const std::vector<std::uint8_t>& got,
                            const std::vector<std::uint8_t>& want) {
    if (got.size() != want.size()) return "size " + std::to_string(got.size());
    for (std::size_t a = 0; a < got.size(); ++a) {
        if (got[a] != want[a]) return "first difference at address " + std::to_string(a);
    }
    return "equal";
}

const FirmwareImage& Image() {
    static FirmwareImage image = [] {
        FirmwareImage built;
        BuildFirmwareImage(built);
        return built;
    }();
    return image;
}

class Win32Update : public ::testing::TestWithParam<bool> {
  protected:
    std::string DumpPath() const {
        return std::string(OSTREL_TEST_SCRATCH_DIR) + "/memory-" + (GetParam() ? "kept" : "all");
    }
};

TEST_P(Win32Update, LeavesTheReleaseInTheTracker) {
    const bool keepUser = GetParam();
    WinePeer peer;
    ASSERT_TRUE(peer.Connected());
    const std::string name = peer.MapSimulator(131, "--fast --dump " + DumpPath());
    ASSERT_FALSE(name.empty());

    UpdaterState state;
    auto port = MakeSerialPort();
    auto directory = MakePortDirectory();
    BootloaderProtocol protocol(*port, Image(), state);
    Connector connector(state, *port, *directory, protocol);
    connector.TryPort(name);
    ASSERT_TRUE(state.DeviceReady);
    ASSERT_TRUE(protocol.QueryBootloader());
    test::RecordingEvents events;
    state.UpdatePhase = Phase::Requested;
    EXPECT_TRUE(RunUpdate(state, protocol, Image(), keepUser, events).Succeeded());
    EXPECT_EQ(state.UpdatePhase, Phase::Succeeded);
    EXPECT_EQ(events.progress[UpdateStage::Write].size(), 232u);
    EXPECT_EQ(events.progress[UpdateStage::Verify].size(), 232u);
    port->ClosePort();

    ASSERT_EQ(peer.StopSimulator(131), 0);
    const std::vector<std::uint8_t> memory = ReadDump(DumpPath());
    const std::vector<std::uint8_t> expected = ExpectedMemory(Image(), keepUser);
    EXPECT_TRUE(memory == expected) << FirstDifference(memory, expected);
}

std::string SettingsName(const ::testing::TestParamInfo<bool>& kept) {
    return kept.param ? "Kept" : "Written";
}

INSTANTIATE_TEST_SUITE_P(OwnerSettings, Win32Update, ::testing::Bool(), SettingsName);

using test::Finished;
using test::RunFlash;

// Text-mode output on Windows ends each line with CR LF; the blank before it is the system's.
constexpr char kSuccessLine[] = "Обновление успешно завершено! \r\n";

TEST_P(Win32Update, ConsoleUpdaterLeavesTheReleaseInTheTracker) {
    const bool keepUser = GetParam();
    WinePeer peer;
    ASSERT_TRUE(peer.Connected());
    ASSERT_FALSE(peer.MapSimulator(132, "--fast --dump " + DumpPath()).empty());

    // The kept-settings run goes at 115200 baud, which the port sets in the DCB.
    const std::string rate = keepUser ? "115200" : "9600";
    const Finished run =
        RunFlash("--port COM132 --baud " + rate + (keepUser ? " --keep-user-settings" : ""));
    EXPECT_EQ(run.exitCode, static_cast<DWORD>(cli::kExitSuccess)) << run.output;
    EXPECT_NE(run.output.find(kSuccessLine), std::string::npos) << run.output;

    std::string served;
    ASSERT_EQ(peer.StopSimulator(132, &served), 0);
    EXPECT_NE(served.find(" rate=" + rate), std::string::npos) << served;
    const std::vector<std::uint8_t> memory = ReadDump(DumpPath());
    const std::vector<std::uint8_t> expected = ExpectedMemory(Image(), keepUser);
    EXPECT_TRUE(memory == expected) << FirstDifference(memory, expected);
}

// Without --port the name lookup finds nothing under Wine, so the scan runs: the silent COM242
// is tried first, then COM160 answers. The machine's own ports, mapped lower, are never reached.
TEST(Win32ConsoleUpdater, FindsTheTrackerByScanningWithoutAPort) {
    WinePeer peer;
    ASSERT_TRUE(peer.Connected());
    ASSERT_FALSE(peer.MapPty(242).empty());
    ASSERT_FALSE(peer.MapSimulator(160, "--fast").empty());

    const Finished run = RunFlash("");
    EXPECT_EQ(run.exitCode, static_cast<DWORD>(cli::kExitSuccess)) << run.output;
    EXPECT_NE(run.output.find("Connected on COM160"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find(kSuccessLine), std::string::npos) << run.output;
    EXPECT_EQ(peer.Receive(242, 1), std::vector<std::uint8_t>{kSyncByte});
}

// The tracker's line hangs up in the middle of the write, as a pulled-out adapter does: the run
// says the adapter was disconnected, not that the tracker was silent.
TEST(Win32ConsoleUpdater, PullOutMidWriteIsReportedAsADisconnectedAdapter) {
    WinePeer peer;
    ASSERT_TRUE(peer.Connected());
    ASSERT_FALSE(peer.MapSimulator(135, "--fast --hang-up-at 40").empty());
    const Finished run = RunFlash("--port COM135");
    EXPECT_EQ(run.exitCode, static_cast<DWORD>(cli::kExitUpdateFailed)) << run.output;
    EXPECT_NE(run.output.find("reason=the adapter was disconnected"), std::string::npos)
        << run.output;
}

// --backup-only writes through the Windows file calls: an older file is left as it is unless
// --overwrite-backup asks for it, then replaced whole; a device's name is no file.
TEST(Win32ConsoleUpdater, SavesTheDataMemoryOverAnOlderBackupOnlyWhenAsked) {
    WinePeer peer;
    ASSERT_TRUE(peer.Connected());
    ASSERT_FALSE(peer.MapSimulator(133, "--fast").empty());
    const std::string backup = std::string(OSTREL_TEST_SCRATCH_DIR) + "/data-backup.bin";
    std::ofstream(test::WindowsPath(backup), std::ios::binary) << "an older, shorter file";
    const std::string command =
        "--port COM133 --backup-only --backup \"" + test::WindowsPath(backup) + "\"";

    const Finished kept = RunFlash(command);
    EXPECT_EQ(kept.exitCode, static_cast<DWORD>(cli::kExitFileFailed)) << kept.output;
    EXPECT_NE(kept.output.find("it exists; it is left as it is"), std::string::npos) << kept.output;
    EXPECT_EQ(ReadDump(backup).size(), 22u);
    const Finished device = RunFlash("--port COM133 --backup-only --backup con.bin");
    EXPECT_EQ(device.exitCode, static_cast<DWORD>(cli::kExitFileFailed)) << device.output;
    EXPECT_NE(device.output.find("the name of a device"), std::string::npos) << device.output;

    const Finished run = RunFlash(command + " --overwrite-backup");
    EXPECT_EQ(run.exitCode, static_cast<DWORD>(cli::kExitSuccess)) << run.output;
    EXPECT_NE(run.output.find("result=ok port=COM133 "), std::string::npos) << run.output;
    const sim::BootloaderModel fresh;
    const std::vector<std::uint8_t> shipped(fresh.Memory().begin() + kDataStart,
                                            fresh.Memory().begin() + kDataStart + kDataSize);
    EXPECT_TRUE(ReadDump(backup) == shipped) << FirstDifference(ReadDump(backup), shipped);
}

// The help names Windows' ports and the console's stop requests, not Linux's.
TEST(Win32ConsoleUpdater, HelpNamesComPortsAndTheConsolesStopRequests) {
    const Finished run = RunFlash("--help");
    EXPECT_EQ(run.exitCode, static_cast<DWORD>(cli::kExitSuccess));
    for (const char* word : {"e.g. COM3", "Ctrl-Break", "closing the console window"}) {
        EXPECT_NE(run.output.find(word), std::string::npos) << word;
    }
    for (const char* word : {"/dev/", "ttyUSB", "SIG", "@"}) {
        EXPECT_EQ(run.output.find(word), std::string::npos) << word;
    }
}

// --list marks the adapter that the lookup finds, beside an on-board port that is not it.
TEST(Win32ConsoleUpdater, ListMarksTheAdapterBesideAnOnBoardPort) {
    const test::RegistryPorts registry({.onBoardPort = true});
    ASSERT_TRUE(registry.Entered());
    const Finished run = RunFlash("--list");
    EXPECT_EQ(run.exitCode, static_cast<DWORD>(cli::kExitSuccess)) << run.output;
    EXPECT_NE(run.output.find("COM7  Silicon Labs CP210x USB to UART Bridge (COM7)  <- programming "
                              "adapter"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("COM1  Communications Port (COM1)\r\n"), std::string::npos)
        << run.output;
}

// A bench of two trackers, at once, each in its own bay: named by their ports, or found by
// --all as the adapters the device records list (their COM ports are the simulators'), in the
// order of their hub sockets. Every tracker gets the release, a result line with its bay, and
// the run ends with the summary.
struct BenchRun {
    const char* name;
    const char* arguments;
    bool adaptersEntered;
    std::array<int, 2> ports;  // in the order of the bays
    std::array<const char*, 2> bays;
};

void PrintTo(const BenchRun& run, std::ostream* out) {
    *out << run.name;
}

class Win32Bench : public ::testing::TestWithParam<BenchRun> {};

TEST_P(Win32Bench, UpdatesEveryTrackerInItsOwnBay) {
    const BenchRun& bench = GetParam();
    std::optional<test::RegistryPorts> registry;
    if (bench.adaptersEntered) {
        registry.emplace(test::RegistryPorts::Machine{.secondAdapter = true});
        ASSERT_TRUE(registry->Entered());
    }
    WinePeer peer;
    ASSERT_TRUE(peer.Connected());
    const auto dumpOf = [](int port) {
        return std::string(OSTREL_TEST_SCRATCH_DIR) + "/bench-COM" + std::to_string(port);
    };
    for (const int port : bench.ports) {
        ASSERT_FALSE(peer.MapSimulator(port, "--fast --dump " + dumpOf(port)).empty()) << port;
    }

    const Finished run = RunFlash(bench.arguments);
    EXPECT_EQ(run.exitCode, static_cast<DWORD>(cli::kExitSuccess)) << run.output;
    std::size_t previous = 0;
    for (std::size_t bay = 0; bay < bench.ports.size(); ++bay) {
        const std::string line = "result=ok port=COM" + std::to_string(bench.ports[bay]) +
                                 " bay=" + bench.bays[bay] + " ";
        const std::size_t at = run.output.find(line);
        EXPECT_NE(at, std::string::npos) << line << "\n" << run.output;
        if (at != std::string::npos) previous = std::max(previous, at);
    }
    const std::size_t summary = run.output.find("summary updated=2 failed=0\r\n");
    EXPECT_NE(summary, std::string::npos) << run.output;
    EXPECT_GT(summary, previous) << "the summary closes the run";

    const std::vector<std::uint8_t> expected = ExpectedMemory(Image(), false);
    for (const int port : bench.ports) {
        ASSERT_EQ(peer.StopSimulator(port), 0) << port;
        const std::vector<std::uint8_t> memory = ReadDump(dumpOf(port));
        EXPECT_TRUE(memory == expected)
            << "COM" << port << ": " << FirstDifference(memory, expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Benches, Win32Bench,
    ::testing::Values(
        BenchRun{
            "NamedPorts", "--port COM201 --port COM202", false, {201, 202}, {"COM201", "COM202"}},
        BenchRun{"AllAdapters", "--all", true, {12, 7}, {"hub1-2", "hub1-10"}}),
    [](const ::testing::TestParamInfo<BenchRun>& run) { return run.param.name; });

// Ends a running ostrel-flash the way closing its console does: Windows starts a thread at the
// console control routine of kernel32 with CTRL_CLOSE_EVENT.
void CloseConsoleOf(const test::FlashProcess& flash) {
    const auto routine = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "CtrlRoutine")));
    ASSERT_NE(routine, nullptr);
    HANDLE closing = CreateRemoteThread(flash.Process(), nullptr, 0, routine,
                                        reinterpret_cast<void*>(CTRL_CLOSE_EVENT), 0, nullptr);
    ASSERT_NE(closing, nullptr);
    CloseHandle(closing);
}

// A station whose adapter Windows lists with its port before the driver has made it: the bay
// waits for the port, rather than failing on one that does not exist, and updates the tracker
// once it comes. (The pause only lets the station's first look find no port; the test does not
// depend on its length.)
TEST(Win32ConsoleUpdater, AStationWaitsForAPortListedBeforeItExists) {
    const test::RegistryPorts registry({});  // the adapter on COM7, which is not there yet
    ASSERT_TRUE(registry.Entered());
    WinePeer peer;
    ASSERT_TRUE(peer.Connected());
    const LoopJournal journal;
    test::FlashProcess flash("--all --repeat" + journal.Option());
    ASSERT_TRUE(flash.ReadUntil("Plug the adapters into the bays"));
    Sleep(500);
    ASSERT_FALSE(peer.MapSimulator(7, "--fast").empty());
    ASSERT_TRUE(flash.ReadUntil("result="));
    CloseConsoleOf(flash);
    const Finished run = flash.Finish();
    EXPECT_NE(run.output.find("result=ok port=COM7 bay=hub1-10 "), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("does not exist"), std::string::npos) << run.output;
    EXPECT_NE(journal.Text().find(",hub1-10,COM7,"), std::string::npos) << journal.Text();
}

// Closing the console: Windows ends the process some seconds after its control routine has
// started; the test starts that routine while the bench loop writes the first tracker (at the
// line's real pace, 80 s whole). The exchange in flight ends, and the result line and the
// summary come at once.
TEST(Win32ConsoleUpdater, ClosingTheConsoleDuringTheBenchLoopEndsWithResultAndSummary) {
    const test::RegistryPorts registry({});  // the adapter on COM7: the loop begins at once
    ASSERT_TRUE(registry.Entered());
    WinePeer peer;
    ASSERT_TRUE(peer.Connected());
    ASSERT_FALSE(peer.MapSimulator(7, "").empty());
    const LoopJournal journal;
    test::FlashProcess flash("--repeat" + journal.Option());
    ASSERT_TRUE(flash.ReadUntil("Connected on COM7"));
    CloseConsoleOf(flash);
    const Finished run = flash.Finish();
    EXPECT_NE(run.output.find("result=interrupted "), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("summary updated=0 failed=1"), std::string::npos) << run.output;
    // A tracker stopped on request ends the loop as it ends a single run.
    EXPECT_EQ(run.exitCode, static_cast<DWORD>(cli::kExitInterrupted)) << run.output;
    EXPECT_NE(journal.Text().find(",COM7,"), std::string::npos) << journal.Text();
}

}  // namespace
}  // namespace ostrel
