// Whole updates through the Win32 link under Wine, against ostrel-devsim on a pty: in process,
// and by ostrel-flash.exe.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/update_sequence.h"
#include "device/connection.h"
#include "device/port_directory.h"
#include "sim/bootloader_model.h"
#include "tests/support/recording_view.h"
#include "tests/windows/support/wine_peer.h"

namespace ostrel {
namespace {

using test::WinePeer;

std::vector<std::uint8_t> ReadDump(const std::string& linuxPath) {
    std::ifstream in(test::WindowsPath(linuxPath), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The tracker's memory after a good update: the release over the old firmware, and the
// owner's settings (0x1000-0x10FF) as they were when they are kept.
std::vector<std::uint8_t> ExpectedMemory(const FirmwareImage& image, bool keepUser) {
    const sim::BootloaderModel fresh;
    std::vector<std::uint8_t> memory(fresh.Memory().begin(), fresh.Memory().end());
    for (std::uint32_t a = kFlashStart; a <= kFlashEnd; ++a) memory[a] = image[a];
    for (std::uint32_t a = keepUser ? kUserSettingsEnd : kDataStart; a <= kDataEnd; ++a) {
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
    const std::string name = peer.MapSimulator(31, "--fast --dump " + DumpPath());
    ASSERT_FALSE(name.empty());

    UpdaterState state;
    auto port = MakeSerialPort();
    auto directory = MakePortDirectory();
    BootloaderProtocol protocol(*port, Image(), state);
    Connector connector(state, *port, *directory, protocol);
    connector.TryPort(name);
    ASSERT_TRUE(state.DeviceReady);
    ASSERT_TRUE(protocol.QueryBootloader());
    test::RecordingView view;
    view.keepUser = keepUser;
    state.UpdatePhase = 1;
    RunUpdate(state, protocol, Image(), view);
    EXPECT_EQ(state.UpdatePhase, 5);
    EXPECT_EQ(view.WriteBar(), 100u);
    EXPECT_EQ(view.VerifyBar(), 100u);
    port->ClosePort();

    ASSERT_EQ(peer.StopSimulator(31), 0);
    const std::vector<std::uint8_t> memory = ReadDump(DumpPath());
    const std::vector<std::uint8_t> expected = ExpectedMemory(Image(), keepUser);
    EXPECT_TRUE(memory == expected) << FirstDifference(memory, expected);
}

std::string SettingsName(const ::testing::TestParamInfo<bool>& kept) {
    return kept.param ? "Kept" : "Written";
}

INSTANTIATE_TEST_SUITE_P(OwnerSettings, Win32Update, ::testing::Bool(), SettingsName);

}  // namespace
}  // namespace ostrel
