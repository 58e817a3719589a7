#include "device/hotplug.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <tuple>
#include <vector>

#include "core/firmware_image.h"
#include "sim/sim_link.h"
#include "sim/sim_port_directory.h"

namespace ostrel {
namespace {

struct HotplugTest : ::testing::Test {
    HotplugTest() { directory.bridgePort = "SIM1"; }

    void Connect() {
        connector.ConnectSequence();
        ASSERT_TRUE(state.PortOpen && state.DeviceReady);
        directory.lookups = 0;
    }

    // Notices recorded as a platform's source records them.
    struct Notices final : DeviceEventSource {
        int NotificationDescriptor() const override { return -1; }
        void ReadNotifications() override {}
    } events;
    UpdaterState state;
    FirmwareImage image{};  // connecting writes nothing
    sim::BootloaderModel model;
    sim::SimLink link{model};
    sim::SimPortDirectory directory;
    BootloaderProtocol protocol{link, image, state};
    Connector connector{state, link, directory, protocol};
};

// The idle action's state table: pending event and port state before, what follows.
struct IdleCase {
    const char* name;
    std::uint8_t pending;
    bool portOpen;
    std::uint8_t pendingAfter;
    bool portOpenAfter;
    int lookups;
    bool pageForward;
};

// Cases print as their names in test listings.
void PrintTo(const IdleCase& c, std::ostream* os) {
    *os << (*c.name ? c.name : "(empty)");
}

class IdleTable : public HotplugTest, public ::testing::WithParamInterface<IdleCase> {};

TEST_P(IdleTable, ActsOnlyWhenTheEventsConditionHolds) {
    const IdleCase& c = GetParam();
    if (c.portOpen) Connect();
    events.Record(static_cast<PendingEvent>(c.pending));
    EXPECT_EQ(ActOnPendingDeviceEvent(events, state, connector) == DeviceEventResult::Connected,
              c.pageForward);
    EXPECT_EQ(events.PendingNotice(), c.pendingAfter);
    EXPECT_EQ(state.PortOpen, c.portOpenAfter);
    EXPECT_EQ(state.DeviceReady, c.portOpenAfter);
    EXPECT_EQ(link.IsOpen(), c.portOpenAfter);
    EXPECT_EQ(directory.lookups, c.lookups);
    EXPECT_EQ(directory.scans, 0);
}

INSTANTIATE_TEST_SUITE_P(
    States, IdleTable,
    ::testing::Values(IdleCase{"ArrivalWithNoPortConnects", 1, false, 0, true, 1, true},
                      IdleCase{"ArrivalWhilePortOpenWaits", 1, true, 1, true, 0, false},
                      IdleCase{"RemovalWhilePortOpenCloses", 2, true, 0, false, 0, false},
                      IdleCase{"RemovalWithNoPortWaits", 2, false, 2, false, 0, false},
                      IdleCase{"NothingPendingWithNoPort", 0, false, 0, false, 0, false},
                      IdleCase{"NothingPendingWhileConnected", 0, true, 0, true, 0, false}),
    [](const ::testing::TestParamInfo<IdleCase>& param) { return std::string(param.param.name); });

TEST_F(HotplugTest, ArrivalWithoutABridgeFoundIsConsumedWithoutAScan) {
    directory.bridgePort.clear();
    directory.ports = {"SIM1"};
    events.Record(static_cast<PendingEvent>(kBridgeArrived));
    EXPECT_NE(ActOnPendingDeviceEvent(events, state, connector), DeviceEventResult::Connected);
    EXPECT_EQ(events.PendingNotice(), kNoDeviceEvent);
    EXPECT_EQ(directory.scans, 0);
    EXPECT_EQ(link.OpenCount(), 0u);
}

// A radio stick with the same bridge, listed first, does not hide the tracker's adapter.
TEST_F(HotplugTest, ArrivalTriesEveryAdapterUntilOneAnswers) {
    directory.adapters = {{"STICK", "hub1-1"}, {"SIM1", "hub1-2"}};
    events.Record(static_cast<PendingEvent>(kBridgeArrived));
    EXPECT_EQ(ActOnPendingDeviceEvent(events, state, connector), DeviceEventResult::Connected);
    EXPECT_TRUE(state.DeviceReady);
    EXPECT_EQ(link.OpenCount(), 1u);
}

TEST_F(HotplugTest, ArrivalWhoseGetFailsLeavesThePortOpenAndLaterArrivalsWait) {
    model.AddFault({.kind = sim::FaultKind::Silence, .command = sim::Command::Get});
    events.Record(static_cast<PendingEvent>(kBridgeArrived));
    EXPECT_NE(ActOnPendingDeviceEvent(events, state, connector), DeviceEventResult::Connected);
    EXPECT_TRUE(state.PortOpen);
    EXPECT_FALSE(state.DeviceReady);

    events.Record(static_cast<PendingEvent>(kBridgeArrived));
    EXPECT_NE(ActOnPendingDeviceEvent(events, state, connector), DeviceEventResult::Connected);
    EXPECT_EQ(events.PendingNotice(), kBridgeArrived);
    EXPECT_EQ(link.OpenCount(), 1u);

    // A removal overwrites the waiting arrival and closes the port; nothing is left pending.
    events.Record(static_cast<PendingEvent>(kBridgeRemoved));
    EXPECT_NE(ActOnPendingDeviceEvent(events, state, connector), DeviceEventResult::Connected);
    EXPECT_EQ(events.PendingNotice(), kNoDeviceEvent);
    EXPECT_FALSE(link.IsOpen());
}

TEST_F(HotplugTest, RemovalRecordedWithNoPortClosesAPortOpenedLaterByConnect) {
    events.Record(static_cast<PendingEvent>(kBridgeRemoved));
    ActOnPendingDeviceEvent(events, state, connector);
    Connect();
    EXPECT_NE(ActOnPendingDeviceEvent(events, state, connector), DeviceEventResult::Connected);
    EXPECT_FALSE(state.PortOpen);
    EXPECT_FALSE(state.DeviceReady);
    EXPECT_FALSE(link.IsOpen());
}

// What a user sees after an arrival whose port is not there: the lookup is made again at these
// times after the arrival, then given up; a new arrival starts the times again.
TEST(LookAgainSchedule, LooksAgainFromATenthsOfASecondToHalfAMinuteAfterTheArrival) {
    LookAgainSchedule schedule;
    schedule.NextPause();
    schedule.Restart();
    std::vector<std::uint32_t> looks;
    for (std::uint32_t at = 0; const std::optional<std::uint32_t> pause = schedule.NextPause();)
        looks.push_back(at += *pause);
    EXPECT_EQ(looks, (std::vector<std::uint32_t>{300, 1000, 2000, 4000, 8000, 15000, 30000}));
    EXPECT_EQ(schedule.Taken(), 7);
}

// The bench loop's look after an arrival: at once, then on the schedule; a port the records
// name before its driver has made it is not there yet; a stop during a pause gives up at once.
TEST(FindBridgePortAfterArrival, ThePortOfALateDriverIsFoundByALaterLook) {
    // Lookups before the port is listed, checks before it exists; what is found, when, after
    // how many lookups.
    for (const auto& [shows, exists, port, at, lookups] :
         {std::tuple{3, 0, "SIM1", 1000u, 3}, {0, 4, "SIM1", 2000u, 4}, {100, 0, "", 30000u, 8}}) {
        sim::SimPortDirectory directory;
        directory.bridgePort = "SIM1";
        directory.showsFromLookup = shows;
        directory.existsFromCheck = exists;
        std::uint32_t waited = 0;
        const auto pause = [&](std::uint32_t ms) { return (waited += ms) > 0; };
        EXPECT_EQ(FindBridgePortAfterArrival(directory, pause), port);
        EXPECT_EQ(waited, at);
        EXPECT_EQ(directory.lookups, lookups);
        directory.lookups = directory.existenceChecks = 0;  // a stop during a pause
        EXPECT_EQ(FindBridgePortAfterArrival(directory, [](std::uint32_t) { return false; }), "");
        EXPECT_EQ(directory.lookups, 1);
    }
}

}  // namespace
}  // namespace ostrel
