// The update as the wizard runs it from page 4: what each outcome leaves the user to press, the
// keep-settings box reaching the run, and Cancel during the run.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>

#include "core/update_sequence.h"
#include "tests/wizard/controller_rig.h"

namespace ostrel::test {
namespace {

using sim::Command;
using sim::Fault;
using sim::FaultKind;
using sim::Step;

Names PageFour(const ControllerRig& r) {
    Names shown = r.view.ShownIndicators();
    for (const char* name : {"lbConnected", "lbNotConnected", "txtConnOK", "txtConnFail"}) {
        shown.erase(name);
    }
    return shown;
}

bool DataEqualsImage(const ControllerRig& r, std::uint32_t from) {
    return std::equal(r.controller.Image().begin() + from,
                      r.controller.Image().begin() + kDataMemory.end,
                      r.model.Memory().begin() + from);
}

bool SettingsUntouched(const ControllerRig& r) {
    for (std::uint32_t a = kDataStart; a < kUserSettings.end; ++a) {
        if (r.model.Memory()[a] != sim::BootloaderModel::OwnerSettingsByte(a)) return false;
    }
    return true;
}

// Page 4 follows the update's events: each bar gets 233 positions (100 only after the last
// block), and each stage's line shows as it begins, with the stage before it marked done.
TEST(WizardControllerUpdate, PageFourFollowsTheUpdatesEvents) {
    ControllerRig r;
    r.ToConnectedPage3();
    std::map<Phase, Names> shownAtFirstPump;
    r.view.onPump = [&] { shownAtFirstPump.try_emplace(r.State().UpdatePhase, PageFour(r)); };
    r.Next();
    for (ControlId bar : {ControlId::BarWrite, ControlId::BarVerify}) {
        const std::vector<int>& positions = r.view.barHistory[bar];
        ASSERT_EQ(positions.size(), 233u);
        EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
        for (auto [block, position] :
             {std::pair{0, 0}, {2, 0}, {3, 1}, {58, 25}, {116, 50}, {231, 99}, {232, 100}}) {
            EXPECT_EQ(positions[block], position) << block;
        }
    }
    EXPECT_EQ(r.view.pumps, 464);  // after each good block of the first two stages only
    EXPECT_EQ(shownAtFirstPump,
              (std::map<Phase, Names>{
                  {Phase::WritingProgram, {"lbWrite", "BarWrite", "lbWriteOn"}},
                  {Phase::Verifying,
                   {"lbWrite", "lbWriteOK", "BarWrite", "lbVerify", "BarVerify", "lbVerifyOn"}}}));

    ControllerRig data;
    data.model.AddFault(Fault{FaultKind::Nack, Command::WriteMemory, Step::Payload, 0x1080});
    data.ToConnectedPage3();
    data.Next();
    // The error label covers the write line's "ОК", which is hidden beneath it.
    EXPECT_EQ(PageFour(data), (Names{"lbWrite", "lbWriteErr", "BarWrite", "lbVerify", "lbVerifyOK",
                                     "BarVerify", "txtWriteFail", "ListWriteFail"}));
}

// Only a successful run leads on to the closing page, and Next then has the focus; after a
// failure Back and Cancel stay, and Back has the focus, so the user connects and runs again.
TEST(WizardControllerUpdate, OnlySuccessLeadsOnToTheClosingPage) {
    struct Case {
        const char* what;
        std::optional<Fault> fault;
        Names shown;
        int barWrite;
        int barVerify;  // -1: never set
        const char* alert;
    };
    const std::vector<Case> cases = {
        {"success",
         std::nullopt,
         {"lbWrite", "lbWriteOK", "BarWrite", "lbVerify", "lbVerifyOK", "BarVerify", "txtWriteOK",
          "ListWriteOK"},
         100,
         100,
         "ListWriteOK"},
        {"read of block 117 not acknowledged",
         Fault{FaultKind::Nack, Command::ReadMemory, Step::Address, kFlashStart + 128 * 116},
         {"lbWrite", "lbWriteOK", "BarWrite", "lbVerify", "BarVerify", "lbVerifyErr",
          "txtWriteFail", "ListWriteFail"},
         100,
         50,
         "lbVerifyErr"},
        {"second data block refused",
         Fault{FaultKind::Nack, Command::WriteMemory, Step::Payload, 0x1080u},
         {"lbWrite", "lbWriteErr", "BarWrite", "lbVerify", "lbVerifyOK", "BarVerify",
          "txtWriteFail", "ListWriteFail"},
         100,
         100,
         "lbWriteErr"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const bool success = !c.fault;
        ControllerRig r;
        r.ToConnectedPage3();
        if (c.fault) r.model.AddFault(*c.fault);
        r.view.alerts.clear();
        r.Next();
        // The outcome is raised once, so that a screen reader says it unasked.
        EXPECT_EQ(r.view.alerts, std::vector<std::string>{c.alert});
        EXPECT_EQ(r.Page(), 4);
        EXPECT_EQ(PageFour(r), c.shown);
        EXPECT_EQ(r.view.bars.at(ControlId::BarWrite), c.barWrite);
        EXPECT_EQ(r.view.bars.contains(ControlId::BarVerify), c.barVerify >= 0);
        if (c.barVerify >= 0) {
            EXPECT_EQ(r.view.bars.at(ControlId::BarVerify), c.barVerify);
        }
        EXPECT_TRUE(r.view.Enabled(ControlId::btnBACK));
        EXPECT_TRUE(r.view.Shown(ControlId::btnESC));
        EXPECT_EQ(r.NextEnabled(), success);
        EXPECT_EQ(r.view.focus, success ? ControlId::btnNEXT : ControlId::btnBACK);
        if (success) {
            EXPECT_TRUE(std::equal(r.controller.Image().begin() + kFlashStart,
                                   r.controller.Image().end(),
                                   r.model.Memory().begin() + kFlashStart));
        }
        r.Next();  // pressed however it can be (the key, a stray message)
        EXPECT_EQ(r.Page(), success ? 5 : 4);
        if (!success) {
            r.Back();
            EXPECT_EQ(r.Page(), 3);
            r.Cancel();
            EXPECT_EQ(r.view.closeRequests, 1);
        }
    }
}

TEST(WizardControllerUpdate, TheKeepSettingsBoxDecidesEachRun) {
    ControllerRig r;
    r.view.keepUser = true;
    r.ToConnectedPage3();
    r.Next();
    EXPECT_EQ(r.State().UpdatePhase, Phase::Succeeded);
    EXPECT_TRUE(SettingsUntouched(r));
    EXPECT_TRUE(DataEqualsImage(r, kDataAfterUserSettings.start));

    r.Back();
    r.view.keepUser = false;
    r.Connect();
    r.Next();
    EXPECT_EQ(r.State().UpdatePhase, Phase::Succeeded);
    EXPECT_TRUE(DataEqualsImage(r, kDataStart));
}

// A second run after a failed one: while it runs only its own starting indicators show, and
// Back and Next are disabled while Cancel stays usable.
TEST(WizardControllerUpdate, ASecondRunStartsCleanWithBackAndNextDisabled) {
    ControllerRig r;
    r.ToConnectedPage3();
    r.model.AddFault({FaultKind::Nack, Command::ReadMemory, Step::Command});
    r.Next();
    ASSERT_TRUE(PageFour(r).contains("lbVerifyErr"));

    r.Back();
    r.Connect();
    Names shownAtFirstPoll{"unset"};
    bool backOrNextEnabled = false;
    bool escUsable = true;
    r.link.SetPollHook([&] {
        if (shownAtFirstPoll.contains("unset")) shownAtFirstPoll = PageFour(r);
        backOrNextEnabled |= r.view.Enabled(ControlId::btnBACK) || r.NextEnabled();
        escUsable &= r.view.Enabled(ControlId::btnESC) && r.view.Shown(ControlId::btnESC);
    });
    r.Next();
    EXPECT_EQ(shownAtFirstPoll, (Names{"lbWrite", "BarWrite", "lbWriteOn"}));
    EXPECT_FALSE(backOrNextEnabled);
    EXPECT_TRUE(escUsable);
    EXPECT_EQ(r.State().UpdatePhase, Phase::Succeeded);
    EXPECT_GT(r.view.pumps, 0);
}

// A pull-out during the run and its notice, in every order the run's event processing can meet
// them: the notice is only noted during the run and acted on by the idle step after it, so the
// display shows where the line went. The data-memory failure with both bars full comes only
// from a line that answered every block of program memory, written and read back.
TEST(WizardControllerUpdate, APullOutShowsWhereTheLineWent) {
    constexpr std::size_t kWritten = 36;  // blocks written when the line goes, about 12 s in
    constexpr std::uint32_t kLost = kFlashStart + kWritten * kBlockSize;
    const Names writeFailed{"lbWrite", "lbWriteErr", "BarWrite", "txtWriteFail", "ListWriteFail"};
    struct Case {
        const char* what;
        std::optional<Fault> lineGoes;
        std::optional<std::size_t> noticeAfter;  // after how many written blocks the run meets it
        Names shown;
        int barWrite;
        int barVerify;  // -1: never shown
    };
    const std::vector<Case> cases = {
        {"notice with the pull-out",
         Fault{FaultKind::Silence, Command::WriteMemory, Step::Address, kLost}, kWritten,
         writeFailed, 15, -1},
        {"notice ahead of the line going",
         Fault{FaultKind::Silence, Command::WriteMemory, Step::Address, kLost}, 10, writeFailed, 15,
         -1},
        {"notice met only after the run (a slow window)",
         Fault{FaultKind::Silence, Command::WriteMemory, Step::Address, kLost}, std::nullopt,
         writeFailed, 15, -1},
        {"notice while the line stays",
         std::nullopt,
         kWritten,
         {"lbWrite", "lbWriteOK", "BarWrite", "lbVerify", "lbVerifyOK", "BarVerify", "txtWriteOK",
          "ListWriteOK"},
         100,
         100},
        {"line going in the data memory",
         Fault{FaultKind::Silence, Command::WriteMemory, Step::Address, kDataStart + kBlockSize},
         kWritten,
         {"lbWrite", "lbWriteErr", "BarWrite", "lbVerify", "lbVerifyOK", "BarVerify",
          "txtWriteFail", "ListWriteFail"},
         100,
         100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ControllerRig r;
        r.ToConnectedPage3();
        if (c.lineGoes) r.model.AddFault(*c.lineGoes);
        r.view.onPump = [&] {
            // The write bar's positions: its start, then one for each block written.
            if (c.noticeAfter && r.State().UpdatePhase == Phase::WritingProgram &&
                r.view.barHistory[ControlId::BarWrite].size() == *c.noticeAfter + 1) {
                r.events->Post(kBridgeRemoved);
            }
        };
        r.Next();
        if (!c.noticeAfter) r.events->Post(kBridgeRemoved);
        EXPECT_EQ(PageFour(r), c.shown);
        EXPECT_EQ(r.view.bars.at(ControlId::BarWrite), c.barWrite);
        if (c.barVerify >= 0) {
            EXPECT_EQ(r.view.bars.at(ControlId::BarVerify), c.barVerify);
        }
        EXPECT_TRUE(r.State().PortOpen) << "the notice waits for the idle step";
        r.Idle();
        EXPECT_FALSE(r.State().PortOpen);
        EXPECT_FALSE(r.State().DeviceReady);
        EXPECT_EQ(PageFour(r), c.shown) << "the idle step changes nothing on page 4";
    }
}

// Cancel while block 51 is written, dispatched by the run's own event pumping: the port closes
// at once, no later exchange reaches the tracker, and the run ends in its failure display.
TEST(WizardControllerUpdate, CancelDuringTheRunEndsItThroughTheFailureDisplay) {
    ControllerRig r;
    r.ToConnectedPage3();
    r.model.ClearExchanges();
    r.view.focus.reset();
    r.view.onPump = [&] {
        if (r.model.Exchanges().size() == 50 && !r.view.closed) r.Cancel();
    };
    r.Next();
    EXPECT_TRUE(r.controller.Closed());
    EXPECT_FALSE(r.link.IsOpen());
    EXPECT_EQ(r.model.Exchanges().size(), 50u);
    EXPECT_EQ(r.State().UpdatePhase, Phase::Idle);
    EXPECT_EQ(PageFour(r),
              (Names{"lbWrite", "BarWrite", "lbWriteErr", "txtWriteFail", "ListWriteFail"}));
    EXPECT_FALSE(r.view.focus.has_value());
}

}  // namespace
}  // namespace ostrel::test
