// The wizard's page rules: start-up, the buttons each page shows, Next and Back, connecting,
// closing, and what the idle step does with a device notice.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <numeric>
#include <optional>

#include "tests/wizard/buttons.h"
#include "tests/wizard/controller_rig.h"

namespace ostrel::test {
namespace {

void ExpectButtons(const RecordingWizardView& v, const Buttons& b) {
    EXPECT_EQ(v.page, b.page);
    EXPECT_EQ(v.Shown(ControlId::btnESC), b.esc);
    EXPECT_EQ(v.Shown(ControlId::btnBACK), b.back);
    EXPECT_EQ(v.captions.at(ControlId::btnNEXT), b.next);
    EXPECT_EQ(v.Enabled(ControlId::btnNEXT), b.nextEnabled);
}
void ExpectButtons(const ControllerRig& r, const Buttons& b) {
    ExpectButtons(r.view, b);
}

const Names kGreen{"lbConnected", "txtConnOK"};
const Names kRed{"lbNotConnected", "txtConnFail"};
const Names kDone{"lbWrite",    "lbWriteOK", "BarWrite",   "lbVerify",
                  "lbVerifyOK", "BarVerify", "txtWriteOK", "ListWriteOK"};

TEST(WizardController, StartUpHidesEverythingShowsPageOneAndRegistersTheWatchLast) {
    ControllerRig r(false);
    // Left from before: every start value is set just before the watch.
    r.State().UpdatePhase = Phase::Verifying;
    r.State().DeviceReady = true;
    r.State().PortList = {"SIM0"};
    std::optional<RecordingWizardView> atRegistration;
    bool imageBuilt = false;
    r.onRegister = [&] {
        atRegistration = r.view;
        imageBuilt = r.controller.Image()[kFlashStart] == FlashBlock[0] &&
                     r.controller.Image()[kDataStart] == DataBlock[0];
    };
    r.controller.OnCreate();

    // Every indicator hidden, page 1 and its buttons before the watch.
    ASSERT_TRUE(atRegistration.has_value());
    EXPECT_TRUE(atRegistration->ShownIndicators().empty());
    ExpectButtons(*atRegistration, {1, true, false, "Далее", true});
    EXPECT_TRUE(imageBuilt);
    EXPECT_EQ(r.view.lines.at({ControlId::ListBoxVer, 5}), "версия: v2.2.5 R27");
    EXPECT_EQ(r.view.lines.at({ControlId::ListBoxVer, 6}), "дата: 11.11.2012");
    ExpectButtons(r, {1, true, false, "Далее", true});
    EXPECT_FALSE(r.State().DeviceReady);
    EXPECT_EQ(r.State().UpdatePhase, Phase::Idle);
    EXPECT_TRUE(r.State().PortList.empty());
    EXPECT_NE(r.controller.DeviceWatch(), nullptr);
    EXPECT_FALSE(r.link.IsOpen());
    EXPECT_EQ(r.view.focus, ControlId::btnNEXT) << "a keyboard user starts on a button";
}

// One walk through every row of the navigation: each step, then the page and buttons it leaves.
TEST(WizardController, NextAndBackFollowThePageRules) {
    ControllerRig r;
    struct Step {
        const char* what;
        std::function<void(ControllerRig&)> act;
        Buttons after;
        Names shown;  // indicators shown afterwards, on any page
        bool ready;
    };
    const auto next = [](ControllerRig& x) { x.Next(); };
    const auto back = [](ControllerRig& x) { x.Back(); };
    const auto connect = [](ControllerRig& x) { x.Connect(); };
    const auto failingRun = [](ControllerRig& x) {
        x.model.AddFault(
            {sim::FaultKind::Nack, sim::Command::WriteMemory, sim::Step::Payload, kFlashStart});
        x.Next();
    };
    Names greenAndDone = kDone;
    greenAndDone.insert(kGreen.begin(), kGreen.end());
    const Names greenAndFailed{"lbConnected", "txtConnOK",    "lbWrite",      "BarWrite",
                               "lbWriteErr",  "txtWriteFail", "ListWriteFail"};
    const Names failed{"lbWrite", "BarWrite", "lbWriteErr", "txtWriteFail", "ListWriteFail"};
    const std::vector<Step> walk = {
        {"Next on 1", next, {2, true, true, "Далее", true}, {}, false},
        {"Back on 2", back, {1, true, false, "Далее", true}, {}, false},
        {"Next on 1", next, {2, true, true, "Далее", true}, {}, false},
        {"Next on 2", next, {3, true, true, "Далее", false}, {}, false},
        {"Next on 3 without device", next, {3, true, true, "Далее", false}, {}, false},
        {"Connect", connect, {3, true, true, "Далее", true}, kGreen, true},
        {"Back on 3", back, {2, true, true, "Далее", true}, kGreen, false},
        {"Next on 2", next, {3, true, true, "Далее", false}, {}, false},
        {"Connect", connect, {3, true, true, "Далее", true}, kGreen, true},
        {"a run that fails", failingRun, {4, true, true, "Далее", false}, greenAndFailed, true},
        {"Next after the failure", next, {4, true, true, "Далее", false}, greenAndFailed, true},
        {"Back on 4", back, {3, true, true, "Далее", false}, failed, false},
        {"Connect", connect, {3, true, true, "Далее", true}, greenAndFailed, true},
        {"Next on 3 runs the update", next, {4, true, true, "Далее", true}, greenAndDone, true},
        {"Back on 4", back, {3, true, true, "Далее", false}, kDone, false},
        {"Connect", connect, {3, true, true, "Далее", true}, greenAndDone, true},
        {"Next on 3 runs it again", next, {4, true, true, "Далее", true}, greenAndDone, true},
        {"Next on 4", next, {5, false, true, "OK", true}, greenAndDone, true},
        {"Back on 5", back, {2, true, true, "Далее", true}, greenAndDone, false},
        {"Next on 2", next, {3, true, true, "Далее", false}, kDone, false},
    };
    for (const Step& step : walk) {
        SCOPED_TRACE(step.what);
        step.act(r);
        ExpectButtons(r, step.after);
        EXPECT_EQ(r.State().DeviceReady, step.ready);
        EXPECT_EQ(r.view.ShownIndicators(), step.shown);
        if (r.Page() == 3) {
            EXPECT_EQ(r.view.Enabled(ControlId::btnConnect), !step.ready);
        }
    }
    // Back cleared DeviceReady but left the port open; each Connect closed it before reopening.
    EXPECT_TRUE(r.State().PortOpen);
    EXPECT_EQ(r.link.OpenCount(), 4u);
    EXPECT_EQ(r.view.closeRequests, 0);
}

TEST(WizardController, ConnectShowsExactlyOnePairOfIndicators) {
    struct Case {
        const char* what;
        std::function<void(ControllerRig&)> arrange;
        bool ready;
    };
    const std::vector<Case> cases = {
        {"bootloader answers", [](ControllerRig&) {}, true},
        {"no port by name and none by scan",
         [](ControllerRig& r) { r.directory.bridgePort.clear(); }, false},
        {"no answer to Get, the port stays open",
         [](ControllerRig& r) {
             r.model.AddFault({sim::FaultKind::Silence, sim::Command::Get, sim::Step::Command});
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ControllerRig r;
        r.Next();
        r.Next();
        c.arrange(r);
        // Whatever an earlier attempt left on screen goes first.
        for (ControlId id : {ControlId::lbConnected, ControlId::lbNotConnected,
                             ControlId::txtConnOK, ControlId::txtConnFail}) {
            r.view.hidden[id] = false;
        }
        r.view.shows.clear();
        r.view.focus = ControlId::btnConnect;
        r.Connect();
        EXPECT_EQ(r.State().DeviceReady, c.ready);
        EXPECT_EQ(r.view.alerts,
                  std::vector<std::string>{c.ready ? "lbConnected" : "lbNotConnected"});
        // Connect, disabled once connected, hands the focus on to Next.
        EXPECT_EQ(r.view.focus, c.ready ? ControlId::btnNEXT : ControlId::btnConnect);
        EXPECT_EQ(r.view.ShownIndicators(), c.ready ? kGreen : kRed);
        // The other pair never shows on the way, not even for a moment.
        for (const std::string& name : c.ready ? kRed : kGreen) {
            EXPECT_EQ(std::count(r.view.shows.begin(), r.view.shows.end(), name), 0) << name;
        }
        EXPECT_EQ(r.NextEnabled(), c.ready);
        EXPECT_EQ(r.view.Enabled(ControlId::btnConnect), !c.ready);
    }
}

// A scan tries port after port, each with its time-outs (seconds on a slow driver): the window
// lets its messages through before each, a second click on Connect meanwhile starts nothing,
// and Cancel ends the scan before the next port.
TEST(WizardController, AScanKeepsTheWindowResponsiveAndCancelEndsIt) {
    // On page 3 with no adapter found by name: the scan runs, and tries SIM1 last.
    const auto toScan = [](ControllerRig& rig) {
        rig.Next();
        rig.Next();
        rig.directory.bridgePort.clear();
        rig.directory.ports = {"SIM1", "COM2", "COM3", "COM4"};
    };
    ControllerRig r;
    toScan(r);
    r.view.onPump = [&r] {
        EXPECT_FALSE(r.view.Enabled(ControlId::btnConnect));
        r.Connect();
    };
    r.Connect();
    EXPECT_TRUE(r.State().DeviceReady);
    EXPECT_EQ(r.view.pumps, 4);
    EXPECT_EQ(r.directory.scans, 1);
    EXPECT_EQ(r.link.OpenCount(), 1u);

    ControllerRig cancelled;
    toScan(cancelled);
    cancelled.view.onPump = [&cancelled] {
        if (cancelled.view.pumps == 2) cancelled.Cancel();
    };
    cancelled.Connect();
    EXPECT_TRUE(cancelled.view.closed);
    EXPECT_EQ(cancelled.view.pumps, 2);
    EXPECT_FALSE(cancelled.State().DeviceReady);
    EXPECT_EQ(cancelled.link.OpenCount(), 0u);
}

TEST(WizardController, RemovalKeepsTheGreenPairUntilTheUserActs) {
    ControllerRig r;
    r.ToConnectedPage3();
    r.events->Post(kBridgeRemoved);
    r.Idle();
    EXPECT_FALSE(r.State().PortOpen);
    EXPECT_FALSE(r.State().DeviceReady);
    EXPECT_FALSE(r.link.IsOpen());
    // Nothing on screen changed.
    EXPECT_EQ(r.view.ShownIndicators(), kGreen);
    EXPECT_TRUE(r.NextEnabled());

    const auto exchanges = r.model.Exchanges().size();
    r.Next();
    EXPECT_EQ(r.Page(), 3);
    EXPECT_EQ(r.model.Exchanges().size(), exchanges);  // no update ran
    EXPECT_FALSE(r.NextEnabled());
    EXPECT_TRUE(r.view.Enabled(ControlId::btnConnect));
    EXPECT_EQ(r.view.ShownIndicators(), kGreen);
}

TEST(WizardController, PlugInBringsTheConnectionPageForwardOnlyAtIdle) {
    for (int from : {1, 2, 5}) {
        SCOPED_TRACE(from);
        ControllerRig r;
        if (from == 5) {
            r.ToConnectedPage3();
            r.Next();
            r.Next();
            r.events->Post(kBridgeRemoved);
            r.Idle();
            ASSERT_FALSE(r.State().PortOpen);
        } else {
            for (int page = 1; page < from; ++page) r.Next();
        }
        r.events->Post(kBridgeArrived);
        EXPECT_EQ(r.Page(), from);  // the notice alone is only recorded
        r.Idle();
        EXPECT_EQ(r.events->PendingNotice(), kNoDeviceEvent);
        ExpectButtons(r, {3, true, true, "Далее", true});
        EXPECT_TRUE(r.State().DeviceReady);
        EXPECT_FALSE(r.view.Enabled(ControlId::btnConnect));
        EXPECT_TRUE(r.view.ShownIndicators().contains("lbConnected"));
        EXPECT_FALSE(r.view.ShownIndicators().contains("lbNotConnected"));
    }
    // An arrival whose bootloader does not answer changes nothing on screen.
    ControllerRig r;
    r.link.SetWritesFail(true);
    r.events->Post(kBridgeArrived);
    r.Idle();
    ExpectButtons(r, {1, true, false, "Далее", true});
    EXPECT_EQ(r.directory.lookups, 1);
}

// Windows announces the adapter before its driver has made the port, or lists it with a port
// the driver has yet to make: the window's timer looks again on the schedule (up to 30 s after
// the arrival), then gives up; a newer notice ends the looks.
TEST(WizardController, AnArrivalWhosePortShowsLateIsLookedUpAgain) {
    ControllerRig r;
    r.directory.showsFromLookup = 3;
    r.events->Post(kBridgeArrived);
    r.Idle();
    r.controller.OnArrivalRetry();
    EXPECT_EQ(r.Page(), 1);
    r.controller.OnArrivalRetry();  // the third look finds it
    ExpectButtons(r, {3, true, true, "Далее", true});
    EXPECT_EQ(r.directory.lookups, 3);
    EXPECT_EQ(r.view.timers, (std::vector<int>{300, 700}));

    ControllerRig never;
    never.directory.showsFromLookup = 100;
    never.events->Post(kBridgeArrived);
    never.Idle();
    for (int look = 0; look < 10; ++look) never.controller.OnArrivalRetry();
    EXPECT_EQ(std::accumulate(never.view.timers.begin(), never.view.timers.end(), 0), 30000);
    EXPECT_EQ(never.directory.lookups, 8);
    EXPECT_EQ(never.Page(), 1);

    ControllerRig unmade;
    unmade.directory.existsFromCheck = 2;
    unmade.events->Post(kBridgeArrived);
    unmade.Idle();
    EXPECT_EQ(unmade.link.OpenCount(), 0u) << "a port not made yet is not opened";
    unmade.controller.OnArrivalRetry();
    ExpectButtons(unmade, {3, true, true, "Далее", true});

    ControllerRig removed;
    removed.directory.showsFromLookup = 2;
    removed.events->Post(kBridgeArrived);
    removed.Idle();
    removed.events->Post(kBridgeRemoved);
    removed.controller.OnArrivalRetry();
    EXPECT_EQ(removed.directory.lookups, 1);
}

TEST(WizardController, ClosingClosesAnOpenPortAndEndsDeviceWork) {
    struct Case {
        const char* what;
        std::function<void(ControllerRig&)> close;
    };
    const std::vector<Case> cases = {
        {"Cancel", [](ControllerRig& r) { r.Cancel(); }},
        {"title-bar close", [](ControllerRig& r) { r.controller.OnClose(); }},
        {"OK on page 5",
         [](ControllerRig& r) {
             r.Next();
             r.Next();
             ASSERT_EQ(r.Page(), 5);
             r.Next();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ControllerRig r;
        r.ToConnectedPage3();
        ASSERT_TRUE(r.link.IsOpen());
        c.close(r);
        EXPECT_TRUE(r.controller.Closed());
        EXPECT_FALSE(r.link.IsOpen());
        // The program is ending: a click still queued acts on nothing, and a notice still
        // pending opens no port.
        const int page = r.view.page;
        r.Back();
        r.Connect();
        EXPECT_EQ(r.view.page, page);
        r.events->Post(kBridgeRemoved);
        r.Idle();
        r.events->Post(kBridgeArrived);
        r.Idle();
        EXPECT_EQ(r.link.OpenCount(), 1u);
        EXPECT_EQ(r.directory.lookups, 1);
    }

    // With no port open there is nothing to close.
    ControllerRig r;
    r.Cancel();
    EXPECT_EQ(r.view.closeRequests, 1);
    EXPECT_EQ(r.link.OpenCount(), 0u);
}

}  // namespace
}  // namespace ostrel::test
